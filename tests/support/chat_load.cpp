#include "support/chat_load.h"

#include <chatroom/chatroom.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStringView>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <unistd.h>

namespace chatload {

namespace {

    using Clock = std::chrono::steady_clock;

    long long nowUs()
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
    }

    // A frame's "text" member when the frame is a text ({"event":"text"} from a room, {"type":"text"} echoed
    // bare). Read in place, without building a document: every member reads every text, and under the
    // sanitizers each allocation costs a full stack unwind. The load's own texts need no unescaping (digits,
    // commas and 'x'), so a text is read up to its first quote or backslash.
    bool loadText(const QString& frame, QStringView& text)
    {
        const QStringView all(frame);
        if (!all.contains(u"\"event\":\"text\"") && !all.contains(u"\"type\":\"text\""))
            return false;
        const QStringView key = u"\"text\":\"";
        const qsizetype from = all.indexOf(key);
        if (from < 0)
            return false;
        const QStringView rest = all.mid(from + key.size());
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != u'"' && rest[end] != u'\\')
            ++end;
        text = rest.left(end);
        return true;
    }

    // "<slot>,<seq>,<sent µs>,<padding>": the three numbers; false unless all three are there.
    bool parseFields(QStringView text, long long (&fields)[3])
    {
        qsizetype at = 0;
        for (long long& field : fields) {
            long long value = 0;
            const qsizetype start = at;
            while (at < text.size() && text[at] >= u'0' && text[at] <= u'9' && at - start < 18)
                value = value * 10 + (text[at++].unicode() - u'0');
            if (at == start || at >= text.size() || text[at] != u',')
                return false;
            ++at;
            field = value;
        }
        return true;
    }

    // What every group shares, read-only once the run starts, but for the counters.
    struct Plan {
        Options options;
        std::vector<int> senderMember; // sender slot → member index
        long long perSender = 0; // texts each sender sends at most
        long long total = 0; // texts in the run
        long long startUs = 0; // when text 0 is due
        std::atomic<int> connected { 0 };
        std::atomic<int> failed { 0 };
        std::atomic<long long> sent { 0 };
        std::atomic<long long> delivered { 0 };
        std::atomic<long long> lastReceiptUs { 0 };
    };

    // The members of one client thread.
    class Group : public QObject {
    public:
        Group(Plan& plan, std::vector<int> memberIndexes)
            : m_plan(plan)
            , m_indexes(std::move(memberIndexes))
            , m_pace(this) // moves to the group's thread with it
        {
        }

        struct Tally {
            long long delivered = 0;
            long long duplicates = 0;
            long long outOfOrder = 0;
            long long foreign = 0;
            std::vector<double> latenciesMs;
        };

        // This group's thread.
        void open(const std::vector<QUrl>& urls)
        {
            const int senders = int(m_plan.senderMember.size());
            for (int index : m_indexes) {
                auto member = std::make_unique<Member>();
                member->index = index;
                member->received.assign(
                    size_t(senders), std::vector<unsigned char>(size_t(m_plan.perSender), 0));
                member->highest.assign(size_t(senders), -1);
                for (int slot = 0; slot < senders; ++slot) {
                    if (m_plan.senderMember[size_t(slot)] == index)
                        m_slots.push_back({ slot, member.get() });
                }
                auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
                if (!m_plan.options.caFile.empty()) {
                    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
                    tls.setCaCertificates(tls.caCertificates()
                        + QSslCertificate::fromPath(QString::fromStdString(m_plan.options.caFile)));
                    socket->setSslConfiguration(tls);
                }
                member->socket = socket;
                Member* raw = member.get();
                connect(socket, &QWebSocket::connected, this, [this] { ++m_plan.connected; });
                connect(socket, &QWebSocket::disconnected, this, [this, raw] {
                    if (!raw->closing)
                        ++m_plan.failed;
                });
                connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, raw](const QString& frame) { onFrame(*raw, frame); });
                m_members.push_back(std::move(member));
                socket->open(urls[size_t(index)]);
            }
        }

        // This group's thread: starts sending this group's senders' texts on schedule.
        void startSending()
        {
            m_pace.setSingleShot(true);
            m_pace.setTimerType(Qt::PreciseTimer);
            connect(&m_pace, &QTimer::timeout, this, [this] { pace(); });
            pace();
        }

        // This group's thread.
        Tally finish()
        {
            m_pace.stop();
            for (auto& member : m_members) {
                member->closing = true;
                member->socket->abort();
                delete member->socket;
                member->socket = nullptr;
            }
            return std::move(m_tally);
        }

    private:
        struct Member {
            int index = 0;
            QWebSocket* socket = nullptr;
            bool closing = false;
            std::vector<std::vector<unsigned char>> received; // sender slot → seq → got it
            std::vector<long long> highest; // sender slot → highest seq received
        };

        // Text k is due at start + k / rate and is sent by slot k % senders as that slot's text k / senders.
        void pace()
        {
            const auto senders = static_cast<long long>(m_plan.senderMember.size());
            const double usPerText = 1e6 / m_plan.options.rate;
            const long long now = nowUs();
            while (m_next < m_plan.total) {
                const long long due = m_plan.startUs + static_cast<long long>(double(m_next) * usPerText);
                if (due > now) {
                    m_pace.start(int(std::max<long long>(0, (due - now) / 1000)));
                    return;
                }
                const int slot = int(m_next % senders);
                for (const auto& [mine, member] : m_slots) {
                    if (mine == slot)
                        send(*member, slot, m_next / senders);
                }
                ++m_next;
            }
        }

        void send(Member& member, int slot, long long seq)
        {
            std::string text
                = std::to_string(slot) + ',' + std::to_string(seq) + ',' + std::to_string(nowUs()) + ',';
            if (int(text.size()) < m_plan.options.textBytes)
                text.append(size_t(m_plan.options.textBytes) - text.size(), 'x');
            QJsonObject message;
            message["type"] = QStringLiteral("text");
            message["text"] = QString::fromStdString(text);
            if (member.socket->sendTextMessage(
                    QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)))
                > 0)
                ++m_plan.sent;
        }

        void onFrame(Member& member, const QString& frame)
        {
            const long long now = nowUs();
            QStringView text;
            if (!loadText(frame, text))
                return; // the room's other events
            long long fields[3] = { -1, -1, -1 };
            const bool ok = parseFields(text, fields);
            const int slot = ok && fields[0] < (1 << 30) ? int(fields[0]) : -1;
            const long long seq = fields[1];
            const long long sentUs = fields[2];
            if (!ok || slot < 0 || slot >= int(member.received.size()) || seq < 0
                || seq >= m_plan.perSender) {
                ++m_tally.foreign;
                return;
            }
            unsigned char& got = member.received[size_t(slot)][size_t(seq)];
            if (got) {
                ++m_tally.duplicates;
                return;
            }
            got = 1;
            if (seq < member.highest[size_t(slot)])
                ++m_tally.outOfOrder;
            member.highest[size_t(slot)] = std::max(member.highest[size_t(slot)], seq);
            ++m_tally.delivered;
            ++m_plan.delivered;
            m_tally.latenciesMs.push_back(double(now - sentUs) / 1000.0);
            long long last = m_plan.lastReceiptUs.load();
            while (now > last && !m_plan.lastReceiptUs.compare_exchange_weak(last, now)) { }
        }

        Plan& m_plan;
        std::vector<int> m_indexes;
        std::vector<std::unique_ptr<Member>> m_members;
        std::vector<std::pair<int, Member*>> m_slots; // the sender slots of this group
        QTimer m_pace;
        long long m_next = 0;
        Tally m_tally;
    };

    template <typename Call> void runIn(QObject* object, Call call)
    {
        QMetaObject::invokeMethod(object, std::move(call), Qt::BlockingQueuedConnection);
    }

    bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

} // namespace

