#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Random numbers of the meeting forms (room numbers, room passwords). Production draws from the system's
// generator; tests replace the source to get known values. An empty source restores the system's.
using RandomSource = std::function<quint32()>;

void setRandomSource(RandomSource source);
quint32 randomU32();

// `length` characters drawn uniformly from letters and digits.
QString randomAlnum(int length);
