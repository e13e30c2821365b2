#pragma once

// The capture modes of a camera as the camera-select dialog lists them, free of widgets.

#include <QMetaType>
#include <QString>
#include <QVector>

// One capture mode: width and height in pixels, frame rate in frames per second. Rides in a QVariant as a
// combo item's data under the meta-type name "Capability".
struct Capability {
    int width = 0;
    int height = 0;
    int fps = 0;
};
Q_DECLARE_METATYPE(Capability)

// Registers "Capability" with Qt's meta-type system; safe to call any number of times.
void registerCapabilityMetaType();

struct CameraModeItem {
    QString text;
    Capability capability;
};

// "<width>x<height> <fps>fps".
QString cameraModeText(const Capability& mode);

// The modes in list order: higher frame rate first, then the smaller width, then the smaller height; modes
// that tie on all three keep their given order. Of several modes with the same text only the first stays.
QVector<CameraModeItem> orderedCameraModes(const QVector<Capability>& modes);