double percentile(std::vector<double>& values, double pct)
{
    if (values.empty())
        return 0;
    // Nearest rank: the smallest value with at least pct % of the values at or below it.
    const double wanted = std::ceil(std::clamp(pct, 0.0, 100.0) / 100.0 * double(values.size()));
    const size_t rank = std::min(values.size() - 1, size_t(std::max(1.0, wanted)) - 1);
    std::nth_element(values.begin(), values.begin() + long(rank), values.end());
    return values[rank];
}

Result run(const Options& options, const std::vector<QUrl>& urls)
{
    Result result;
    if (options.members <= 0 || options.senders <= 0 || options.senders > options.members || options.rate <= 0
        || options.seconds <= 0 || options.threads <= 0 || int(urls.size()) != options.members) {
        result.error = "invalid load options";
        return result;
    }
    Plan plan;
    plan.options = options;
    for (int slot = 0; slot < options.senders; ++slot)
        plan.senderMember.push_back(int((long long)slot * options.members / options.senders));
    plan.total = (long long)std::llround(options.rate * options.seconds);
    plan.perSender = (plan.total + options.senders - 1) / options.senders;

    const int threadCount = std::min(options.threads, options.members);
    std::vector<std::unique_ptr<QThread>> threads;
    std::vector<Group*> groups;
    for (int t = 0; t < threadCount; ++t) {
        std::vector<int> indexes;
        for (int i = t; i < options.members; i += threadCount)
            indexes.push_back(i);
        auto thread = std::make_unique<QThread>();
        thread->setObjectName(QStringLiteral("chatload-%1").arg(t));
        auto* group = new Group(plan, std::move(indexes));
        group->moveToThread(thread.get());
        thread->start();
        groups.push_back(group);
        threads.push_back(std::move(thread));
    }
    const auto shutDown = [&] {
        std::vector<Group::Tally> tallies;
        for (size_t t = 0; t < groups.size(); ++t) {
            Group* group = groups[t];
            runIn(group, [group, &tallies] { tallies.push_back(group->finish()); });
            runIn(group, [group] { delete group; });
            threads[t]->quit();
            threads[t]->wait();
        }
        return tallies;
    };

    // Members connect one after the other, as people come into a room; the room's join announcements
    // settle before the load starts.
    for (Group* group : groups)
        runIn(group, [group, &urls] { group->open(urls); });
    result.connected
        = waitUntil([&] { return plan.connected.load() == options.members || plan.failed.load() > 0; },
              options.connectTimeoutMs)
        && plan.failed.load() == 0;
    if (!result.connected) {
        result.error = std::to_string(plan.connected.load()) + " of " + std::to_string(options.members)
            + " members connected, " + std::to_string(plan.failed.load()) + " connections failed";
        shutDown();
        return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    if (options.phase)
        options.phase(true);
    plan.startUs = nowUs() + 20000;
    for (Group* group : groups)
        runIn(group, [group] { group->startSending(); });
    const long long lastDueUs = plan.startUs + (long long)(double(plan.total - 1) * 1e6 / options.rate);
    waitUntil([&] { return nowUs() > lastDueUs && plan.sent.load() == plan.total; },
        int((lastDueUs - nowUs()) / 1000) + options.drainTimeoutMs);
    const long long expected = plan.sent.load() * options.members;
    waitUntil(
        [&] { return plan.delivered.load() >= expected || plan.failed.load() > 0; }, options.drainTimeoutMs);
    result.loadSeconds = double(std::max(plan.lastReceiptUs.load(), lastDueUs) - plan.startUs) / 1e6;
    if (options.phase)
        options.phase(false);
    if (plan.failed.load() > 0)
        result.error = std::to_string(plan.failed.load()) + " connections closed during the load";

    std::vector<double> latencies;
    for (Group::Tally& tally : shutDown()) {
        result.delivered += tally.delivered;
        result.duplicates += tally.duplicates;
        result.outOfOrder += tally.outOfOrder;
        result.foreign += tally.foreign;
        latencies.insert(latencies.end(), tally.latenciesMs.begin(), tally.latenciesMs.end());
    }
    result.sent = plan.sent.load();
    result.expected = result.sent * options.members;
    if (!latencies.empty()) {
        result.maxMs = *std::max_element(latencies.begin(), latencies.end());
        result.p99Ms = percentile(latencies, 99);
        result.p50Ms = percentile(latencies, 50);
    }
    return result;
}

// Joining

namespace {

    class Silent : public cr::UICallback {
    public:
        void onConnected() override { }
        void onDisconnected() override { }
        void onSelfID(const std::string&, const std::string&) override { }
        void onPeers(const std::string&) override { }
        void onPeerJoined(
            const std::string&, const std::string&, const std::string&, const std::string&) override
        {
        }
        void onPeerLeft(const std::string&, const std::string&) override { }
        void onRoomError(const std::string&) override { }
        void onRoomForbidden(int) override { }
        void onRecordMessage(const std::string&, const std::string&, const std::string&, int64_t) override { }
        void onRecievedCommand(const std::string&, const std::string&, const std::string&, int64_t) override
        {
        }
    };

} // namespace

bool joinRoom(const std::string& base, int members, std::vector<QUrl>& urls, std::string& error)
{
    QUrl wss(QString::fromStdString(base));
    wss.setScheme(wss.scheme() == QLatin1String("https") ? QStringLiteral("wss") : QStringLiteral("ws"));
    wss.setPath(QStringLiteral("/chat"));
    cr::setEndpointProvider([base, wss] { return cr::Endpoints { base, wss.toString().toStdString() }; });

    const std::string password = "load-" + std::to_string(::getpid());
    Silent silent;
    cr::ChatRoom owner(&silent);
    const std::string roomId = owner.createRoom({ "ZovMeeting", "Teacher", password, 0 }, error);
    if (roomId.empty())
        return false;
    cr::ChatRoom guests(&silent);
    urls.clear();
    for (int i = 0; i < members; ++i) {
        cr::ChatRoom::RespJoinRoom joined;
        if (!(i == 0 ? owner : guests).joinRoom(roomId, 0, password, joined, error))
            return false;
        QUrl url = wss;
        QUrlQuery query;
        query.addQueryItem("room", QString::fromStdString(roomId));
        query.addQueryItem("token", QString::fromStdString(joined.token));
        query.addQueryItem("name", QStringLiteral("member %1").arg(i));
        query.addQueryItem("device", "PC");
        url.setQuery(query);
        urls.push_back(url);
    }
    return true;
}

} // namespace chatload
