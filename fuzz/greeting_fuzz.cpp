// The single-instance greeting and the local control frames: any bytes read without fault; a greeting
// the program writes reads back, and frames split a stream exactly as they were written.
#include "fuzz_check.h"

#include "app/localsocket.h"
#include "app/singleapplication_p.h"

#include <QtEndian>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString blockName = QString::fromLatin1("TavimeetFuzzBlock");
    quint8 kind = 0;
    quint32 number = 0;
    SingleApplicationPrivate::readGreeting(bytes, blockName, &kind, &number);
    if (size >= 5) {
        const quint8 wantedKind = data[0];
        const quint32 wantedNumber = qFromLittleEndian<quint32>(data + 1);
        const QString name = QString::fromLatin1(bytes.mid(5, 200));
        const QByteArray greeting = SingleApplicationPrivate::greetingBody(name, wantedKind, wantedNumber);
        FUZZ_CHECK(SingleApplicationPrivate::readGreeting(greeting, name, &kind, &number));
        FUZZ_CHECK(kind == wantedKind && number == wantedNumber);
    }

    // Control frames: the stream is taken frame by frame until one is incomplete or refused.
    int at = 0;
    while (at < bytes.size()) {
        QString text;
        const qint64 frame = LocalSocket::nextFrame(bytes.constData() + at, bytes.size() - at, &text);
        if (frame <= 0)
            break;
        FUZZ_CHECK(frame >= 4 && frame <= bytes.size() - at);
        at += int(frame);
    }
    return 0;
}
