// The program's value with Qt forms: any text reads without fault; a text that reads writes a form that
// reads back to the same text.
#include "fuzz_check.h"

#include <global/valueqt.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    bg::ValueQt value(QString::fromUtf8("before"));
    if (!value.read(text.c_str()))
        return 0;
    // Tag 13 is a text of ours here: whatever read as one is written from its bytes.
    const std::string written = value.write();
    bg::ValueQt again(QString::fromUtf8("before"));
    FUZZ_CHECK(again.read(written.c_str()));
    FUZZ_CHECK(again.write() == written);
    return 0;
}
