#include "app/singleapplication_p.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QCoreApplication>
#include <QProcess>
#include <QSharedMemory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Every probe of one test shares a private temporary folder, which holds the shared block's key file
// and the local server's socket, so tests never see each other's instances.
class SingleApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        qputenv("TMPDIR", m_dir.path().toUtf8());
    }

    void TearDown() override
    {
        for (QProcess* p : m_processes) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
    }

    QProcess* start(const QStringList& args)
    {
        auto* p = new QProcess;
        m_processes.push_back(p);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", m_dir.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->start(SINGLEAPP_PROBE, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // The next line the probe prints, or an empty text when none comes within the deadline.
    static QByteArray line(QProcess* p, int deadlineMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!p->canReadLine() && timer.elapsed() < deadlineMs) {
            if (!p->waitForReadyRead(int(deadlineMs - timer.elapsed())) && p->state() == QProcess::NotRunning)
                break;
        }
        return p->canReadLine() ? p->readLine().trimmed() : QByteArray();
    }

    QString startPrimary(QProcess** primary)
    {
        *primary = start({ "--allow-secondary" });
        const QByteArray first = line(*primary);
        EXPECT_TRUE(first.startsWith("primary ")) << first.constData();
        return QString::fromLatin1(first.mid(8));
    }

    static QByteArray greeting(const QString& name, quint8 kind, quint32 id, bool breakChecksum = false)
    {
        QByteArray body = SingleApplicationPrivate::greetingBody(name, kind, id);
        if (breakChecksum)
            body[body.size() - 1] = char(body[body.size() - 1] ^ 0x5a);
        QByteArray header;
        QDataStream out(&header, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_5_6);
        out << qint64(body.size());
        return header + body;
    }

    QTemporaryDir m_dir;
    std::vector<QProcess*> m_processes;
};

TEST_F(SingleApplicationTest, SecondaryShowsThePrimary)
{
    QProcess* primary = nullptr;
    startPrimary(&primary);

    QProcess* second = start({ "--allow-secondary", "--send", "show" });
    EXPECT_EQ(line(second), "secondary 1");
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().constData();
    EXPECT_EQ(line(primary), "message 1 show");
}

TEST_F(SingleApplicationTest, KilledPrimaryIsTakenOver)
{
    QProcess* primary = nullptr;
    startPrimary(&primary);
    ::kill(pid_t(primary->processId()), SIGKILL);
    ASSERT_TRUE(primary->waitForFinished(30000));

    QProcess* next = start({ "--allow-secondary" });
    EXPECT_TRUE(line(next).startsWith("primary ")) << "the next start must become the primary";
}

// After a crash the primary's process id may belong to another live process: a start that finds no
// primary answering takes over instead of ending without a window.
TEST_F(SingleApplicationTest, PrimaryWhoseIdWasReusedIsTakenOver)
{
    QProcess* primary = nullptr;
    const QString blockName = startPrimary(&primary);
    ::kill(pid_t(primary->processId()), SIGKILL);
    ASSERT_TRUE(primary->waitForFinished(5000));

    // The crashed primary's block now names a live process (this test) as the primary.
    QSharedMemory memory(blockName);
    ASSERT_TRUE(memory.attach()) << memory.errorString().toStdString();
    ASSERT_TRUE(memory.lock());
    auto* block = static_cast<InstanceBlock*>(memory.data());
    ASSERT_EQ(block->primary, 1);
    block->primaryPid = QCoreApplication::applicationPid();
    block->checksum = SingleApplicationPrivate::blockChecksum(block);
    memory.unlock();

    QProcess* next = start({});
    EXPECT_TRUE(line(next).startsWith("primary ")) << "the next start must become the primary";
    memory.detach();
}

TEST_F(SingleApplicationTest, GreetingsAreCheckedBeforeAnythingIsAnnounced)
{
    QProcess* primary = nullptr;
    const QString name = startPrimary(&primary);

    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const Case bad[] = {
        { "wrong block name", greeting("someone-else", NewInstance, 7) },
        { "wrong checksum", greeting(name, NewInstance, 7, true) },
        { "huge announced length", QByteArray::fromHex("7fffffffffffffff") + QByteArray(16, 'x') },
        { "negative announced length", QByteArray::fromHex("ffffffffffffffff") + QByteArray(16, 'x') },
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.what);
        QLocalSocket socket;
        socket.connectToServer(name);
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(c.bytes + "hello");
        socket.waitForBytesWritten(5000);
        EXPECT_TRUE(socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(5000))
            << "the primary must close a bad greeting";
    }

    // A good greeting split across writes, with a message behind it, is accepted after all of that.
    QLocalSocket socket;
    socket.connectToServer(name);
    ASSERT_TRUE(socket.waitForConnected(5000));
    const QByteArray good = greeting(name, NewInstance, 42) + "after";
    for (const QByteArray& piece : { good.left(5), good.mid(5, 9), good.mid(14) }) {
        socket.write(piece);
        socket.waitForBytesWritten(5000);
        socket.flush();
    }
    EXPECT_EQ(line(primary), "started");
    EXPECT_EQ(line(primary), "message 42 after");
}

// Bytes of a peer still connected when the primary ends (here half a greeting) are never announced: the
// application that would receive them is being destroyed.
TEST_F(SingleApplicationTest, NothingIsAnnouncedWhileThePrimaryEnds)
{
    QProcess* primary = nullptr;
    const QString name = startPrimary(&primary);

    QLocalSocket lingering;
    lingering.connectToServer(name);
    ASSERT_TRUE(lingering.waitForConnected(5000));
    lingering.write(greeting(name, NewInstance, 7).left(4));
    ASSERT_TRUE(lingering.waitForBytesWritten(5000));

    QProcess* second = start({ "--allow-secondary", "--send", "quit" });
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(line(primary), "message 1 quit");
    ASSERT_TRUE(primary->waitForFinished(30000));
    EXPECT_EQ(primary->exitCode(), 0);
    EXPECT_EQ(primary->readAllStandardOutput(), QByteArray());
}

TEST(InstanceBlockTest, ChecksumCoversTheFirst144Bytes)
{
    InstanceBlock block {};
    block.primaryPid = -1;
    const quint16 empty = SingleApplicationPrivate::blockChecksum(&block);
    block.padding2[0] = 0xff; // outside the covered range
    EXPECT_EQ(SingleApplicationPrivate::blockChecksum(&block), empty);
    block.primaryUser[127] = 'x';
    EXPECT_NE(SingleApplicationPrivate::blockChecksum(&block), empty);
    EXPECT_EQ(qChecksum("123456789", 9), 0x906e) << "X.25 CRC-16 check value";
}

} // namespace
