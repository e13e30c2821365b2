#include <logmask/logmask.h>

#include <gtest/gtest.h>

#include <string>

TEST(LogMask, HidesTheValuesOfTokenLikeMembersOnly)
{
    const struct {
        const char* text;
        const char* masked;
    } cases[] = {
        { R"({"token": "abc", "title": "t"})", R"({"token": "***", "title": "t"})" },
        { R"({"meeting_token":"m1","vip_token":"v1"})", R"({"meeting_token":"***","vip_token":"***"})" },
        { R"({"user_pwd" : "p\"q", "password": 1234})", R"({"user_pwd" : "***", "password": ***})" },
        { R"({"auto_login_token":"a","auto_token":"b","sign":"0123abcd","user_id":7})",
            R"({"auto_login_token":"***","auto_token":"***","sign":"***","user_id":7})" },
        // A JSON text inside a JSON string: the escaped quotes are the value's bounds.
        { R"({"result": "{\"token\":\"abc\",\"id\":1}"})", R"({"result": "{\"token\":\"***\",\"id\":1}"})" },
        // Nested objects and arrays are reached; an empty value stays empty.
        { R"({"a": [{"password": "x"}], "token": ""})", R"({"a": [{"password": "***"}], "token": ""})" },
        // Names that only contain a secret name, and secret names as values, are left alone.
        { R"({"x_token": "keep", "tokens": "keep", "kind": "token", "signs": "keep"})",
            R"({"x_token": "keep", "tokens": "keep", "kind": "token", "signs": "keep"})" },
        { "token: plain text", "token: plain text" },
        { R"({"token": "unterminated)", R"({"token": "***)" },
        { R"({"token")", R"({"token")" },
        { R"({"token":)", R"({"token":)" },
        { "\"", "\"" },
        { "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(maskSecrets(c.text), c.masked);
    }
}

// Secrets of any length, whole or cut short, in plain and in escaped JSON: a value of a mebibyte is hidden
// without a stack frame per character (the sanitizer build has a small stack to spare).
TEST(LogMask, LongValuesWholeAndCutShort)
{
    const std::string value(1 << 20, 'x');
    const struct {
        std::string text;
        std::string masked;
    } cases[] = {
        { R"({"token":")" + value + R"(","user_id":1})", R"({"token":"***","user_id":1})" },
        { R"({"password":")" + value, R"({"password":"***)" },
        { R"({"result":"{\"sign\":\")" + value + R"(\"}"})", R"({"result":"{\"sign\":\"***\"}"})" },
        { R"({"result":"{\"sign\":\")" + value, R"({"result":"{\"sign\":\"***)" },
        // A long run of backslashes escapes the quote after it; the next quote ends the value.
        { R"({"token":")" + std::string(1 << 19, '\\') + std::string(1 << 18, '"'),
            R"({"token":"***)" + std::string((1 << 18) - 1, '"') },
        // Many members in one text, each a secret.
        { [] {
              std::string text = "[";
              for (int i = 0; i < 100000; ++i)
                  text += R"({"token":"abcdef"},)";
              return text;
          }(),
            [] {
                std::string text = "[";
                for (int i = 0; i < 100000; ++i)
                    text += R"({"token":"***"},)";
                return text;
            }() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(maskSecrets(c.text), c.masked);
    }
}
