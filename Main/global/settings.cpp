#include "settings.h"

#include "datakeys.h"

#include <bridge/abstract_config.h>
#include <bridge/abstract_datas.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/value.h>

#include <climits>
#include <sstream>

namespace {

// The stored text and whether the key was there.
bool lookUp(bg::Abstract_Config* config, const char* key, std::string* text)
{
    if (!config || !key)
        return false;
    bool found = false;
    *text = config->get(key, &found);
    return found;
}

bool store(bg::Abstract_Config* config, const char* key, const std::string& text)
{
    return config && key && config->set(key, text.c_str());
}

// Leading blanks, an optional sign and digits; the rest is ignored. False when no number starts the text.
bool readInt(const std::string& text, int* value)
{
    std::istringstream in(text);
    in >> *value;
    return !in.fail();
}

int clampToInt(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v); }

long long dataIntegerOf(bg::Abstract_Datas* data, const char* key)
{
    return data ? dataInteger(data->get_data(key, bg::Value(0))) : 0;
}

bg::Abstract_Config* cdConfig() { return CD ? CD->config : nullptr; }

bg::Abstract_Datas* cdData() { return CD ? CD->data : nullptr; }

} // namespace

bool cfgGetBool(bg::Abstract_Config* config, const char* key, bool def, bool storeIfMissing)
{
    std::string text;
    if (!lookUp(config, key, &text)) {
        if (storeIfMissing)
            cfgSetValue(config, key, def);
        return def;
    }
    int number = 0;
    return readInt(text, &number) ? number != 0 : def;
}

bool cfgSetValue(bg::Abstract_Config* config, const char* key, bool value)
{
    return store(config, key, value ? "1" : "0");
}

int cfgGetInt(bg::Abstract_Config* config, const char* key, int def, bool storeIfMissing)
{
    std::string text;
    if (!lookUp(config, key, &text)) {
        if (storeIfMissing)
            cfgSetInt(config, key, def);
        return def;
    }
    int number = 0;
    return readInt(text, &number) ? number : def;
}

bool cfgSetInt(bg::Abstract_Config* config, const char* key, int value)
{
    return store(config, key, std::to_string(value));
}

std::string cfgGetStdString(
    bg::Abstract_Config* config, const char* key, const std::string& def, bool storeIfMissing)
{
    std::string text;
    if (lookUp(config, key, &text))
        return text;
    if (storeIfMissing)
        cfgSetString(config, key, def);
    return def;
}

std::string cfgGetString(bg::Abstract_Config* config, const char* key, const std::string& def)
{
    return cfgGetStdString(config, key, def, true);
}

bool cfgSetString(bg::Abstract_Config* config, const char* key, const std::string& value)
{
    return store(config, key, value);
}

QSize cfgGetSize(bg::Abstract_Config* config, const char* key, int width, int height, bool storeIfMissing)
{
    std::string text;
    if (!lookUp(config, key, &text)) {
        const QSize def(width, height);
        if (storeIfMissing)
            cfgSetSize(config, key, def);
        return def;
    }
    // width, any one non-blank separator, height
    std::istringstream in(text);
    int w = 0;
    int h = 0;
    char separator = 0;
    if (!(in >> w))
        return QSize(0, 0);
    if (!(in >> separator >> h))
        h = 0;
    return QSize(w, h);
}

bool cfgSetSize(bg::Abstract_Config* config, const char* key, const QSize& value)
{
    return store(config, key, std::to_string(value.width()) + "," + std::to_string(value.height()));
}

bool cfgSetStdString(bg::Abstract_Config* config, const char* key, const char* text)
{
    return store(config, key, text ? text : "");
}

long long dataInteger(const bg::Value& value, long long fallback)
{
    switch (value.type()) {
    case bg::Value::VT_INT:
        return value.toInt();
    case bg::Value::VT_UINT:
        return value.toUInt();
    case bg::Value::VT_INT64:
        return value.toInt64();
    case bg::Value::VT_UINT64:
        return static_cast<long long>(value.toUInt64());
    case bg::Value::VT_BOOL:
        return value.toBool();
    default:
        return fallback;
    }
}

bool isAppFirstOpen(bg::Abstract_Config* config) { return cfgGetBool(config, kCfgAppFirstOpen, true, false); }

bool setAppFirstOpen(bg::Abstract_Config* config) { return cfgSetValue(config, kCfgAppFirstOpen, false); }

bool isNormalCancel(bg::Abstract_Config* config) { return cfgGetBool(config, kCfgNormalCancel, true, false); }

bool setNormalCancel(bg::Abstract_Config* config, bool value)
{
    return cfgSetValue(config, kCfgNormalCancel, value);
}

int meetingPusherNum(bg::Abstract_Datas* data)
{
    return clampToInt(dataIntegerOf(data, kDataMeetingPusherNum));
}

bool allSeatsTaken(bg::Abstract_Datas* data)
{
    return clampToInt(dataIntegerOf(data, kDataChatMicroNum)) >= meetingPusherNum(data);
}

bool isSignedIn(bg::Abstract_Datas* data) { return dataIntegerOf(data, kDataUserId) != 0; }

bool isMember(bg::Abstract_Datas* data) { return dataIntegerOf(data, kDataUserLevel) >= 2; }

bool isAppFirstOpen() { return isAppFirstOpen(cdConfig()); }

bool setAppFirstOpen() { return setAppFirstOpen(cdConfig()); }

bool isNormalCancel() { return isNormalCancel(cdConfig()); }

bool setNormalCancel(bool value) { return setNormalCancel(cdConfig(), value); }

int meetingPusherNum() { return meetingPusherNum(cdData()); }

bool allSeatsTaken() { return allSeatsTaken(cdData()); }

bool isSignedIn() { return isSignedIn(cdData()); }

bool isMember() { return isMember(cdData()); }
