#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>
#include <QObject>
#include <QSharedMemory>

#include <cstddef>
#include <cstdint>

class SingleApplication;

// The block every instance of one identity shares. Laid out as the 32-bit build laid it out, so that
// the offsets never depend on the compiler.
struct InstanceBlock {
    uint8_t primary;
    uint8_t padding1[3];
    uint32_t secondaryCount;
    int64_t primaryPid;
    char primaryUser[128];
    uint16_t checksum;
    uint8_t padding2[6];
};
static_assert(sizeof(InstanceBlock) == 152, "the shared block is 152 bytes");
static_assert(offsetof(InstanceBlock, secondaryCount) == 4);
static_assert(offsetof(InstanceBlock, primaryPid) == 8);
static_assert(offsetof(InstanceBlock, primaryUser) == 16);
static_assert(offsetof(InstanceBlock, checksum) == 144);

struct PeerInfo {
    qint64 messageLength = 0;
    quint32 instanceId = 0;
    quint8 stage = 0;
};

enum ConnectionKind : quint8 { NewInstance = 1, SecondaryInstance = 2, Reconnect = 3 };

// Longest greeting body accepted from a connecting instance; anything longer closes the connection.
constexpr qint64 kMaxGreetingLength = 64 * 1024;

class SingleApplicationPrivate : public QObject {
    Q_OBJECT
public:
    explicit SingleApplicationPrivate(SingleApplication* q);
    ~SingleApplicationPrivate() override;

    static QString userName();
    static quint16 blockChecksum(const InstanceBlock* block);
    static QByteArray greetingBody(const QString& blockName, quint8 kind, quint32 instanceNumber);
    // Reads a greeting body: true when it is whole, names `blockName` and its checksum matches.
    static bool readGreeting(
        const QByteArray& body, const QString& blockName, quint8* kind, quint32* instanceNumber);

    void blockServerName();
    void initializeMemoryBlock();
    void startPrimary();
    void startSecondary();
    bool connectToPrimary(int msecs, quint8 kind);
    bool blockConsistent() const;
    bool primaryAlive() const;
    InstanceBlock* block() const;
    void writeChecksum();
    static void randomPause();

    SingleApplication* q;
    QSharedMemory* memory = nullptr;
    QLocalSocket* socket = nullptr;
    QLocalServer* server = nullptr;
    quint32 instanceNumber = 0;
    QString blockName;
    int options = 0;
    QMap<QLocalSocket*, PeerInfo> peers;

public slots:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* socket, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* socket, quint32 instanceId);

private:
    void readInitHeader(QLocalSocket* socket);
    void readInitBody(QLocalSocket* socket);
};
