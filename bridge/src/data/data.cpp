#include <bridge/data.h>

#include <cstring>
#include <mutex>
#include <string>

namespace bg {

namespace {

    // The scrambler key of pack and unpack: a constant of the store, the same on both sides.
    constexpr unsigned kPackKey = 0x5A;
    constexpr unsigned kScramble = (kPackKey % 250) + 2;
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

    std::string scramble(std::string bytes)
    {
        for (char& c : bytes)
            c = char(((unsigned char)c ^ kScramble) + kScramble);
        return bytes;
    }

    std::string unscramble(std::string bytes)
    {
        for (char& c : bytes)
            c = char((unsigned char)((unsigned char)c - kScramble) ^ kScramble);
        return bytes;
    }

    std::string base64_encode(const std::string& bytes)
    {
        std::string text;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            unsigned n = (unsigned char)bytes[i] << 16;
            if (i + 1 < bytes.size())
                n |= (unsigned char)bytes[i + 1] << 8;
            if (i + 2 < bytes.size())
                n |= (unsigned char)bytes[i + 2];
            text += kAlphabet[(n >> 18) & 63];
            text += kAlphabet[(n >> 12) & 63];
            text += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
            text += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
        }
        return text;
    }

    // Empty on a character outside the alphabet.
    std::string base64_decode(const std::string& text)
    {
        std::string bytes;
        unsigned n = 0;
        int bits = 0;
        for (char c : text) {
            if (c == '=')
                break;
            const char* at = c ? strchr(kAlphabet, c) : nullptr;
            if (!at)
                return {};
            n = (n << 6) | unsigned(at - kAlphabet);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                bytes += char((n >> bits) & 0xFF);
            }
        }
        return bytes;
    }

} // namespace

Abstract_Datas::~Abstract_Datas() = default;

Data::Data(Interface* owner) { this->owner = owner; }

Data::~Data() = default;

Value Data::get_data(const char* key, const Value& def)
{
    std::lock_guard<MutexRecursive> guard(lock_);
    auto entry = key ? entries_.find(key) : entries_.end();
    return entry != entries_.end() ? entry->second : def;
}

bool Data::set_data(const char* key, const Value& value)
{
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(lock_);
    entries_[key] = value;
    return true;
}

bool Data::erease_data(const char* key)
{
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(lock_);
    return entries_.erase(key) != 0;
}

bool Data::isContains(const char* key)
{
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(lock_);
    return entries_.count(key) != 0;
}

Value Data::pack(const Value& value)
{
    if (value.type() == Value::VT_NULL)
        return value;
    return Value(base64_encode(scramble(value.write())));
}

Value Data::unpack(const Value& value)
{
    if (value.type() != Value::VT_STRING)
        return value;
    Value unpacked;
    unpacked.read(unscramble(base64_decode(value.toStdString())).c_str());
    return unpacked;
}

void Data::debug(FILE* stream)
{
    if (!stream)
        return;
    std::lock_guard<MutexRecursive> guard(lock_);
    fputs("\n[Data] debug >>\n", stream);
    for (const auto& [key, value] : entries_)
        fprintf(stream, "%s  -->  %s\n", key.c_str(), value.write().c_str());
    fputs("\n", stream);
    fflush(stream);
}

Abstract_Datas* Data::create() { return new Data(owner); }

void Data::destroy(Abstract_Datas** store)
{
    if (!store)
        return;
    delete *store;
    *store = nullptr;
}

uint32_t Data::id() { return 0; }

} // namespace bg
