#include <devservice/service.h>

#include <korvex/zovnet.h>

#include <gtest/gtest.h>

namespace {

TEST(WebsiteRoutes, ServeSmallPagesWithoutSignature)
{
    devservice::Service::Options options;
    options.https = false;
    devservice::Service service(options);
    std::string error;
    ASSERT_TRUE(service.start(&error)) << error;

    const struct {
        const char* path;
        const char* title;
    } pages[] = { { "/", "Tavicast" }, { "/user_agreement.html", "用户协议" },
        { "/privacy_policy.html", "隐私政策" } };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.path);
        const Zov_Client::ZovResponse response = Zov_Client::ZovNet(service.baseUrl()).get(page.path);
        EXPECT_EQ(response.status, 200);
        EXPECT_NE(response.body.find("<title>" + std::string(page.title) + "</title>"), std::string::npos)
            << response.body;
    }
    EXPECT_EQ(Zov_Client::ZovNet(service.baseUrl()).get("/terms.html").status, 404);
}

} // namespace
