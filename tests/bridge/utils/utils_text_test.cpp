#include <bridge/utils.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

class UtilsText : public ::testing::Test {
protected:
    bg::Utils utils;
};

TEST_F(UtilsText, PathParts)
{
    const struct {
        const char* path;
        const char* file;
        const char* base;
        const char* dir;
    } cases[] = {
        { "dir/sub/file.txt", "file.txt", "file", "dir/sub/" },
        { "archive.tar.gz", "archive.tar.gz", "archive", "" },
        { "a\\b.c/d\\name", "name", "name", "a\\b.c/d\\" },
        { "dir/", "", "", "dir/" },
        { "", "", "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(utils.file_name(c.path), c.file);
        EXPECT_EQ(utils.base_name(c.path), c.base);
        EXPECT_EQ(utils.dir_name(c.path), c.dir);
    }
    EXPECT_EQ(utils.file_name(nullptr), "");
    EXPECT_EQ(utils.dir_name(nullptr), "");
}

TEST_F(UtilsText, NormalizePath)
{
    const std::pair<const char*, const char*> cases[] = {
        { "D:/a//b\\\\c/", "D:/a/b/c/" },
        { "a//b/\\c", "a/b/c" },
        { "\\\\server\\share", "/server/share" },
        { "plain", "plain" },
        { "", "" },
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(utils.normalize_path(in), out) << in;
}

TEST_F(UtilsText, Trimming)
{
    char text[] = "  a b \r\n";
    EXPECT_STREQ(utils.trim_c(text), "a b");
    char spaces[] = "   ";
    EXPECT_STREQ(utils.trim_right(spaces), " "); // the first character is left to the skip step
    EXPECT_EQ(utils.trim(" \t x y \n"), "x y");
    EXPECT_EQ(utils.trim("   "), "");
    EXPECT_EQ(utils.trim_chars("--x-y--", "-"), "x-y");
    EXPECT_EQ(utils.trim_chars("--x--", ""), "--x--");
    char chars[] = "xxabcxx";
    EXPECT_STREQ(utils.trim_chars_c(chars, "x"), "abc");
    EXPECT_STREQ(utils.skip_chars("aab", "a"), "b");
    const char* constant = " \tz";
    EXPECT_EQ(utils.skip_space(constant), constant + 2);
    EXPECT_EQ(utils.trim_right(nullptr), nullptr);
}

TEST_F(UtilsText, Replace)
{
    EXPECT_EQ(utils.replace_all("aaa", "a", "ab"), "ababab");
    EXPECT_EQ(utils.replace_all("a.b.c", ".", ""), "abc");
    EXPECT_EQ(utils.replace_repeat("aaab", "ab", "b"), "b");
    EXPECT_EQ(utils.replace_repeat("a  b   c", "  ", " "), "a b c");
    // These used to loop for ever.
    EXPECT_EQ(utils.replace_all("abc", "", "x"), "abc");
    EXPECT_EQ(utils.replace_repeat("abc", "", "x"), "abc");
    EXPECT_EQ(utils.replace_repeat("aXa", "a", "aa"), "aaXaa");
    EXPECT_EQ(utils.replace_repeat(nullptr, "a", "b"), "");
}

TEST_F(UtilsText, StartsAndEndsWith)
{
    EXPECT_TRUE(utils.starts_with("Hello", "he", false));
    EXPECT_FALSE(utils.starts_with("Hello", "he", true));
    EXPECT_TRUE(utils.starts_with("Hello", "He", true));
    EXPECT_TRUE(utils.ends_with("Hello", "LLO", false));
    EXPECT_FALSE(utils.ends_with("lo", "Hello", false));
    EXPECT_FALSE(utils.starts_with(nullptr, "", true));
    EXPECT_FALSE(utils.ends_with("x", nullptr, true));
}

TEST_F(UtilsText, Split)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(utils.split("a,,b", ",", true), (V { "a", "", "b" }));
    EXPECT_EQ(utils.split("a,,b", ",", false), (V { "a", "b" }));
    EXPECT_EQ(utils.split(",a,", ",", true), (V { "a" }));
    EXPECT_EQ(utils.split("a;b, c", ",; ", true), (V { "a", "b", "", "c" }));
    EXPECT_EQ(utils.split("a,b", "", false), (V { "a,b" }));
    EXPECT_EQ(utils.split("a,b", nullptr, false), (V { "a,b" }));
    EXPECT_EQ(utils.split("", ",", true), V {});
}

TEST_F(UtilsText, CaseFormatAndTail)
{
    EXPECT_EQ(utils.to_lower("AbC-\xC3\x89"), "abc-\xC3\x89"); // only ASCII letters change
    EXPECT_EQ(utils.to_upper("aBc1"), "ABC1");
    char text[] = "MiXeD";
    EXPECT_STREQ(utils.to_lower_c(text), "mixed");
    EXPECT_STREQ(utils.to_upper_c(text), "MIXED");
    EXPECT_EQ(utils.format("%s=%d", "x", 42), "x=42");
    EXPECT_EQ(utils.format("%s", std::string(1000, 'y').c_str()).size(), 1000u);
    EXPECT_EQ(utils.format("%s", ""), "");
    EXPECT_STREQ(utils.tail("abcdef", 2), "ef");
    EXPECT_STREQ(utils.tail("ab", 5), "ab");
}

TEST_F(UtilsText, RandomStringLeavesRandAlone)
{
    EXPECT_EQ(utils.random_string(0), "");
    EXPECT_EQ(utils.random_string(-3), "");
    std::string s = utils.random_string(500);
    EXPECT_EQ(s.size(), 500u);
    EXPECT_EQ(s.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"),
        std::string::npos);
    EXPECT_NE(utils.random_string(16), utils.random_string(16));

    std::srand(42);
    int expected = std::rand();
    std::srand(42);
    utils.random_string(8);
    EXPECT_EQ(std::rand(), expected);
}

TEST_F(UtilsText, WideConversions)
{
    const std::string text = "h\xC3\xA9llo \xE4\xB8\xAD \xF0\x9F\x98\x80";
    std::wstring wide = utils.to_wide(text.c_str(), true);
    EXPECT_EQ(wide, (std::wstring { L'h', 0xE9, L'l', L'l', L'o', L' ', 0x4E2D, L' ', 0x1F600 }));
    EXPECT_EQ(utils.from_wide(wide.c_str(), true), text);
    EXPECT_EQ(utils.from_wide(wide.c_str(), false), text);
    // Broken sequences become U+FFFD, never a read past the end.
    EXPECT_EQ(utils.to_wide("a\xC3", true), (std::wstring { L'a', 0xFFFD }));
    EXPECT_EQ(utils.to_wide("\xE0\x80\xAF", true), (std::wstring { 0xFFFD, 0xFFFD, 0xFFFD }));
    EXPECT_EQ(utils.to_wide("", true), L"");
    EXPECT_EQ(utils.from_wide(nullptr, true), "");
    EXPECT_EQ(utils.ansi_to_utf8(text), text);
    EXPECT_EQ(utils.utf8_to_ansi(text), text);
}

} // namespace
