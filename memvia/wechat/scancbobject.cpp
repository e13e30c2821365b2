#include "wechat/scancbobject.h"

ScanCbObject::ScanCbObject() { qRegisterMetaType<ScanCbObject>("ScanCbObject"); }

ScanCbObject::ScanCbObject(const ScanCbObject& other)
    : QObject()
    , callback(other.callback)
    , state(other.state)
    , wxcode(other.wxcode)
    , attempt(other.attempt)
{
}

ScanCbObject& ScanCbObject::operator=(const ScanCbObject& other)
{
    callback = other.callback;
    state = other.state;
    wxcode = other.wxcode;
    attempt = other.attempt;
    return *this;
}
