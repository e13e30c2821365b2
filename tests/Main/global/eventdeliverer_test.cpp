#include "qt_test_app.h"

#include <global/customevents.h>
#include <global/eventdeliverer.h>

#include <QThread>
#include <QtTest>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// An event type of its own per test, so that tests never see each other's receivers.
int nextTestType()
{
    static int type = QEvent::User + 500;
    return ++type;
}

// Counts the live objects, so that a test sees every event freed exactly once.
class CountedEvent : public UserEvent {
public:
    explicit CountedEvent(int type)
        : UserEvent(type)
    {
        ++alive;
    }
    CountedEvent(const CountedEvent& other)
        : UserEvent(other)
    {
        ++alive;
    }
    ~CountedEvent() override { --alive; }
    UserEvent* clone() const override { return new CountedEvent(*this); }

    static std::atomic<int> alive;
};
std::atomic<int> CountedEvent::alive { 0 };

class Receiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() < QEvent::User)
            return QObject::event(e);
        received.push_back(e);
        threads.push_back(QThread::currentThread());
        return true;
    }
    std::vector<const void*> received; // addresses only: the events are gone after event() returns
    std::vector<QThread*> threads;
};

class EventDelivererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        type = nextTestType();
        CountedEvent::alive = 0;
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(CountedEvent::alive, 0) << "an event was leaked";
    }
    static void drain() { QCoreApplication::sendPostedEvents(); }

    EventDeliverer* hub = EventDeliverer::instance();
    int type = 0;
};

TEST_F(EventDelivererTest, EveryReceiverGetsItsOwnObjectAndTheLastGetsTheOriginal)
{
    Receiver a, b, c;
    for (Receiver* r : { &a, &b, &c })
        hub->registerReceiver(type, r);

    auto* original = new CountedEvent(type);
    hub->deliver(original);
    EXPECT_EQ(CountedEvent::alive, 3) << "two clones and the original wait in the queue";
    drain();

    ASSERT_EQ(a.received.size(), 1u);
    ASSERT_EQ(b.received.size(), 1u);
    ASSERT_EQ(c.received.size(), 1u);
    EXPECT_NE(a.received[0], b.received[0]);
    EXPECT_NE(a.received[0], original);
    EXPECT_NE(b.received[0], original);
    EXPECT_EQ(c.received[0], original);
}

TEST_F(EventDelivererTest, RegisteringTwiceGivesTwoCopies)
{
    Receiver a;
    hub->registerReceiver(type, &a);
    hub->registerReceiver(type, &a);
    hub->deliver(new CountedEvent(type));
    drain();
    EXPECT_EQ(a.received.size(), 2u);
}

TEST_F(EventDelivererTest, EventWithoutReceiverIsFreedAtOnce)
{
    hub->deliver(new CountedEvent(type));
    EXPECT_EQ(CountedEvent::alive, 0);
}

TEST_F(EventDelivererTest, UnregisteredReceiverGetsNothingOthersStillDo)
{
    Receiver a, b;
    hub->registerReceiver(type, &a);
    hub->registerReceiver(type, &b);
    hub->registerReceiver(type, &a);
    hub->unregisterReceiver(type, &a);

    hub->deliver(new CountedEvent(type));
    drain();
    EXPECT_TRUE(a.received.empty());
    EXPECT_EQ(b.received.size(), 1u);
}

TEST_F(EventDelivererTest, DestroyedReceiverIsSkippedForEveryType)
{
    const int otherType = nextTestType();
    Receiver survivor;
    auto doomed = std::make_unique<Receiver>();
    hub->registerReceiver(type, doomed.get());
    hub->registerReceiver(otherType, doomed.get());
    hub->registerReceiver(type, &survivor);
    doomed.reset(); // would be a use after free in deliver() if it stayed registered

    hub->deliver(new CountedEvent(type));
    hub->deliver(new CountedEvent(otherType));
    EXPECT_EQ(CountedEvent::alive, 1) << "only the survivor's event is queued";
    drain();
    EXPECT_EQ(survivor.received.size(), 1u);
}

TEST_F(EventDelivererTest, ReceiverDestroyedWithEventsQueuedLosesThemCleanly)
{
    Receiver survivor;
    auto doomed = std::make_unique<Receiver>();
    hub->registerReceiver(type, doomed.get());
    hub->registerReceiver(type, &survivor);
    hub->deliver(new CountedEvent(type));
    doomed.reset();
    hub->deliver(new CountedEvent(type));
    drain();
    EXPECT_EQ(survivor.received.size(), 2u);
}

TEST_F(EventDelivererTest, DeliveryFromWorkerIsHandledOnReceiverThread)
{
    Receiver a, b;
    hub->registerReceiver(type, &a);
    hub->registerReceiver(type, &b);

    std::thread worker([this] { hub->deliver(new CountedEvent(type)); });
    worker.join();

    ASSERT_TRUE(QTest::qWaitFor([&] { return a.received.size() == 1 && b.received.size() == 1; }, 10000));
    EXPECT_EQ(a.threads[0], QThread::currentThread());
    EXPECT_EQ(b.threads[0], QThread::currentThread());
}

