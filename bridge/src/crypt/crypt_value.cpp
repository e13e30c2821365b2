#include <bridge/crypt.h>
#include <bridge/value.h>

#include "diagnostics.h"

#include <cstdlib>
#include <memory>

namespace bg {

namespace {

    // The mask that keeps stored diagnostics from being readable in the library's
    // data.
    inline unsigned char mask_at(int i) { return uint8_t(0xA5 + 7 * i); }

} // namespace

Value Crypt::encode_value(const Value& value, int key)
{
    if (value.type() == Value::VT_NULL)
        return value;
    std::string text = value.write();
    scramble(reinterpret_cast<unsigned char*>(text.data()), unsigned(text.size()), uint8_t(key));
    return Value(base64_encode(text));
}

Value Crypt::decode_value(const Value& value, int key)
{
    if (value.type() != Value::VT_STRING)
        return Value();
    std::string text = base64_decode(value.toStdString());
    if (text.empty())
        return Value();
    unscramble(reinterpret_cast<unsigned char*>(text.data()), unsigned(text.size()), uint8_t(key));
    Value decoded;
    if (!decoded.read(text.c_str()))
        return Value();
    return decoded;
}

std::string Crypt::decode_text(const unsigned char* stored, int length)
{
    std::string text;
    for (int i = 0; stored && i < length; ++i)
        text.push_back(char(stored[i] ^ mask_at(i)));
    return text;
}

bool Crypt::hidden_text_aux(const std::string& stored, const std::string& plain)
{
    std::string text = decode_text(reinterpret_cast<const unsigned char*>(stored.data()), int(stored.size()));
    return diagnostics::reveal(*this, text) == plain;
}

} // namespace bg
