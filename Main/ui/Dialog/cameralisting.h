#pragma once

// The cameras and capture modes the WebRTC library lists, read through its fixed-size buffers. The three
// library calls are held as functions, so that tests can stand in for the library.

#include "ui/Dialog/cameramodes.h"

#include <QString>
#include <QVector>

#include <functional>

struct CameraEnumeration {
    // Number of cameras.
    std::function<unsigned int()> deviceCount;
    // Writes the camera's name and unique id as zero-terminated UTF-8 into the buffers; false when it
    // cannot.
    std::function<bool(
        unsigned int index, char* name, unsigned int nameSize, char* uniqueId, unsigned int idSize)>
        deviceName;
    // Writes the camera's modes into entry 0 … n − 1 of the three arrays (1024 entries each) and returns n.
    std::function<int(const char* uniqueId, int* widths, int* heights, int* fps)> capabilities;

    // The WebRTC library's own calls.
    static CameraEnumeration library();
};

struct CameraDevice {
    QString name;
    QString uniqueId;
};

// Size of each text buffer and of each mode array handed to the library.
inline constexpr int kCameraTextSize = 1024;
inline constexpr int kCameraModeCapacity = 1024;

// Every camera whose name and id the library writes, each terminated inside its buffer, in library order.
QVector<CameraDevice> listCameraDevices(const CameraEnumeration& enumeration);
// The modes of the camera, in library order. A count above the arrays' capacity is cut to it; a negative
// count lists nothing.
QVector<Capability> listCameraModes(const CameraEnumeration& enumeration, const QString& uniqueId);
