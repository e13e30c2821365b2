#include "net/meetinglogin.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"
#include "net/srvgetappconfig.h"

#include <bridge/app.h>
#include <bridge/dataauth.h>

#include <devservice/service.h>

#include "support/scoped_env.h"
#include "support/service_component.h"

#include <json/reader.h>

#include <gtest/gtest.h>

namespace {

// A root component with the framework's own data store besides the crypt service and application info.
class StoreComponent : public ServiceComponent {
public:
    StoreComponent() { data = &m_data; }

private:
    bg::DataAuth m_data;
};

} // namespace

// With no replacement, the requests read and write the framework's stores through CD.
TEST(RequestStore, RequestsUseTheFrameworkStores)
{
    StoreComponent component;
    devservice::Service::Options options;
    options.https = false;
    devservice::Service service(options);
    ASSERT_TRUE(service.start());
    ScopedEnv serviceUrl("TAVICAST_SERVICE_URL", service.baseUrl());
    Json::Value login;
    login["token"] = "from-service";
    service.script("/meetingapi//account/checkLogin", devservice::ScriptedReply::success(login));

    component.data->set_data(netkeys::kUserToken, bg::Value("user-tok"));
    component.app->set_property(netkeys::kAppHost, bg::Value(service.baseUrl() + "/goapi"), false);
    component.app->set_property(netkeys::kAppProductType, bg::Value(23001), false);

    std::string reply;
    EXPECT_TRUE(MeetingLogin().exec(reply));
    EXPECT_EQ(requeststore::dataText(netkeys::kMeetingToken), "from-service");
    EXPECT_EQ(component.data->get_data(netkeys::kMeetingToken, bg::Value()).toStdString(), "from-service");
    EXPECT_TRUE(SRVGetAppConfig().exec(reply));

    const std::vector<devservice::RecordedRequest> requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].members["vip_token"], "user-tok");
    EXPECT_EQ(requests[1].members["product_Type"], 23001);
}
