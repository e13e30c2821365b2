// Capture-card HDR control: the InfoFrame check, the three tone-mapper requests byte for byte, the HD60 S+
// HID report at the length its descriptor declares, and silence on a machine without such cards.
#include "fakecard.h"

#include "media/capture/capturelog.h"
#include "media/capturecardhdr.h"
#include "media/egavhid.h"

#include <capture/syntheticcamera.h>

#include <gtest/gtest.h>

namespace {

const GUID kAVerMediaSet { 0x8A80D56F, 0xFAC5, 0x4692, { 0xA4, 0x16, 0xCF, 0x20, 0xD4, 0xA1, 0x8F, 0x47 } };
const GUID kCardSetTonemapper { 0xD1E5209F, 0x68FD, 0x4529,
    { 0xBE, 0xE0, 0x5E, 0x7A, 0x1F, 0x47, 0x92, 0x26 } };
const GUID kGC553Set { 0xC835261B, 0xFF1C, 0x4C9A, { 0xB2, 0xF7, 0x93, 0xC9, 0x1F, 0xCF, 0xBE, 0x77 } };
const GUID kDevSpecificNode { 0x941C7AC0, 0xC559, 0x11D0,
    { 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1 } };

// A descriptor with report id 11: 63 bytes out, 63 bytes in.
const std::vector<uint8_t> kDescriptor {
    0x06, 0x00, 0xFF, // usage page (vendor)
    0x09, 0x01, // usage
    0xA1, 0x01, // collection (application)
    0x85, 0x0B, //   report id 11
    0x75, 0x08, //   report size 8
    0x95, 0x3F, //   report count 63
    0x09, 0x01, 0x91, 0x02, // usage, output
    0x09, 0x01, 0x81, 0x02, // usage, input
    0xC0, // end collection
};

class FakeHid : public HidBackend {
public:
    std::vector<std::string> paths { "/dev/hidraw7" };
    std::vector<uint8_t> descriptor = kDescriptor;
    std::vector<std::vector<uint8_t>> written;
    bool failWrites = false;
    int opened = 0;
    int closed = 0;
    std::vector<std::pair<uint16_t, uint16_t>> asked;

    std::vector<std::string> enumerate(uint16_t vendorId, uint16_t productId) override
    {
        asked.emplace_back(vendorId, productId);
        return paths;
    }
    void* open(const std::string&) override
    {
        ++opened;
        return this;
    }
    void close(void*) override { ++closed; }
    int write(void*, const uint8_t* data, size_t length) override
    {
        written.emplace_back(data, data + length);
        return failWrites ? -1 : static_cast<int>(length);
    }
    int getInputReport(void*, uint8_t* data, size_t length) override
    {
        data[1] = 0x42;
        return static_cast<int>(length);
    }
    std::vector<uint8_t> reportDescriptor(const std::string&) override { return descriptor; }
};

std::vector<std::wstring> g_lines;
void collect(DShow::LogType, const wchar_t* message, void*) { g_lines.push_back(message); }

class CaptureCardTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        DShow::SetLogCallback(collect, nullptr);
        setHidBackend(&m_hid);
    }
    void TearDown() override
    {
        setHidBackend(nullptr);
        DShow::SetLogCallback(nullptr, nullptr);
    }

    FakeHid m_hid;
};

