#pragma once

#include <functional>

class ZovMeetingApplication;

// What a program built on the meeting client adds to its start-up. The defaults are the client's own.
struct TavimeetHooks {
    // Runs on the GUI thread once the primary instance's application object exists, before its event loop.
    std::function<void(ZovMeetingApplication&)> applicationReady;
    // Runs on the GUI thread after the event loop ended, while the application object still exists.
    std::function<void(ZovMeetingApplication&)> applicationEnding;
    // Whether the program announces itself to the whiteboard program through the per-user marker block.
    bool announceToWhiteboard = true;
};

// Brings up the framework, writes the application identity and the start-up defaults, announces the
// program to the whiteboard, runs the application object's event loop and tears everything down; returns
// the program's exit code. Called once per process, from main.
int runTavimeet(int argc, char** argv, const TavimeetHooks& hooks = {});
