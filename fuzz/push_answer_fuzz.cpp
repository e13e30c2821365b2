// The push's reading of the SDP service's reply: any body is an outcome, never a fault or an exception; a
// good outcome carries an answer, a failed one a reason.
#include "fuzz_check.h"

#include "pushsignalling.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const pushsignalling::Outcome outcome
        = pushsignalling::readAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
    if (outcome.ok)
        FUZZ_CHECK(!outcome.answer.empty() && outcome.error.empty());
    else
        FUZZ_CHECK(outcome.answer.empty() && outcome.id == 0 && !outcome.error.empty());
    return 0;
}
