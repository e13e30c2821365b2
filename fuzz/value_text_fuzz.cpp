// The framework value's text forms: any text reads without fault; a text that reads writes a form that
// reads back to the same text (and, but for rounded floating-point numbers, to an equal value). Lists and maps are also read element by element.
#include "fuzz_check.h"

#include <bridge/value.h>
#include <bridge/valuelist.h>
#include <bridge/valuemap.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    bg::Value value;
    if (!value.read(text.c_str()))
        return 0;
    // A "[ptr]" form names an address; its bytes are not ours to compare.
    if (value.type() == bg::Value::VT_PTR)
        return 0;
    const std::string written = value.write();
    bg::Value again;
    FUZZ_CHECK(again.read(written.c_str()));
    // Floating-point forms carry six decimals, as the stored files have them: the text is stable from the
    // first write on, the value may round.
    if (value.type() != bg::Value::VT_DOUBLE && value.type() != bg::Value::VT_FLOAT)
        FUZZ_CHECK(again == value);
    FUZZ_CHECK(again.write() == written);
    if (value.type() == bg::Value::VT_LIST)
        value.toList().write();
    if (value.type() == bg::Value::VT_MAP)
        value.toMap().write();
    return 0;
}
