#include "app/localsocket.h"

#include <QtEndian>

#include <cstring>

LocalSocket::LocalSocket(QTcpSocket* socket)
    : m_buffer(kBlockSize, Qt::Uninitialized)
{
    if (!socket || !socket->isOpen())
        return;
    m_socket = socket;
    connect(socket, &QTcpSocket::disconnected, this, &LocalSocket::disconnected);
    connect(socket, &QTcpSocket::readyRead, this, &LocalSocket::read);
}

LocalSocket::~LocalSocket()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->close();
        delete m_socket;
    }
}

void LocalSocket::write(const QString& msg)
{
    if (!m_socket || !m_socket->isWritable())
        return;
    const QByteArray text = msg.toUtf8();
    char header[4];
    qToLittleEndian<quint32>(quint32(text.size()), header);
    m_socket->write(header, sizeof header);
    m_socket->write(text);
    m_socket->flush();
}

void LocalSocket::read()
{
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const qint64 available = m_socket->bytesAvailable();
        if (m_used + available > qint64(m_blocks) * kBlockSize) {
            m_blocks = int((m_used + available) / kBlockSize + 1);
            m_buffer.resize(m_blocks * kBlockSize);
        }
        const qint64 got = m_socket->read(m_buffer.data() + m_used, available);
        if (got <= 0)
            return;
        m_used += int(got);
        if (!takeFrames())
            return;
    }
}

// Emits every complete frame at the front of the buffer. Returns false when the connection was
// closed because of a frame that is too long.
qint64 LocalSocket::nextFrame(const char* bytes, int used, QString* text)
{
    if (used < 4)
        return 0;
    const quint32 length = qFromLittleEndian<quint32>(bytes);
    if (length > kMaxFrameLength)
        return -1;
    if (quint32(used) < 4 + length)
        return 0;
    *text = QString::fromUtf8(bytes + 4, int(length));
    return qint64(4) + length;
}

bool LocalSocket::takeFrames()
{
    while (m_used >= 4) {
        QString text;
        const qint64 next = nextFrame(m_buffer.constData(), m_used, &text);
        if (next < 0) {
            qWarning("LocalSocket: frame of %u bytes refused, closing the connection",
                qFromLittleEndian<quint32>(m_buffer.constData()));
            m_used = 0;
            if (m_socket)
                m_socket->abort();
            return false;
        }
        if (next == 0)
            break;
        const int frame = int(next);
        std::memmove(m_buffer.data(), m_buffer.constData() + frame, size_t(m_used - frame));
        m_used -= frame;
        // A listener may destroy this wrapper from the signal; nothing of it is touched afterwards
        // unless it is still alive.
        QPointer<LocalSocket> alive(this);
        emit message(text);
        if (!alive)
            return false;
    }
    return true;
}
