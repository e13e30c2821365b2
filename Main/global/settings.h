#pragma once

#include <QSize>

#include <string>

namespace bg {
class Abstract_Config;
class Abstract_Datas;
class Value;
} // namespace bg

// Typed access to the configuration store, which keeps every value as text: bool as "1"/"0", int in
// decimal, text unchanged, size as "width,height". Each getter takes a key, a default and storeIfMissing:
// a missing key yields the default, first written back when storeIfMissing is set. Stored text that does
// not read as the type yields the default (a size part that does not read counts as 0). Setters return the
// store's result. A null store reads as empty and refuses writes. Any thread may call them.

bool cfgGetBool(bg::Abstract_Config* config, const char* key, bool def, bool storeIfMissing);
bool cfgSetValue(bg::Abstract_Config* config, const char* key, bool value);
// Only a bool may be stored as "1"/"0"; a text or number would silently turn into one.
template <typename T> bool cfgSetValue(bg::Abstract_Config*, const char*, T) = delete;
int cfgGetInt(bg::Abstract_Config* config, const char* key, int def, bool storeIfMissing);
bool cfgSetInt(bg::Abstract_Config* config, const char* key, int value);
std::string cfgGetStdString(
    bg::Abstract_Config* config, const char* key, const std::string& def, bool storeIfMissing);
std::string cfgGetString(bg::Abstract_Config* config, const char* key, const std::string& def);
bool cfgSetString(bg::Abstract_Config* config, const char* key, const std::string& value);
QSize cfgGetSize(bg::Abstract_Config* config, const char* key, int width, int height, bool storeIfMissing);
bool cfgSetSize(bg::Abstract_Config* config, const char* key, const QSize& value);
// A null text stores the empty text.
bool cfgSetStdString(bg::Abstract_Config* config, const char* key, const char* text);

// An integer data value read by its type tag (32 or 64 bits, signed or not, bool; 64-bit ids keep all
// their bits); `fallback` for any other value.
long long dataInteger(const bg::Value& value, long long fallback = 0);

// Shared getters and setters. Without a store argument they use the stores of CD (defaults while CD is
// null); the forms with a store serve callers and tests that hold their own.
bool isAppFirstOpen();
bool setAppFirstOpen();
bool isNormalCancel();
bool setNormalCancel(bool value);
int meetingPusherNum();
// True when every co-broadcast seat is taken (also when the meeting has none).
bool allSeatsTaken();
// True when a user is signed in ("user.id" not 0).
bool isSignedIn();
// True when the signed-in user is a member ("user.level" 2 or more).
bool isMember();

bool isAppFirstOpen(bg::Abstract_Config* config);
bool setAppFirstOpen(bg::Abstract_Config* config);
bool isNormalCancel(bg::Abstract_Config* config);
bool setNormalCancel(bg::Abstract_Config* config, bool value);
int meetingPusherNum(bg::Abstract_Datas* data);
bool allSeatsTaken(bg::Abstract_Datas* data);
bool isSignedIn(bg::Abstract_Datas* data);
bool isMember(bg::Abstract_Datas* data);
