#include "app/singleapplication.h"

#include "app/singleapplication_p.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDebug>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int kInconsistentTakeOverMs = 5000;

[[noreturn]] void abortBlock(SingleApplicationPrivate* d, const char* what)
{
    qCritical("%s", what);
    qCritical("SingleApplication: %d %s", int(d->memory->error()), qPrintable(d->memory->errorString()));
    delete d;
    ::exit(1);
}

} // namespace

SingleApplicationPrivate::SingleApplicationPrivate(SingleApplication* q)
    : q(q)
{
}

SingleApplicationPrivate::~SingleApplicationPrivate()
{
    if (socket) {
        socket->close();
        delete socket;
        socket = nullptr;
    }
    // The peers go with the server; what they still hold is not announced to an application that is
    // being destroyed.
    for (QLocalSocket* peer : peers.keys())
        peer->disconnect(this);
    peers.clear();
    if (!memory)
        return;
    memory->lock();
    if (server) {
        server->close();
        delete server;
        server = nullptr;
        InstanceBlock* b = block();
        b->primary = 0;
        b->primaryPid = -1;
        std::memset(b->primaryUser, 0, sizeof b->primaryUser);
        writeChecksum();
    }
    memory->unlock();
    delete memory;
    memory = nullptr;
}

// The login name: the password database first, then the environment.
QString SingleApplicationPrivate::userName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    QByteArray buffer(size > 0 ? int(size) : 16384, '\0');
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), size_t(buffer.size()), &found) == 0 && found
        && found->pw_name && *found->pw_name)
        return QString::fromUtf8(found->pw_name);
    for (const char* variable : { "USER", "USERNAME" }) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            return QString::fromUtf8(value);
    }
    return QString();
}

quint16 SingleApplicationPrivate::blockChecksum(const InstanceBlock* b)
{
    return qChecksum(reinterpret_cast<const char*>(b), offsetof(InstanceBlock, checksum));
}

void SingleApplicationPrivate::blockServerName()
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("SingleApplication", 17);
    hash.addData(QCoreApplication::applicationName().toUtf8());
    hash.addData(QCoreApplication::organizationName().toUtf8());
    hash.addData(QCoreApplication::organizationDomain().toUtf8());
    if (!(options & SingleApplication::IgnoreVersion))
        hash.addData(QCoreApplication::applicationVersion().toUtf8());
    if (!(options & SingleApplication::IgnorePath))
        hash.addData(QCoreApplication::applicationFilePath().toLower().toUtf8());
    if (options & SingleApplication::PerUser)
        hash.addData(userName().toUtf8());
    hash.addData(SingleApplication::testInstanceSuffix().toUtf8());
    blockName = QString::fromLatin1(hash.result().toBase64().replace('/', '_'));
}

InstanceBlock* SingleApplicationPrivate::block() const { return static_cast<InstanceBlock*>(memory->data()); }

void SingleApplicationPrivate::writeChecksum() { block()->checksum = blockChecksum(block()); }

bool SingleApplicationPrivate::blockConsistent() const { return block()->checksum == blockChecksum(block()); }

// A primary whose process is gone (killed, crashed) no longer holds the role.
bool SingleApplicationPrivate::primaryAlive() const
{
    const int64_t pid = block()->primaryPid;
    if (pid <= 0 || pid > INT32_MAX)
        return false;
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void SingleApplicationPrivate::initializeMemoryBlock()
{
    InstanceBlock* b = block();
    std::memset(b, 0, sizeof *b);
    b->primaryPid = -1;
    writeChecksum();
}

void SingleApplicationPrivate::randomPause() { QThread::msleep(8 + QRandomGenerator::global()->bounded(10)); }

void SingleApplicationPrivate::startPrimary()
{
    InstanceBlock* b = block();
    b->primary = 1;
    b->primaryPid = QCoreApplication::applicationPid();
    const QByteArray user = userName().toUtf8().left(int(sizeof b->primaryUser) - 1);
    std::memset(b->primaryUser, 0, sizeof b->primaryUser);
    std::memcpy(b->primaryUser, user.constData(), size_t(user.size()));
    writeChecksum();
    instanceNumber = 0;

    QLocalServer::removeServer(blockName);
    server = new QLocalServer;
    server->setSocketOptions(options & SingleApplication::PerUser ? QLocalServer::UserAccessOption
                                                                  : QLocalServer::WorldAccessOption);
    server->listen(blockName);
    connect(server, &QLocalServer::newConnection, this, &SingleApplicationPrivate::slotConnectionEstablished);
}

void SingleApplicationPrivate::startSecondary()
{
    InstanceBlock* b = block();
    b->secondaryCount += 1;
    writeChecksum();
    instanceNumber = b->secondaryCount;
}

QByteArray SingleApplicationPrivate::greetingBody(
    const QString& blockName, quint8 kind, quint32 instanceNumber)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_6);
    out << blockName.toLatin1() << kind << instanceNumber;
    const quint16 checksum = qChecksum(body.constData(), uint(body.size()));
    out << checksum;
    return body;
}