TEST_F(EventDelivererTest, ConcurrentRegistrationAndDeliveryStayConsistent)
{
    Receiver sink;
    hub->registerReceiver(type, &sink);
    constexpr int rounds = 200;
    std::thread churn([this] {
        for (int i = 0; i < rounds; ++i) {
            Receiver passing;
            hub->registerReceiver(type, &passing);
        } // destroyed while registered, on this worker thread
    });
    std::thread sender([this] {
        for (int i = 0; i < rounds; ++i)
            hub->deliver(new CountedEvent(type));
    });
    churn.join();
    sender.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return sink.received.size() == rounds; }, 10000));
    EXPECT_EQ(sink.received.size(), size_t(rounds));
}

// clone() must keep the class, the type and every payload field.
template <class E, class Fields> void expectCloneKeeps(const E& original, Fields fields)
{
    SCOPED_TRACE(typeid(E).name());
    std::unique_ptr<UserEvent> copy(original.clone());
    ASSERT_NE(copy.get(), &original);
    EXPECT_EQ(copy->type(), original.type());
    EXPECT_EQ(int(copy->type()), E::eventType);
    auto* typed = dynamic_cast<E*>(copy.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(fields(*typed), fields(original));
}

TEST(UserEventClone, KeepsEveryPayloadField)
{
    auto none = [](const auto&) { return 0; };
    expectCloneKeeps(CloseMeetingEvent(), none);
    expectCloneKeeps(LoginEvent(), none);
    expectCloneKeeps(PayEvent(), none);
    expectCloneKeeps(ReciveChatMsg("p1", "张三", "你好", 1700000000123LL),
        [](const ReciveChatMsg& e) { return std::make_tuple(e.peer, e.handle, e.text, e.time); });
    expectCloneKeeps(SendChatMsg("hi\n there "), [](const SendChatMsg& e) { return e.text; });
    expectCloneKeeps(AddFaceEvent(":/image/face/1.png"), [](const AddFaceEvent& e) { return e.path; });
    expectCloneKeeps(
        ViewerMemberDeleteEvent(0x100000000LL), [](const ViewerMemberDeleteEvent& e) { return e.userId; });
    expectCloneKeeps(ViewerMemberInviteEvent(0x123456789LL, 2, true),
        [](const ViewerMemberInviteEvent& e) { return std::make_tuple(e.userId, e.kind, e.invite); });
    expectCloneKeeps(RefreshMemItemStateEvent(0x223456789LL, 2, 3),
        [](const RefreshMemItemStateEvent& e) { return std::make_tuple(e.userId, e.kind, e.status); });
    expectCloneKeeps(ViewerMemberToupingEvent(0x323456789LL, true),
        [](const ViewerMemberToupingEvent& e) { return std::make_tuple(e.userId, e.accept); });
    expectCloneKeeps(ViewerMemberToupingEndEvent(0x423456789LL),
        [](const ViewerMemberToupingEndEvent& e) { return e.userId; });
    expectCloneKeeps(ShowNormalWindowEvent(), none);
    expectCloneKeeps(V3ReadyToCreateMeetingEvent("主题", "1234", QRect(1, 2, 30, 40), 3, 86400000000LL, 7),
        [](const V3ReadyToCreateMeetingEvent& e) {
            return std::make_tuple(e.title, e.password, e.area, e.audioMode, e.duration, e.viewer);
        });
    expectCloneKeeps(V3ReadyToAddMeetingEvent("nick", 0x523456789LL, "s1", "chat.example.com", "wss://x",
                         "title", "room", "pwd", "s2", 7200000000LL, 9),
        [](const V3ReadyToAddMeetingEvent& e) {
            return std::make_tuple(e.userName, e.mainStreamId, e.spare1, e.chatHost, e.chatWss, e.title,
                e.roomId, e.roomPwd, e.spare2, e.duration, e.viewer);
        });
    expectCloneKeeps(V3ShowFullScreenEvent(), none);
    expectCloneKeeps(
        V3ControlSystemAudioEvent(true), [](const V3ControlSystemAudioEvent& e) { return e.mute; });
    expectCloneKeeps(
        V3ControlMicroAudioEvent(true), [](const V3ControlMicroAudioEvent& e) { return e.mute; });
    expectCloneKeeps(V3WindowsStateChangeEvent(), none);
    expectCloneKeeps(V3ShowChatRoomTipsEvent("李四", true),
        [](const V3ShowChatRoomTipsEvent& e) { return std::make_tuple(e.name, e.joined); });
    expectCloneKeeps(V3StreamReadyEvent(), none);
    expectCloneKeeps(V3LogoutEvent(), none);
}

TEST(UserEventClone, TypesAreUserPlusOneToTwentyTwo)
{
    EXPECT_EQ(CloseMeetingEvent::eventType, 1001);
    EXPECT_EQ(ReciveChatMsg::eventType, 1005);
    EXPECT_EQ(ViewerMemberDeleteEvent::eventType, 1008);
    EXPECT_EQ(ShowNormalWindowEvent::eventType, 1013);
    EXPECT_EQ(V3ReadyToAddMeetingEvent::eventType, 1015);
    EXPECT_EQ(V3LogoutEvent::eventType, 1022);
}

} // namespace
