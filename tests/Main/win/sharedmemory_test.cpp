#include "win/sharedmemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <semaphore.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t kSize = 1024;

// What another process sees under the name: the probe's output, or "" when it cannot open the block.
std::string readByProbe(const std::string& name)
{
    const std::string command = std::string(MARKER_PROBE) + " " + name + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "";
    char buffer[256] = {};
    const size_t got = fread(buffer, 1, sizeof buffer - 1, pipe);
    const int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "";
    std::string text(buffer, got);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

class SharedMemoryTest : public ::testing::Test {
protected:
    // Names are system-wide: each test gets its own.
    std::string name = "tavicast-test-" + std::to_string(getpid()) + "-"
        + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::wstring wname = std::wstring(name.begin(), name.end());
};

TEST_F(SharedMemoryTest, AnotherProcessReadsTheMarker)
{
    SharedMemory marker;
    ASSERT_TRUE(marker.create(wname, kSize, true));
    ASSERT_TRUE(marker.write("okay", 5));
    EXPECT_EQ(readByProbe(name), "okay");

    struct stat st {};
    const int fd = shm_open(("/" + name).c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fstat(fd, &st), 0);
    close(fd);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SharedMemoryTest, WriteFailsWhileTheLockIsHeldAndKeepsTheContent)
{
    SharedMemory marker;
    ASSERT_TRUE(marker.create(wname, kSize, true));
    ASSERT_TRUE(marker.write("okay", 5));

    sem_t* lock = sem_open(("/" + name + "_sync").c_str(), 0);
    ASSERT_NE(lock, SEM_FAILED);
    ASSERT_EQ(sem_wait(lock), 0);
    EXPECT_FALSE(marker.write("gone", 5));
    sem_post(lock);
    sem_close(lock);
    EXPECT_EQ(readByProbe(name), "okay");
    EXPECT_TRUE(marker.write("back", 5));
    EXPECT_EQ(readByProbe(name), "back");
}

TEST_F(SharedMemoryTest, RefusesWritesItCannotHold)
{
    SharedMemory unmapped;
    EXPECT_FALSE(unmapped.write("okay", 5)) << "no block";
    SharedMemory marker;
    ASSERT_TRUE(marker.create(wname, kSize, true));
    std::string big(kSize + 1, 'x');
    EXPECT_FALSE(marker.write(big.data(), big.size()));
    EXPECT_TRUE(marker.write(big.data(), kSize));
}

TEST_F(SharedMemoryTest, OpeningAMissingBlockFails)
{
    SharedMemory marker;
    EXPECT_FALSE(marker.create(wname, kSize, false));
    EXPECT_FALSE(marker.write("okay", 5));
}

TEST_F(SharedMemoryTest, OnlyTheOwnerRemovesTheBlock)
{
    auto owner = std::make_unique<SharedMemory>();
    ASSERT_TRUE(owner->create(wname, kSize, true));
    ASSERT_TRUE(owner->write("okay", 5));
    EXPECT_TRUE(owner->isOwner());
    {
        SharedMemory second;
        ASSERT_TRUE(second.create(wname, kSize, true));
        EXPECT_FALSE(second.isOwner());
    }
    EXPECT_EQ(readByProbe(name), "okay") << "a second instance must not remove the owner's block";

    owner.reset();
    EXPECT_EQ(readByProbe(name), "") << "the owner removes the block when it ends";
}

TEST_F(SharedMemoryTest, BlockOfAKilledOwnerIsTakenOver)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Leaves without any clean-up, as a killed process would.
        auto* marker = new SharedMemory;
        const bool ok = marker->create(wname, kSize, true) && marker->write("stale", 6);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(readByProbe(name), "stale");

    SharedMemory marker;
    ASSERT_TRUE(marker.create(wname, kSize, true));
    EXPECT_TRUE(marker.isOwner());
    EXPECT_EQ(readByProbe(name), "") << "the stale content is cleared";
    EXPECT_TRUE(marker.write("okay", 5));
    EXPECT_EQ(readByProbe(name), "okay");
}

} // namespace
