// Third sources: pictures pushed from several threads into one latest-picture slot per id.
#include <studio/thirdsource.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// An I420 picture filled with one value per plane, with padded rows.
struct Planes {
    int width, height, strideY, strideUV;
    std::vector<uint8_t> y, u, v;

    Planes(int w, int h, uint8_t value, int padding = 0)
        : width(w)
        , height(h)
        , strideY(w + padding)
        , strideUV((w + 1) / 2 + padding)
        , y(size_t(strideY) * h, value)
        , u(size_t(strideUV) * ((h + 1) / 2), uint8_t(value + 1))
        , v(size_t(strideUV) * ((h + 1) / 2), uint8_t(value + 2))
    {
    }

    bool push(const std::string& id) const
    {
        return ThirdSource::SourceAsncFrame(
            id.c_str(), y.data(), u.data(), v.data(), strideY, strideUV, strideUV, width, height);
    }
};

// One value throughout each plane, in the pattern Planes makes: a picture made of two pushes would fail.
bool whole(const ThirdSourcePicture& p)
{
    if (p.y.empty())
        return false;
    const uint8_t value = p.y[0];
    for (uint8_t b : p.y)
        if (b != value)
            return false;
    for (uint8_t b : p.u)
        if (b != uint8_t(value + 1))
            return false;
    for (uint8_t b : p.v)
        if (b != uint8_t(value + 2))
            return false;
    return true;
}

class ThirdSourceTest : public testing::Test {
protected:
    void TearDown() override { ThirdSource::UnregisterThirdSource(m_id.c_str()); }
    const std::string m_id
        = "{" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "}";
};

} // namespace

TEST_F(ThirdSourceTest, KeepsATightCopyOfTheNewestPicture)
{
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(m_id.c_str()));
    EXPECT_FALSE(ThirdSource::RegisterThirdSource(m_id.c_str()));
    EXPECT_TRUE(ThirdSource::isRegistered(m_id.c_str()));
    EXPECT_EQ(ThirdSource::latestPicture(m_id.c_str()), nullptr);

    {
        Planes first(7, 5, 10, 9);
        ASSERT_TRUE(first.push(m_id));
    } // the pusher's memory is gone: the slot holds its own copy
    std::shared_ptr<const ThirdSourcePicture> held = ThirdSource::latestPicture(m_id.c_str());
    ASSERT_TRUE(held);
    EXPECT_EQ(held->width, 7);
    EXPECT_EQ(held->height, 5);
    EXPECT_EQ(held->sequence, 1u);
    EXPECT_EQ(held->y.size(), 35u);
    EXPECT_EQ(held->u.size(), 12u); // 4 columns, 3 rows
    EXPECT_TRUE(whole(*held));

    // Later pushes replace the slot's picture but never the one a reader holds.
    for (uint8_t value : { 40, 70, 100 })
        ASSERT_TRUE(Planes(7, 5, value).push(m_id));
    EXPECT_EQ(held->y[0], 10);
    EXPECT_TRUE(whole(*held));
    std::shared_ptr<const ThirdSourcePicture> newest = ThirdSource::latestPicture(m_id.c_str());
    EXPECT_EQ(newest->y[0], 100);
    EXPECT_EQ(newest->sequence, 4u);
    EXPECT_EQ(ThirdSource::frameCount(m_id.c_str()), 4u);
}

