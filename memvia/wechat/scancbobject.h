#pragma once

#include <bridge/interface.h>

#include <QMetaType>
#include <QObject>

#include <string>

// One scan state on its way from a poll thread to the GUI thread: the attempt's callback, the state, the
// WeChat code (state 2 only) and the attempt it belongs to, so that a superseded attempt's last report is
// dropped on arrival.
class ScanCbObject : public QObject {
    Q_OBJECT
public:
    ScanCbObject();
    ScanCbObject(const ScanCbObject& other);
    ScanCbObject& operator=(const ScanCbObject& other);

    bg::MsgCallback callback;
    int state = 0;
    std::string wxcode;
    quint64 attempt = 0;
};

Q_DECLARE_METATYPE(ScanCbObject)
