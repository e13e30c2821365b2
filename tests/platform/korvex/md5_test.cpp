#include <korvex/md5.h>

#include <devservice/requestverifier.h>

#include <gtest/gtest.h>

TEST(Md5, KnownAnswers)
{
    const struct {
        const char* input;
        const char* digest;
    } cases[] = {
        { "", "d41d8cd98f00b204e9800998ecf8427e" },
        { "a", "0cc175b9c0f1b6a831c399e269772661" },
        { "abc", "900150983cd24fb0d6963f7d28e17f72" },
        { "message digest", "f96b697d7cb7938d525a2f31aaf161d0" },
        { "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(zov_crypt::MD5::md5Data(c.input), c.digest);
    }
}

// Every length around the padding boundaries (55/56/64 bytes), bytes above 127 and zero bytes included,
// against OpenSSL.
TEST(Md5, MatchesOpenSslAcrossBlockBoundaries)
{
    std::string data;
    for (int length = 0; length <= 200; ++length) {
        SCOPED_TRACE(length);
        EXPECT_EQ(zov_crypt::MD5::md5Data(data), devservice::md5Hex(data));
        data += static_cast<char>((length * 37) & 0xff);
    }
}
