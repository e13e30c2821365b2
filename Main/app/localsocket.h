#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

// One accepted connection of the local control server. Frames in both directions are a 32-bit
// little-endian byte count followed by that many UTF-8 bytes.
//
// Owns the connection (closed and deleted with the wrapper). Lives on the thread of its socket.
// A frame whose announced length exceeds kMaxFrameLength closes the connection; nothing is emitted
// for it or for anything after it.
class LocalSocket : public QObject {
    Q_OBJECT
public:
    static constexpr quint32 kMaxFrameLength = 1024 * 1024;
    static constexpr int kBlockSize = 4096;

    explicit LocalSocket(QTcpSocket* socket);
    ~LocalSocket() override;

    void write(const QString& msg);

    // Capacity of the receive buffer, in blocks of kBlockSize bytes.
    int blocks() const { return m_blocks; }

    // The frame at the front of `used` received bytes: its size with the length word (its text in `text`),
    // 0 while it is incomplete, -1 when its announced length exceeds kMaxFrameLength.
    static qint64 nextFrame(const char* bytes, int used, QString* text);

signals:
    void disconnected();
    void message(QString msg);

public slots:
    void read();

private:
    bool takeFrames();

    QPointer<QTcpSocket> m_socket;
    QByteArray m_buffer;
    int m_blocks = 1;
    int m_used = 0;
};
