// framekit's records reach the program's log with their level.
#include "media/framekitlog.h"

#include "Main/shell_env.h"

#include <bridge/abstract_logger.h>
#include <bridge/interface.h>
#include <framekit/framekit.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const auto* const bridge = testing::AddGlobalTestEnvironment(new BridgeEnvironment);

} // namespace

TEST(FramekitLog, RecordsGoToTheProgramLogWithTheirLevel)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("log.txt")).toStdString();
    FILE* log = std::fopen(path.c_str(), "w+");
    ASSERT_NE(log, nullptr);
    CD->logger->set_file(log);
    CD->logger->set_level(5);

    routeFramekitLogToProgramLog();
    fk_log(FK_LOG_ERROR, "out of memory for %dx%d", 1280, 720);
    fk_log(FK_LOG_WARNING, "%s: DecodeDeviceId failed", "Cam A");
    fk_log(FK_LOG_INFO, "fps: %0.2f", 30.0);
    fk_log(FK_LOG_DEBUG, "Create DShow");
    fk_log_set_handler(nullptr, nullptr);
    CD->logger->set_file(nullptr);
    std::fclose(log);

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string logged = text.str();
    for (const char* line :
        { "[E][bg] framekitlog.cpp", "\"out of memory for 1280x720\"", "[W][bg] framekitlog.cpp",
            "\"Cam A: DecodeDeviceId failed\"", "[I][bg]", "\"fps: 30.00\"", "[D][bg]", "\"Create DShow\"" })
        EXPECT_NE(logged.find(line), std::string::npos) << line << "\n" << logged;
}