TEST_F(ThirdSourceTest, DropsAndCountsPicturesOfUnknownIdsAndRefusesUnreadableOnes)
{
    const uint64_t dropped = ThirdSource::droppedFrameCount();
    Planes picture(8, 4, 1);
    EXPECT_FALSE(picture.push(m_id));
    EXPECT_FALSE(ThirdSource::SourceAsncFrame(
        nullptr, picture.y.data(), picture.u.data(), picture.v.data(), 8, 4, 4, 8, 4));
    EXPECT_EQ(ThirdSource::droppedFrameCount(), dropped + 2);
    EXPECT_EQ(ThirdSource::frameCount(m_id.c_str()), 0u);
    EXPECT_FALSE(ThirdSource::UnregisterThirdSource(m_id.c_str()));
    EXPECT_FALSE(ThirdSource::RegisterThirdSource(""));
    EXPECT_FALSE(ThirdSource::RegisterThirdSource(nullptr));

    ASSERT_TRUE(ThirdSource::RegisterThirdSource(m_id.c_str()));
    const uint8_t* y = picture.y.data();
    const uint8_t* u = picture.u.data();
    const struct {
        const char* name;
        const uint8_t* u;
        int strideY, strideU, width, height;
    } cases[] = {
        { "null plane", nullptr, 8, 4, 8, 4 },
        { "short luma rows", u, 7, 4, 8, 4 },
        { "short chroma rows", u, 8, 3, 8, 4 },
        { "chroma rows of an odd width", u, 7, 3, 7, 4 },
        { "zero width", u, 8, 4, 0, 4 },
        { "negative height", u, 8, 4, 8, -4 },
        { "too large", u, 20000, 10000, 20000, 4 },
    };
    const uint64_t refused = ThirdSource::refusedFrameCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ThirdSource::SourceAsncFrame(
            m_id.c_str(), y, c.u, u, c.strideY, c.strideU, c.strideU, c.width, c.height));
    }
    EXPECT_EQ(ThirdSource::refusedFrameCount(), refused + std::size(cases));
    EXPECT_EQ(ThirdSource::frameCount(m_id.c_str()), 0u);
    EXPECT_EQ(ThirdSource::droppedFrameCount(), dropped + 2);
}

TEST_F(ThirdSourceTest, TwoThreadsPushingToOneIdNeverTearAPicture)
{
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(m_id.c_str()));
    constexpr int kPushes = 300;
    std::atomic<bool> stop { false };
    std::atomic<int> torn { 0 };
    auto pusher = [this](uint8_t first) {
        for (int i = 0; i < kPushes; ++i)
            EXPECT_TRUE(Planes(64, 48, uint8_t(first + 3 * (i % 20)), 8).push(m_id));
    };
    std::thread reader([&] {
        uint64_t lastSequence = 0;
        while (!stop) {
            if (auto p = ThirdSource::latestPicture(m_id.c_str())) {
                if (!whole(*p) || p->sequence < lastSequence)
                    ++torn;
                lastSequence = p->sequence;
            }
        }
    });
    std::thread a(pusher, uint8_t(0));
    std::thread b(pusher, uint8_t(128));
    a.join();
    b.join();
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(ThirdSource::frameCount(m_id.c_str()), uint64_t(2 * kPushes));
    EXPECT_EQ(ThirdSource::latestPicture(m_id.c_str())->sequence, uint64_t(2 * kPushes));
}

TEST_F(ThirdSourceTest, UnregisterWhilePushing)
{
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(m_id.c_str()));
    const uint64_t dropped = ThirdSource::droppedFrameCount();
    std::atomic<int> accepted { 0 };
    std::atomic<int> rejected { 0 };
    std::atomic<bool> started { false };
    std::thread pusher([&] {
        Planes picture(320, 240, 5);
        // Pushes until the unregistration has certainly been seen a few times.
        while (rejected < 50) {
            (picture.push(m_id) ? accepted : rejected)++;
            started = true;
        }
    });
    while (!started)
        std::this_thread::yield();
    EXPECT_TRUE(ThirdSource::UnregisterThirdSource(m_id.c_str()));
    pusher.join();
    EXPECT_GE(accepted, 1);
    EXPECT_EQ(ThirdSource::droppedFrameCount() - dropped, uint64_t(rejected));
    EXPECT_FALSE(ThirdSource::isRegistered(m_id.c_str()));
    EXPECT_EQ(ThirdSource::latestPicture(m_id.c_str()), nullptr);

    // The id can come back, with a fresh slot.
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(m_id.c_str()));
    EXPECT_EQ(ThirdSource::frameCount(m_id.c_str()), 0u);
}