TEST_F(CaptureCardTest, InfoFrameDecidesHdr)
{
    struct Row {
        const char* label;
        std::array<uint8_t, 32> record;
        HRESULT result;
        bool hdr;
    };
    auto badChecksum = fakecard::drmInfoFrame(2);
    badChecksum[3] ^= 1;
    auto otherType = fakecard::drmInfoFrame(2);
    otherType[0] = 0x81;
    otherType[3] = static_cast<uint8_t>(otherType[3] + 6); // keep the sum right: only the type differs
    const Row rows[] = {
        { "EOTF 2", fakecard::drmInfoFrame(2), S_OK, true },
        { "EOTF 0", fakecard::drmInfoFrame(0), S_OK, false },
        { "bad checksum", badChecksum, E_FAIL, false },
        { "no InfoFrame", {}, S_OK, false },
        { "type 0x81", otherType, E_FAIL, false },
        { "length byte 29", fakecard::drmInfoFrame(2, 29), E_FAIL, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ComPtr<fakecard::Card> card(new fakecard::Card);
        card->setInfoFrame(row.record);
        bool hdr = true;
        EXPECT_EQ(readHdmiInfoFrame(ksPropertySetGuid(2, card), hdr), row.result);
        EXPECT_EQ(hdr, row.hdr);
        EXPECT_EQ(isHdrSignal(card), row.hdr);
    }
    bool hdr = true;
    EXPECT_EQ(readHdmiInfoFrame(ksPropertySetGuid(2, nullptr), hdr), E_POINTER);
    EXPECT_FALSE(hdr);
}

TEST_F(CaptureCardTest, TonemapperRequestsByteForByte)
{
    ComPtr<fakecard::Card> card(new fakecard::Card);
    setTonemapperAVerMedia(card, true);
    setTonemapperElgato(card, false);
    const auto sets = card->sets();
    ASSERT_EQ(sets.size(), 2u);

    EXPECT_EQ(sets[0].set, kAVerMediaSet);
    EXPECT_EQ(sets[0].id, 2u);
    EXPECT_EQ(sets[0].instance, (std::vector<uint8_t> { 1, 0, 0, 0, 0, 0, 0, 0 }));
    std::vector<uint8_t> data(32, 0);
    data[24] = 1;
    EXPECT_EQ(sets[0].data, data);

    EXPECT_EQ(sets[1].set, kCardSetTonemapper);
    EXPECT_EQ(sets[1].id, 722u);
    EXPECT_TRUE(sets[1].instance.empty());
    EXPECT_EQ(sets[1].data, (std::vector<uint8_t> { 0, 0, 0, 0 }));
    EXPECT_EQ(g_lines,
        (std::vector<std::wstring> {
            L"AVerMedia tonemapper enable=1", L"Elgato GC4K60ProMK2 tonemapper enable=0" }));
    EXPECT_TRUE(m_hid.asked.empty()); // the card's own property did it

    // GC553: the last device-specific node, read then written back with the switch.
    card->nodeTypes = { kDevSpecificNode, GUID_NULL, kDevSpecificNode, GUID_NULL };
    ASSERT_TRUE(setTonemapperAVerMediaGC553(static_cast<IKsControl*>(card.get()), true));
    const auto requests = card->ksRequests();
    ASSERT_EQ(requests.size(), 2u);
    KSP_NODE get {}, set {};
    ASSERT_EQ(requests[0].property.size(), sizeof get);
    std::memcpy(&get, requests[0].property.data(), sizeof get);
    std::memcpy(&set, requests[1].property.data(), sizeof set);
    EXPECT_EQ(get.Property.Set, kGC553Set);
    EXPECT_EQ(get.Property.Id, 11u);
    EXPECT_EQ(get.Property.Flags, 0x10000001u);
    EXPECT_EQ(get.NodeId, 2u);
    EXPECT_EQ(set.Property.Flags, 0x10000002u);
    EXPECT_EQ(set.NodeId, 2u);
    ASSERT_EQ(requests[1].data.size(), 20u);
    EXPECT_EQ(requests[1].data[15], 2);
    EXPECT_EQ(requests[1].data[17], 1);
    EXPECT_EQ(g_lines.back(), L"AVerMedia GC553 tonemapper enable=1");

    card->nodeAnswerBytes = 17;
    EXPECT_FALSE(setTonemapperAVerMediaGC553(static_cast<IKsControl*>(card.get()), true));
    card->nodeTypes.clear();
    EXPECT_FALSE(setTonemapperAVerMediaGC553(static_cast<IKsControl*>(card.get()), true));
}

TEST_F(CaptureCardTest, HD60SPlusGetsTheSwitchReport)
{
    ComPtr<fakecard::Card> card(new fakecard::Card);
    card->acceptSets = false; // not a 4K60 Pro: the HID channel is tried
    setTonemapperElgato(card, true);

    ASSERT_EQ(m_hid.asked, (std::vector<std::pair<uint16_t, uint16_t>> { { 0x0FD9, 0x006A } }));
    ASSERT_EQ(m_hid.written.size(), 1u);
    std::vector<uint8_t> report(64, 0);
    report[0] = 0x0B;
    report[1] = 0x55;
    report[2] = 0x0A;
    report[3] = 0x01;
    report[4] = 0x01;
    EXPECT_EQ(m_hid.written[0], report);
    EXPECT_EQ(m_hid.closed, m_hid.opened); // no handle is left behind
    EXPECT_EQ(g_lines.back(), L"Elgato HD60SPlus tonemapper enable=1");

    // A write that fails is not reported as a switch.
    m_hid.failWrites = true;
    setTonemapperElgato(card, false);
    EXPECT_EQ(g_lines.back(), L"Elgato HD60SPlus tonemapper enable=0 failed (-300)");
}

TEST_F(CaptureCardTest, HidReportLimits)
{
    EXPECT_EQ(parseReportDescriptor(kDescriptor).output, 64);
    EXPECT_EQ(parseReportDescriptor(kDescriptor).input, 64);
    EXPECT_EQ(parseReportDescriptor({}).output, 0);

    EGAVHID unopened(m_hid);
    EXPECT_EQ(unopened.setOutputReport({ 1, 2 }, 11).code, kEGAVNoCapabilities);

    EGAVHID hid(m_hid);
    ASSERT_TRUE(hid.open({ 0x0FD9, 0x006A }).succeeded());
    EXPECT_EQ(hid.setOutputReport(std::vector<uint8_t>(64, 1), 11).code, kEGAVTooLong);
    EXPECT_EQ(hid.setOutputReport(std::vector<uint8_t>(63, 1), 11).code, kEGAVSuccess);
    std::vector<uint8_t> in(64, 0);
    EXPECT_EQ(hid.getInputReport(in, 11, 0).code, kEGAVTooLong);
    in.clear();
    ASSERT_EQ(hid.getInputReport(in, 11, 0).code, kEGAVSuccess);
    EXPECT_EQ(in.size(), 64u);
    EXPECT_EQ(in[0], 11);
    EXPECT_EQ(in[1], 0x42);

    m_hid.paths.clear();
    EGAVHID none(m_hid);
    EXPECT_EQ(none.open({ 0x0FD9, 0x006A }).code, kEGAVNotFound);
    HidCommandChannel channel(nullptr);
    EXPECT_EQ(channel.sendHdrSwitchCommand(true).code, kEGAVNoData);
}

TEST_F(CaptureCardTest, NoCardsNoLines)
{
    m_hid.paths.clear();
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(
        capture::CreateSyntheticCamera(L"Cam", capture::defaultSyntheticCapabilities(), camera.put()), S_OK);
    setCardTonemapper(camera, true);
    setCardTonemapper(nullptr, true);
    EXPECT_EQ(m_hid.asked.size(), 1u); // the three attempts: two properties refused, no HID device
    EXPECT_TRUE(g_lines.empty());
    ComPtr<IKsPropertySet> properties;
    ASSERT_EQ(camera->QueryInterface(IID_IKsPropertySet, properties.putVoid()), S_OK);
    EXPECT_FALSE(isHdrSignal(properties));
}

} // namespace
