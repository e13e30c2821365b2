#include <bridge/utils.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_all(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Each test works in a fresh folder of its own under /tmp.
class UtilsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/test_utils_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override { utils.remove_tree(root.c_str()); }

    std::string at(const std::string& name) const { return root + "/" + name; }

    bg::Utils utils;
    std::string root;
};

TEST_F(UtilsFile, Directories)
{
    const std::string dir = at("d");
    EXPECT_FALSE(utils.dir_exists(dir.c_str()));
    EXPECT_TRUE(utils.remove_dir(dir.c_str())); // nothing there is not an error
    EXPECT_TRUE(utils.make_dir(dir.c_str()));
    EXPECT_TRUE(utils.make_dir(dir.c_str()));
    EXPECT_TRUE(utils.dir_exists(dir.c_str()));
    EXPECT_FALSE(utils.make_dir(at("x/y").c_str())); // one level only
    write_all(dir + "/f", "1");
    EXPECT_FALSE(utils.dir_exists((dir + "/f").c_str()));
    EXPECT_FALSE(utils.remove_dir(dir.c_str())); // not empty
    unlink((dir + "/f").c_str());
    EXPECT_TRUE(utils.remove_dir(dir.c_str()));
    EXPECT_FALSE(utils.dir_exists(dir.c_str()));
    EXPECT_FALSE(utils.dir_exists(""));
    EXPECT_FALSE(utils.dir_exists(nullptr));
}

TEST_F(UtilsFile, TravelReportsContentsBeforeTheirFolder)
{
    utils.make_dir(at("a").c_str());
    utils.make_dir(at("a/b").c_str());
    write_all(at("a/b/f1"), "x");
    write_all(at("a/f2"), "x");

    std::vector<std::pair<bool, std::string>> seen;
    auto record = [&](bool is_dir, const std::string& path) {
        seen.emplace_back(is_dir, path);
        return true;
    };
    EXPECT_TRUE(utils.travel_dir(at("a").c_str(), record, true));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen.back(), std::make_pair(true, at("a")));
    auto position = [&](const std::string& path) {
        for (size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].second == path)
                return i;
        }
        return seen.size();
    };
    EXPECT_LT(position(at("a/b/f1")), position(at("a/b")));
    EXPECT_LT(position(at("a/f2")), seen.size());

    seen.clear();
    EXPECT_TRUE(utils.travel_dir(at("a").c_str(), record, false));
    EXPECT_EQ(seen.size(), 3u); // b reported as an entry, not entered
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(false, at("a/b"))), seen.end());

    int calls = 0;
    EXPECT_FALSE(utils.travel_dir(
        at("a").c_str(), [&](bool, const std::string&) { return ++calls < 1; }, true));
    EXPECT_EQ(calls, 1);
    calls = 0;
    EXPECT_FALSE(utils.travel_dir(
        at("missing").c_str(), [&](bool, const std::string&) { return ++calls, true; }, true));
    EXPECT_EQ(calls, 0);
}

TEST_F(UtilsFile, RemoveTreeStaysInsideTheTree)
{
    utils.make_dir(at("outside").c_str());
    write_all(at("outside/keep"), "precious");
    utils.make_dir(at("tree").c_str());
    utils.make_dir(at("tree/sub").c_str());
    write_all(at("tree/sub/f"), "x");
    ASSERT_EQ(symlink(at("outside").c_str(), at("tree/link").c_str()), 0);

    EXPECT_TRUE(utils.remove_tree(at("tree").c_str()));
    EXPECT_FALSE(exists(at("tree")));
    EXPECT_EQ(read_all(at("outside/keep")), "precious");
    EXPECT_TRUE(utils.remove_tree(at("tree").c_str())); // already gone
}

