#include <bridge/abstract_sharemem.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using bg::Abstract_ShareMem;

namespace {

struct ShareMemDeleter {
    void operator()(Abstract_ShareMem* object) const { bg::sharem::destroy(&object); }
};
using ShareMemPtr = std::unique_ptr<Abstract_ShareMem, ShareMemDeleter>;

ShareMemPtr makeShareMem() { return ShareMemPtr(bg::sharem::create()); }

// Names are unique per process and test, so parallel runs never meet.
std::string uniqueName()
{
    static int counter = 0;
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    return "tavicast_test_" + std::to_string(getpid()) + "_" + test->name() + "_" + std::to_string(++counter);
}

int waitForChild(pid_t child)
{
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ShareMem, FreshObjectHoldsNothing)
{
    auto shm = makeShareMem();
    EXPECT_EQ(shm->state(), 0);
    EXPECT_STREQ(shm->state_text(), "null");
    EXPECT_EQ(shm->size(), 0u);
    EXPECT_EQ(shm->map(), nullptr);
    shm->unmap(nullptr);
    shm->close();
    EXPECT_EQ(shm->owner, nullptr);
}

TEST(ShareMem, SecondCreateOrOpenOnAHeldObjectIsRefused)
{
    const std::string name = uniqueName();
    auto shm = makeShareMem();
    ASSERT_EQ(shm->create(name.c_str(), 4096), 1);
    EXPECT_STREQ(shm->state_text(), "created");
    EXPECT_EQ(shm->size(), 4096u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(shm->create(name.c_str(), 10), 1);
    EXPECT_EQ(shm->open(name.c_str(), "w"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
        "[share men] already exist : created.\n[share men] already exist : created.\n");
    EXPECT_EQ(shm->size(), 4096u);
}

TEST(ShareMem, OpenSharesTheBytesOfTheCreator)
{
    const std::string name = uniqueName();
    auto creator = makeShareMem();
    ASSERT_EQ(creator->create(name.c_str(), 1024), 1);
    auto* created = static_cast<char*>(creator->map());
    ASSERT_NE(created, nullptr);

    auto writer = makeShareMem();
    ASSERT_EQ(writer->open(name.c_str(), "rw"), 2);
    EXPECT_STREQ(writer->state_text(), "opened");
    EXPECT_EQ(writer->size(), 0u);
    auto* opened = static_cast<char*>(writer->map());
    ASSERT_NE(opened, nullptr);
    strcpy(opened, "okay");
    EXPECT_STREQ(created, "okay");
    writer->unmap(opened);

    // Every mode without 'w' (null included) opens for reading alone, and maps a read-only view.
    for (const char* mode : { "r", "", "x", static_cast<const char*>(nullptr) }) {
        SCOPED_TRACE(mode ? mode : "null");
        auto reader = makeShareMem();
        ASSERT_EQ(reader->open(name.c_str(), mode), 2);
        auto* view = static_cast<const char*>(reader->map());
        ASSERT_NE(view, nullptr);
        EXPECT_STREQ(view, "okay");
        reader->unmap(const_cast<char*>(view));
    }
    creator->unmap(created);
}

TEST(ShareMem, OpenOfAnUnknownNameFails)
{
    auto shm = makeShareMem();
    EXPECT_EQ(shm->open(uniqueName().c_str(), "w"), 0);
    EXPECT_STREQ(shm->state_text(), "null");
    EXPECT_EQ(shm->map(), nullptr);
}

TEST(ShareMem, CloseKeepsViewsAndTheCreatorRemovesTheName)
{
    const std::string name = uniqueName();
    auto shm = makeShareMem();
    ASSERT_EQ(shm->create(name.c_str(), 4096), 1);
    auto* view = static_cast<char*>(shm->map());
    ASSERT_NE(view, nullptr);
    shm->close();
    EXPECT_EQ(shm->state(), 0);
    EXPECT_EQ(shm->size(), 0u);
    strcpy(view + 4000, "still mapped");
    EXPECT_STREQ(view + 4000, "still mapped");
    shm->unmap(view);

    auto late = makeShareMem();
    EXPECT_EQ(late->open(name.c_str(), "w"), 0);
}

TEST(ShareMem, CreateOfANameALiveOwnerHoldsAttachesWhenLargeEnough)
{
    const std::string name = uniqueName();
    auto owner = makeShareMem();
    ASSERT_EQ(owner->create(name.c_str(), 2048), 1);

    auto larger = makeShareMem();
    EXPECT_EQ(larger->create(name.c_str(), 4096), 0);

    auto second = makeShareMem();
    ASSERT_EQ(second->create(name.c_str(), 512), 1);
    EXPECT_EQ(second->size(), 512u);
    // Only the owner removes the name.
    second->close();
    auto reader = makeShareMem();
    EXPECT_EQ(reader->open(name.c_str(), "w"), 2);
}

// Creators racing on one name share one object: none takes another's fresh object for one a crashed
// owner left behind.
TEST(ShareMem, RacingCreatorsShareOneObject)
{
    for (int round = 0; round < 200; ++round) {
        const std::string name = uniqueName();
        auto first = makeShareMem();
        auto second = makeShareMem();
        std::atomic<int> ready { 0 };
        const auto create = [&ready, &name](Abstract_ShareMem* shm) {
            ++ready;
            while (ready.load() < 2) {
            }
            return shm->create(name.c_str(), 64);
        };
        std::future<int> other = std::async(std::launch::async, create, second.get());
        ASSERT_EQ(create(first.get()), 1);
        ASSERT_EQ(other.get(), 1);
        auto* a = static_cast<char*>(first->map());
        auto* b = static_cast<char*>(second->map());
        ASSERT_TRUE(a && b);
        a[0] = 'x';
        ASSERT_EQ(b[0], 'x') << "round " << round << ": two objects behind one name";
        first->unmap(a);
        second->unmap(b);
    }
}

TEST(ShareMem, VisibleAcrossFork)
{
    const std::string name = uniqueName();
    auto shm = makeShareMem();
    ASSERT_EQ(shm->create(name.c_str(), 64), 1);
    auto* view = static_cast<volatile char*>(shm->map());
    ASSERT_NE(view, nullptr);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Abstract_ShareMem* other = bg::sharem::create();
        if (other->open(name.c_str(), "w") != 2)
            _exit(1);
        auto* bytes = static_cast<char*>(other->map());
        if (!bytes)
            _exit(2);
        strcpy(bytes, "from child");
        _exit(0);
    }
    ASSERT_EQ(waitForChild(child), 0);
    EXPECT_STREQ(const_cast<char*>(view), "from child");
    shm->unmap(const_cast<char*>(view));
}

TEST(ShareMem, NameLeftByACrashedOwnerIsTakenOver)
{
    const std::string name = uniqueName();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Ends without closing, as a crash would.
        Abstract_ShareMem* shm = bg::sharem::create();
        _exit(shm->create(name.c_str(), 128) == 1 ? 0 : 1);
    }
    ASSERT_EQ(waitForChild(child), 0);

    auto shm = makeShareMem();
    ASSERT_EQ(shm->create(name.c_str(), 8192), 1);
    EXPECT_EQ(shm->size(), 8192u);
    shm->close();
    auto reader = makeShareMem();
    EXPECT_EQ(reader->open(name.c_str(), "r"), 0);
}
