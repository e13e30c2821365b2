#include "net/logmask.h"

#include <gtest/gtest.h>

TEST(LogMask, HidesTheValuesOfTokenLikeMembersOnly)
{
    const struct {
        const char* text;
        const char* masked;
    } cases[] = {
        { R"({"token": "abc", "title": "t"})", R"({"token": "***", "title": "t"})" },
        { R"({"meeting_token":"m1","vip_token":"v1"})", R"({"meeting_token":"***","vip_token":"***"})" },
        { R"({"user_pwd" : "p\"q", "password": 1234})", R"({"user_pwd" : "***", "password": ***})" },
        // A JSON text inside a JSON string: the escaped quotes are the value's bounds.
        { R"({"result": "{\"token\":\"abc\",\"id\":1}"})", R"({"result": "{\"token\":\"***\",\"id\":1}"})" },
        // Nested objects and arrays are reached; an empty value stays empty.
        { R"({"a": [{"password": "x"}], "token": ""})", R"({"a": [{"password": "***"}], "token": ""})" },
        // Names that only contain a secret name, and secret names as values, are left alone.
        { R"({"x_token": "keep", "tokens": "keep", "kind": "token"})",
            R"({"x_token": "keep", "tokens": "keep", "kind": "token"})" },
        { "token: plain text", "token: plain text" },
        { R"({"token": "unterminated)", R"({"token": "***)" },
        { "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(maskSecrets(c.text), c.masked);
    }
}
