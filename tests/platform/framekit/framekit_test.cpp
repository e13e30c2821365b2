// framekit's memory, log sink and UTF-8 decoding.
#include <framekit/framekit.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Captured {
    std::vector<std::pair<int, std::string>> lines;
};

void capture(int level, const char* format, va_list args, void* param)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<Captured*>(param)->lines.emplace_back(level, text);
}

class LogSink {
public:
    explicit LogSink(Captured& captured) { fk_log_set_handler(capture, &captured); }
    ~LogSink() { fk_log_set_handler(nullptr, nullptr); }
};

} // namespace

TEST(FramekitMemory, AllocatesResizesAndFrees)
{
    auto* bytes = static_cast<unsigned char*>(fk_malloc(16));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 16; ++i)
        bytes[i] = static_cast<unsigned char>(i);
    bytes = static_cast<unsigned char*>(fk_realloc(bytes, 4096));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[15], 15);
    fk_free(bytes);
    fk_free(nullptr);

    void* empty = fk_malloc(0);
    EXPECT_NE(empty, nullptr);
    fk_free(empty);
}

TEST(FramekitLog, OneSinkReceivesLevelAndFormattedText)
{
    Captured captured;
    {
        LogSink sink(captured);
        fk_log(FK_LOG_WARNING, "%s: device.SetVideoConfig failed", "Cam A:usb#1");
        fk_log(FK_LOG_DEBUG, "Create DShow");
        std::thread other([] { fk_log(FK_LOG_INFO, "from %d", 7); });
        other.join();
    }
    ASSERT_EQ(captured.lines.size(), 3u);
    EXPECT_EQ(
        captured.lines[0], std::make_pair(20, std::string("Cam A:usb#1: device.SetVideoConfig failed")));
    EXPECT_EQ(captured.lines[1], std::make_pair(40, std::string("Create DShow")));
    EXPECT_EQ(captured.lines[2], std::make_pair(30, std::string("from 7")));

    // After the sink is reset, records go to the standard error stream again, not to the old sink.
    testing::internal::CaptureStderr();
    fk_log(FK_LOG_ERROR, "lost %d", 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error: lost 1\n");
    EXPECT_EQ(captured.lines.size(), 3u);
}

TEST(FramekitUtf8, DecodesWhateverTheLocale)
{
    // The process runs in the "C" locale here, where mbstowcs would refuse anything beyond ASCII.
    const char* text = "Cam \xe6\x91\x84\xe5\x83\x8f\xe5\xa4\xb4 \xf0\x9f\x8e\xa5:usb#1";
    EXPECT_EQ(fk_os_utf8_to_wcs(text, 0, nullptr, 0), 15u);
    wchar_t wide[32];
    ASSERT_EQ(fk_os_utf8_to_wcs(text, 0, wide, 32), 15u);
    EXPECT_EQ(std::wstring(wide), std::wstring(L"Cam \u6444\u50cf\u5934 \U0001F3A5:usb#1"));

    // An explicit length stops early, even inside a longer text.
    ASSERT_EQ(fk_os_utf8_to_wcs("abcdef", 3, wide, 32), 3u);
    EXPECT_EQ(std::wstring(wide), L"abc");
}

TEST(FramekitUtf8, RefusesMalformedInputAndShortBuffers)
{
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        { "overlong slash", "a\xc0\xaf" },
        { "surrogate", "\xed\xa0\x80" },
        { "above U+10FFFF", "\xf4\x90\x80\x80" },
        { "cut sequence", "ab\xe6\x91" },
        { "stray continuation", "\x80" },
        { "invalid lead", "\xff" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t wide[8] = { L'x', L'x' };
        EXPECT_EQ(fk_os_utf8_to_wcs(c.bytes.data(), c.bytes.size(), wide, 8), 0u);
        EXPECT_EQ(wide[0], L'\0');
        EXPECT_EQ(fk_os_utf8_to_wcs(c.bytes.data(), c.bytes.size(), nullptr, 0), 0u);
    }

    // No room for the terminator: nothing is cut silently.
    wchar_t small[3] = { L'x', L'x', L'x' };
    EXPECT_EQ(fk_os_utf8_to_wcs("abc", 0, small, 3), 0u);
    EXPECT_EQ(small[0], L'\0');
    EXPECT_EQ(fk_os_utf8_to_wcs("ab", 0, small, 3), 2u);
    EXPECT_EQ(std::wstring(small), L"ab");
}