TEST_F(UtilsFile, RemoveTreeGoesOnPastFailures)
{
    if (geteuid() == 0) {
        // Permissions do not stop root, but nothing under /proc can be deleted by anyone.
        EXPECT_FALSE(utils.remove_tree("/proc/self/fdinfo"));
        EXPECT_TRUE(exists("/proc/self/fdinfo"));
        return;
    }
    utils.make_dir(at("tree").c_str());
    utils.make_dir(at("tree/locked").c_str());
    write_all(at("tree/locked/stuck"), "x");
    write_all(at("tree/free"), "x");
    chmod(at("tree/locked").c_str(), 0500);
    EXPECT_FALSE(utils.remove_tree(at("tree").c_str()));
    EXPECT_FALSE(exists(at("tree/free")));
    EXPECT_TRUE(exists(at("tree/locked/stuck")));
    chmod(at("tree/locked").c_str(), 0700);
}

TEST_F(UtilsFile, CopyFile)
{
    std::string data;
    for (int i = 0; i < 25000; ++i)
        data.push_back(char(i * 7));
    write_all(at("src"), data);
    EXPECT_EQ(utils.copy_file(at("src").c_str(), at("dst").c_str()), 0);
    EXPECT_EQ(read_all(at("dst")), data);

    EXPECT_EQ(utils.copy_file(at("missing").c_str(), at("dst2").c_str()), -1);
    EXPECT_FALSE(exists(at("dst2")));
    EXPECT_EQ(utils.copy_file(at("src").c_str(), at("no/dir/dst").c_str()), -2);
    // A copy onto itself must not truncate the file it reads.
    EXPECT_EQ(utils.copy_file(at("src").c_str(), (root + "//src").c_str()), 0);
    EXPECT_EQ(read_all(at("src")), data);
    if (exists("/dev/full")) {
        EXPECT_EQ(utils.copy_file(at("src").c_str(), "/dev/full"), -3);
    }
}

TEST_F(UtilsFile, FilesStatsAndRenames)
{
    write_all(at("f"), std::string(1234, 'x'));
    EXPECT_EQ(utils.file_size(at("f").c_str()), 1234);
    EXPECT_EQ(utils.file_stat(at("f").c_str()).st_size, 1234);
    EXPECT_EQ(utils.rename_file(at("f").c_str(), at("g").c_str()), 0);
    EXPECT_EQ(utils.rename_file(at("f").c_str(), at("h").c_str()), -1);
    FILE* file = utils.open_file(at("g").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    fclose(file);
    EXPECT_EQ(utils.open_file(at("none").c_str(), "rb"), nullptr);
    EXPECT_EQ(utils.remove_file(at("g").c_str()), 0);
    EXPECT_EQ(utils.remove_file(at("g").c_str()), -1);

    testing::internal::CaptureStderr();
    EXPECT_EQ(utils.file_size(at("g").c_str()), 0);
    struct stat st = utils.file_stat(at("g").c_str());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode, 0u);
    EXPECT_NE(err.find("bg: [Error] _wstat64(..) < 0, path=" + at("g") + "\n"), std::string::npos) << err;
}

TEST_F(UtilsFile, IsWritableNeverTouchesAnExistingFile)
{
    EXPECT_TRUE(utils.is_writable(root.c_str(), "~test_writeable~.tmp"));
    EXPECT_FALSE(exists(at("~test_writeable~.tmp")));
    write_all(at("data"), "keep me");
    EXPECT_TRUE(utils.is_writable(root.c_str(), "data"));
    EXPECT_EQ(read_all(at("data")), "keep me");
    EXPECT_FALSE(utils.is_writable(at("missing").c_str(), "x"));
    EXPECT_FALSE(utils.is_writable("", "x")); // never probes the file system root
}

TEST_F(UtilsFile, ShowInExplorerRunsTheOpenerWithoutShell)
{
    // A stand-in opener on PATH records its arguments.
    const std::string bin = at("bin"), log = at("opened"), item = at("my file; $(x).txt");
    utils.make_dir(bin.c_str());
    write_all(bin + "/xdg-open",
        "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + log + ".part\" && mv \"" + log + ".part\" \"" + log + "\"\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    write_all(item, "x");
    setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);

    utils.show_in_explorer(item.c_str());
    for (int waited = 0; !exists(log) && waited < 10000; waited += 10)
        usleep(10000); // polls the condition, up to a ten-second deadline
    ASSERT_TRUE(exists(log));
    EXPECT_EQ(read_all(log), root + "/|");
}

} // namespace
