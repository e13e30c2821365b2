#pragma once

#include <bridge/interface.h>
#include <bridge/value.h>

#include <vector>

// What the scripted "Memvia" module (login_recorder.cpp) received: each command with its argument and
// callback, so that a test can answer as the plug-in would. Shared through the module's exported
// login_recorder().
struct RecordedCommand {
    int id = 0;
    bg::Value message;
    bg::MsgCallback callback;
};

struct LoginRecorder {
    std::vector<RecordedCommand> commands;

    std::vector<const RecordedCommand*> withId(int id) const
    {
        std::vector<const RecordedCommand*> found;
        for (const RecordedCommand& command : commands) {
            if (command.id == id)
                found.push_back(&command);
        }
        return found;
    }
};
