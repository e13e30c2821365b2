#pragma once
// Whether OpenSSL cleans up in the process's exit handlers. Processes whose streaming threads use OpenSSL
// must not: a pooled thread ending during the exit would have its OpenSSL state freed twice.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace openssltest {

// Starts OpenSSL as a library such as libcurl would, asks to be told when OpenSSL cleans up, and exits.
[[noreturn]] inline void startOpenSslAndExit()
{
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    OPENSSL_atexit([] { std::fputs("OpenSSL cleaned up at exit\n", stderr); });
    std::exit(0);
}

// What the exit above may print when OpenSSL registered no exit handler.
inline testing::Matcher<const std::string&> noCleanUpAtExit()
{
    return testing::Not(testing::HasSubstr("OpenSSL cleaned up"));
}

} // namespace openssltest