bool SingleApplicationPrivate::readGreeting(
    const QByteArray& body, const QString& blockName, quint8* kind, quint32* instanceNumber)
{
    QDataStream in(body);
    in.setVersion(QDataStream::Qt_5_6);
    QByteArray name;
    quint16 checksum = 0;
    in >> name >> *kind >> *instanceNumber >> checksum;
    return in.status() == QDataStream::Ok && name == blockName.toLatin1() && body.size() >= 2
        && checksum == qChecksum(body.constData(), uint(body.size() - 2));
}

bool SingleApplicationPrivate::connectToPrimary(int msecs, quint8 kind)
{
    QElapsedTimer time;
    time.start();
    if (!socket)
        socket = new QLocalSocket;
    if (socket->state() == QLocalSocket::ConnectedState)
        return true;

    for (bool retry = false;; retry = true) {
        // Only a second attempt waits: the primary may be starting its server at this moment.
        if (retry)
            randomPause();
        if (socket->state() != QLocalSocket::ConnectingState)
            socket->connectToServer(blockName, QIODevice::ReadWrite);
        if (socket->state() == QLocalSocket::ConnectingState)
            socket->waitForConnected(int(qMax<qint64>(0, msecs - time.elapsed())));
        if (socket->state() == QLocalSocket::ConnectedState)
            break;
        if (time.elapsed() >= msecs)
            return false;
    }

    const QByteArray body = greetingBody(blockName, kind, instanceNumber);
    QByteArray header;
    QDataStream headerStream(&header, QIODevice::WriteOnly);
    headerStream.setVersion(QDataStream::Qt_5_6);
    headerStream << qint64(body.size());
    socket->write(header);
    socket->write(body);
    const bool written = socket->waitForBytesWritten(int(qMax<qint64>(0, msecs - time.elapsed())));
    socket->flush();
    return written;
}

void SingleApplicationPrivate::slotConnectionEstablished()
{
    QLocalSocket* next = server->nextPendingConnection();
    if (!next)
        return;
    peers.insert(next, PeerInfo());

    connect(next, &QLocalSocket::aboutToClose, this, [this, next]() {
        const auto it = peers.constFind(next);
        if (it != peers.constEnd())
            slotClientConnectionClosed(next, it->instanceId);
    });
    connect(next, &QLocalSocket::disconnected, this, [this, next]() {
        peers.remove(next);
        next->deleteLater();
    });
    connect(next, &QLocalSocket::readyRead, this, [this, next]() {
        const auto it = peers.constFind(next);
        if (it == peers.constEnd())
            return;
        switch (it->stage) {
        case 0:
            readInitHeader(next);
            break;
        case 1:
            readInitBody(next);
            break;
        default:
            slotDataAvailable(next, it->instanceId);
            break;
        }
    });
}

void SingleApplicationPrivate::readInitHeader(QLocalSocket* sock)
{
    if (!peers.contains(sock) || sock->bytesAvailable() < qint64(sizeof(quint64)))
        return;
    QDataStream in(sock);
    in.setVersion(QDataStream::Qt_5_6);
    qint64 length = 0;
    in >> length;
    if (length <= 0 || length > kMaxGreetingLength) {
        qWarning("SingleApplication: greeting of %lld bytes refused", static_cast<long long>(length));
        peers.remove(sock);
        sock->abort();
        return;
    }
    PeerInfo& info = peers[sock];
    info.messageLength = length;
    info.stage = 1;
    if (sock->bytesAvailable() >= length)
        readInitBody(sock);
}

void SingleApplicationPrivate::readInitBody(QLocalSocket* sock)
{
    if (!peers.contains(sock))
        return;
    PeerInfo& info = peers[sock];
    if (sock->bytesAvailable() < info.messageLength)
        return;

    const QByteArray body = sock->read(info.messageLength);
    quint8 kind = 0;
    quint32 instanceId = 0;
    if (!readGreeting(body, blockName, &kind, &instanceId)) {
        peers.remove(sock);
        sock->close();
        return;
    }
    info.instanceId = instanceId;
    info.stage = 2;
    if (kind == NewInstance || (kind == SecondaryInstance && (options & SingleApplication::NotifySecondary)))
        emit q->instanceStarted();
    if (sock->bytesAvailable() > 0)
        slotDataAvailable(sock, instanceId);
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket* sock, quint32 instanceId)
{
    emit q->receivedMessage(instanceId, sock->readAll());
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* sock, quint32 instanceId)
{
    if (sock->bytesAvailable() > 0)
        slotDataAvailable(sock, instanceId);
}

