#pragma once

#include <string>

namespace bg {

class Crypt;

namespace diagnostics {

    // Failures of the AES text operations. Their messages are kept enciphered in the library and deciphered
    // only when reported.
    enum class Failure { KeyLength, KeySetup, OutOfMemory, BadBase64, BadLength, BadPadding, TooLong };

    // The readable text of a stored diagnostic, already unmasked by `Crypt::decode_text`.
    std::string reveal(Crypt& crypt, const std::string& stored_text);

    // One line on the standard error stream, flushed: the message, then `detail` when not empty.
    void report(Crypt& crypt, Failure failure, const std::string& detail = std::string());

} // namespace diagnostics

} // namespace bg
