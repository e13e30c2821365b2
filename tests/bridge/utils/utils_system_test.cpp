#include <bridge/utils.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

namespace {

class UtilsSystem : public ::testing::Test {
protected:
    bg::Utils utils;
};

TEST_F(UtilsSystem, TimeStringRingHoldsEightTexts)
{
    std::set<const char*> buffers;
    const char* first = utils.time_str("%Y");
    buffers.insert(first);
    for (int i = 0; i < 7; ++i)
        buffers.insert(utils.time_str("%Y"));
    EXPECT_EQ(buffers.size(), 8u);
    EXPECT_EQ(utils.time_str("%Y"), first);

    // Another thread has a ring of its own: its calls never overwrite this thread's texts.
    const char* mine = utils.time_str("mine");
    std::thread([&] {
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(buffers.count(utils.time_str("theirs")), 0u);
    }).join();
    EXPECT_STREQ(mine, "mine");
}

TEST_F(UtilsSystem, TimeStringsFormatLocalTime)
{
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(utils.time_str_at(0, "%Y-%m-%d %H:%M:%S"), "1970-01-01 00:00:00");
    EXPECT_EQ(utils.time_str_at(1691366400, "%Y-%m-%d"), "2023-08-07");
    EXPECT_EQ(utils.time_str_at(0, std::string(200, 'x').c_str()), ""); // too long for the buffer
    EXPECT_EQ(std::strlen(utils.time_str(std::string(100, 'y').c_str())), 0u);
    EXPECT_STREQ(utils.time_str(nullptr), "");
}

TEST_F(UtilsSystem, ClocksAgreeWithWallTime)
{
    using namespace std::chrono;
    for (int mode : { 0, 1 }) {
        SCOPED_TRACE(mode);
        int64_t wall = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
        int64_t us = utils.now_time(mode);
        int64_t ns = utils.now_ticks(mode);
        EXPECT_LT(std::llabs(us - wall), 5000);
        EXPECT_LT(std::llabs(ns / 1000 - us), 5000);
    }
    EXPECT_LT(std::llabs(utils.now_time(1) - utils.now_time(0)), 5000);
    bg::Timeval tv;
    EXPECT_EQ(utils.time_of_day(&tv, nullptr), 0);
    EXPECT_LE(std::llabs(int64_t(tv.tv_sec) - int64_t(time(nullptr))), 1);
    EXPECT_GE(tv.tv_usec, 0);
    EXPECT_LT(tv.tv_usec, 1000000);
}

TEST_F(UtilsSystem, SleepsIgnoreNegativeTimes)
{
    EXPECT_EQ(utils.sleep_ms(-5), 0);
    EXPECT_EQ(utils.sleep_s(-1), 0);
    EXPECT_EQ(utils.sleep_us(-1), 0);
    EXPECT_EQ(utils.sleep_us(10), 0);
    EXPECT_EQ(utils.sleep_ms(1), 0);
    utils.set_timer_resolution(true);
}

TEST_F(UtilsSystem, Environment)
{
    const std::string name = "TAVICAST_UTILS_TEST_" + std::to_string(getpid());
    EXPECT_EQ(utils.get_env(name.c_str()), nullptr);
    EXPECT_EQ(utils.set_env(name.c_str(), "value", 0), 0);
    EXPECT_STREQ(utils.get_env(name.c_str()), "value");
    EXPECT_EQ(utils.set_env(name.c_str(), "", 0), 0); // as "NAME=": removes it
    EXPECT_EQ(utils.get_env(name.c_str()), nullptr);
    EXPECT_EQ(utils.set_env("BAD=NAME", "x", 0), -1);
    EXPECT_EQ(utils.set_env(nullptr, "x", 0), -1);

    int target = 0;
    EXPECT_EQ(utils.set_env_ptr(name.c_str(), &target), 0);
    void* back = nullptr;
    utils.get_env_ptr(name.c_str(), &back);
    EXPECT_EQ(back, &target);
    for (const char* text : { "not a pointer", "12zz", "0x" }) {
        SCOPED_TRACE(text);
        utils.set_env(name.c_str(), text, 0);
        back = &target;
        utils.get_env_ptr(name.c_str(), &back);
        EXPECT_EQ(back, nullptr);
    }
    utils.set_env_ptr(name.c_str(), nullptr);
    back = &target;
    utils.get_env_ptr(name.c_str(), &back);
    EXPECT_EQ(back, nullptr);
    utils.get_env_ptr(name.c_str(), nullptr);
    unsetenv(name.c_str());
}

TEST_F(UtilsSystem, DirectoriesFromTheEnvironment)
{
    setenv("TMPDIR", "/var//tmp/", 1);
    EXPECT_EQ(utils.temp_dir(), "/var/tmp/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(utils.temp_dir(), "/tmp");

    setenv("HOME", "/home//someone", 1);
    setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(bg::utils::home_dir(), "/home/someone");
    EXPECT_EQ(bg::utils::app_data_dir(), "/home/someone/.local/share");
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(bg::utils::app_data_dir(), "/data");
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_EQ(bg::utils::home_dir(), "");
    EXPECT_EQ(bg::utils::app_data_dir(), "");
}

TEST_F(UtilsSystem, ThreadIdsAndSharedInstance)
{
    EXPECT_EQ(utils.thread_id(), uint32_t(gettid()));
    uint32_t other = 0;
    std::thread([&] { other = utils.thread_id(); }).join();
    EXPECT_NE(other, utils.thread_id());
    EXPECT_NE(bg::utils::instance(), nullptr);
    EXPECT_EQ(bg::utils::instance(), bg::utils::instance());
    EXPECT_EQ(bg::utils::instance()->owner, nullptr);
}

} // namespace