QString SingleApplication::testInstanceSuffix()
{
    const QByteArray name = qgetenv("TAVICAST_TEST_INSTANCE");
    if (name.isEmpty() || name.size() > 64)
        return QString();
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
            || c == '_';
        if (!allowed)
            return QString();
    }
    return QStringLiteral("_") + QString::fromLatin1(name);
}

SingleApplication::SingleApplication(int& argc, char** argv, bool allowSecondary, int options, int timeout)
    : QApplication(argc, argv)
    , d(new SingleApplicationPrivate(this))
{
    d->options = options;
    d->blockServerName();

    d->memory = new QSharedMemory(d->blockName);
    if (d->memory->create(sizeof(InstanceBlock))) {
        if (!d->memory->lock())
            abortBlock(d, "SingleApplication: Unable to lock memory block after create.");
        d->initializeMemoryBlock();
    } else if (d->memory->error() == QSharedMemory::AlreadyExists) {
        if (!d->memory->attach())
            abortBlock(d, "SingleApplication: Unable to attach to shared memory block.");
        if (!d->memory->lock())
            abortBlock(d, "SingleApplication: Unable to lock memory block after attach.");
    } else {
        abortBlock(d, "SingleApplication: Unable to create block.");
    }

    QElapsedTimer time;
    time.start();
    while (!d->blockConsistent()) {
        if (time.elapsed() > kInconsistentTakeOverMs) {
            qWarning("SingleApplication: Shared memory block has been in an inconsistent state from more "
                     "than 5s. Assuming primary instance failure.");
            d->initializeMemoryBlock();
            break;
        }
        if (!d->memory->unlock())
            qDebug() << "SingleApplication: Unable to unlock memory for random wait."
                     << d->memory->errorString();
        SingleApplicationPrivate::randomPause();
        if (!d->memory->lock())
            abortBlock(d, "SingleApplication: Unable to lock memory after random wait.");
    }

    if (d->block()->primary && !d->primaryAlive()) {
        qWarning("SingleApplication: primary instance %lld is gone, taking over.",
            static_cast<long long>(d->block()->primaryPid));
        d->initializeMemoryBlock();
    }

    if (d->block()->primary == 0) {
        d->startPrimary();
        if (!d->memory->unlock())
            qDebug() << "SingleApplication: Unable to unlock memory after primary start."
                     << d->memory->errorString();
        return;
    }

    if (allowSecondary) {
        d->startSecondary();
        if (d->options & NotifySecondary)
            d->connectToPrimary(timeout, SecondaryInstance);
        if (!d->memory->unlock())
            qDebug() << "SingleApplication: Unable to unlock memory after secondary start."
                     << d->memory->errorString();
        return;
    }

    const int64_t recordedPid = d->block()->primaryPid;
    if (!d->memory->unlock())
        qDebug() << "SingleApplication: Unable to unlock memory at end of execution."
                 << d->memory->errorString();
    // A primary that accepted the connection is there, however slowly it reads the greeting.
    if (d->connectToPrimary(timeout, NewInstance) || d->socket->state() == QLocalSocket::ConnectedState) {
        delete d;
        ::exit(0);
    }

    // The recorded process lives but is no primary of ours (its id was reused after a crash): nobody
    // answers on the primary's server, so this instance takes the role over, unless another one has just
    // done so.
    if (!d->memory->lock())
        abortBlock(d, "SingleApplication: Unable to lock memory block for the take-over.");
    if (d->block()->primary && d->block()->primaryPid != recordedPid && d->primaryAlive()) {
        d->memory->unlock();
        d->connectToPrimary(timeout, NewInstance);
        delete d;
        ::exit(0);
    }
    qWarning("SingleApplication: primary instance %lld does not answer, taking over.",
        static_cast<long long>(recordedPid));
    d->initializeMemoryBlock();
    d->startPrimary();
    if (!d->memory->unlock())
        qDebug() << "SingleApplication: Unable to unlock memory after the take-over." << d->memory->errorString();
}

SingleApplication::~SingleApplication() { delete d; }

bool SingleApplication::isPrimary() const { return d->server != nullptr; }

bool SingleApplication::isSecondary() const { return d->server == nullptr; }

quint32 SingleApplication::instanceId() const { return d->instanceNumber; }

bool SingleApplication::sendMessage(const QByteArray& message, int timeout)
{
    if (isPrimary())
        return false;
    if (!d->connectToPrimary(timeout, Reconnect))
        return false;
    d->socket->write(message);
    const bool written = d->socket->waitForBytesWritten(timeout);
    d->socket->flush();
    return written;
}
