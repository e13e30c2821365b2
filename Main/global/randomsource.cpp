#include "global/randomsource.h"

#include <QRandomGenerator>

namespace {

RandomSource& installedSource()
{
    static RandomSource source;
    return source;
}

} // namespace

void setRandomSource(RandomSource source) { installedSource() = std::move(source); }

quint32 randomU32()
{
    return installedSource() ? installedSource()() : QRandomGenerator::system()->generate();
}

QString randomAlnum(int length)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr quint64 kSize = sizeof kAlphabet - 1;
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i)
        text += QLatin1Char(kAlphabet[(quint64(randomU32()) * kSize) >> 32]);
    return text;
}
