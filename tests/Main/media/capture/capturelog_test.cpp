// The capture library's diagnostics: levels, wide arguments, result codes, the line limit, no sink, and
// the graph's filter list.
#include "media/capture/capturelog.h"

#include <capture/syntheticcamera.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

struct Line {
    DShow::LogType type;
    std::wstring text;
};

void collect(DShow::LogType type, const wchar_t* message, void* param)
{
    static_cast<std::vector<Line>*>(param)->push_back({ type, message });
}

class CaptureLogTest : public testing::Test {
protected:
    void SetUp() override { DShow::SetLogCallback(collect, &m_lines); }
    void TearDown() override { DShow::SetLogCallback(nullptr, nullptr); }

    std::vector<Line> m_lines;
};

TEST_F(CaptureLogTest, EachLevelWithWideArguments)
{
    DShow::Error(L"Video device '%ls': %ls not found", L"Kamera 前置", L"/dev/v4l/by-id/usb-cam");
    DShow::Warning(L"%ls: cannot be used while active", L"Start");
    DShow::Info(L"tone mapper %d", 1);
    DShow::Debug(L"narrow %s and 64-bit %lld", "text", 166833LL);

    ASSERT_EQ(m_lines.size(), 4u);
    EXPECT_EQ(m_lines[0].type, DShow::LogType::Error);
    EXPECT_EQ(m_lines[0].text, L"Video device 'Kamera 前置': /dev/v4l/by-id/usb-cam not found");
    EXPECT_EQ(m_lines[1].type, DShow::LogType::Warning);
    EXPECT_EQ(m_lines[1].text, L"Start: cannot be used while active");
    EXPECT_EQ(m_lines[2].type, DShow::LogType::Info);
    EXPECT_EQ(m_lines[3].type, DShow::LogType::Debug);
    EXPECT_EQ(m_lines[3].text, L"narrow text and 64-bit 166833");
}

TEST_F(CaptureLogTest, ResultCodesWithTheirDescriptions)
{
    DShow::WarningHR(L"Run failed, device already in use", HRESULT_DEVICE_NOT_FUNCTIONING);
    DShow::ErrorHR(L"Could not set video format", HRESULT_FROM_ERRNO(EBUSY));
    DShow::ErrorHR(L"Odd", MakeResult(0x80041234));

    ASSERT_EQ(m_lines.size(), 3u);
    EXPECT_EQ(m_lines[0].type, DShow::LogType::Warning);
    EXPECT_EQ(m_lines[0].text,
        L"Run failed, device already in use (0x8007001F): A device attached to the system is not "
        L"functioning.");
    EXPECT_EQ(m_lines[1].type, DShow::LogType::Error);
    EXPECT_EQ(m_lines[1].text, L"Could not set video format (0xA0FF0010): Device or resource busy");
    EXPECT_EQ(m_lines[2].text, L"Odd (0x80041234): ");
    EXPECT_EQ(DShow::ErrorString(VFW_E_NOT_STOPPED),
        L"The operation could not be performed because the filter is not stopped.");
    EXPECT_TRUE(DShow::ErrorString(MakeResult(0x80041234)).empty());
}

TEST_F(CaptureLogTest, LongLinesAreCutAt4095Characters)
{
    const std::wstring longText(5000, L'x');
    DShow::Error(L"%ls", longText.c_str());
    DShow::Error(L"%ls", longText.substr(0, 4095).c_str());
    ASSERT_EQ(m_lines.size(), 2u);
    EXPECT_EQ(m_lines[0].text, longText.substr(0, 4095));
    EXPECT_EQ(m_lines[1].text, longText.substr(0, 4095));
}

TEST_F(CaptureLogTest, WithoutSinkLinesAreDropped)
{
    DShow::SetLogCallback(nullptr, nullptr);
    DShow::Error(L"%ls", L"nobody hears this");
    DShow::WarningHR(L"nor this", E_FAIL);
    EXPECT_TRUE(m_lines.empty());
}

TEST_F(CaptureLogTest, ListsTheGraphsFilters)
{
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(
                  CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.putVoid()),
        S_OK);
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(
        capture::CreateSyntheticCamera(L"Cam", capture::defaultSyntheticCapabilities(), camera.put()), S_OK);
    graph->AddFilter(camera, L"Video Filter");

    DShow::LogFilters(graph);
    ASSERT_EQ(m_lines.size(), 2u);
    EXPECT_EQ(m_lines[0].type, DShow::LogType::Debug);
    EXPECT_EQ(m_lines[0].text, L"Loaded filters:");
    EXPECT_EQ(m_lines[1].text, L"\tVideo Filter");
    graph->RemoveFilter(camera);
}

} // namespace
