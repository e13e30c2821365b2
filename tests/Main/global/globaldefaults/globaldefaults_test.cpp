#include "global/globaldefaults.h"

#include "Main/shell_env.h"

#include <bridge/abstract_config.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QDir>

#include <gtest/gtest.h>

namespace {

std::string config(const char* key)
{
    bool found = false;
    const std::string text = CD->config->get(key, &found);
    return found ? text : "<missing>";
}

TEST(GlobalDefaults, FreshAndExistingConfiguration)
{
    const struct {
        const char* what;
        const char* enable; // null: missing
        const char* dir;
        std::string expectEnable;
        std::string expectDir;
    } cases[] = {
        { "fresh", nullptr, nullptr, "1", QDir::homePath().toStdString() },
        { "set by the user", "0", "/srv/videos", "0", "/srv/videos" },
        { "only the folder set", nullptr, "/srv/videos", "1", "/srv/videos" },
        { "empty folder is a value", "1", "", "1", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CD->config->remove("record.enable");
        CD->config->remove("record.dir");
        if (c.enable)
            CD->config->set("record.enable", c.enable);
        if (c.dir)
            CD->config->set("record.dir", c.dir);
        CD->data->erease_data("chat_aes_key");
        CD->data->erease_data("chat_aes_vesion");

        initGlobalDefaults();

        EXPECT_EQ(config("record.enable"), c.expectEnable);
        EXPECT_EQ(config("record.dir"), c.expectDir);
        EXPECT_EQ(CD->data->get_data("chat_aes_key", bg::Value()).toStdString(), "q7#Lm!wz_r4Kp2$e");
        const bg::Value version = CD->data->get_data("chat_aes_vesion", bg::Value());
        EXPECT_EQ(version.type(), bg::Value::VT_INT);
        EXPECT_EQ(version.toInt(), 200);
    }
}

const auto* const bridge = testing::AddGlobalTestEnvironment(new BridgeEnvironment);

} // namespace
