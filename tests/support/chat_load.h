#pragma once

// A chat-room load: many members on WebSockets, a few of them talking at a steady total rate, every member
// checking that it gets every text exactly once and each sender's in order, and how long each took.
// Used by the load test against the local service and by the chat-room benchmark, which runs the same load
// against a bare broadcaster as well.

#include "support/child_program.h"

#include <QUrl>

#include <functional>
#include <string>
#include <vector>

namespace chatload {

struct Options {
    int members = 200;
    int senders = 20; // members that talk, spread evenly over the room
    double rate = 50; // texts per second, all senders together
    double seconds = 5;
    int threads = 4; // client threads the members are spread over
    int textBytes = 80; // each text is padded to about this size
    std::string caFile; // for wss: a PEM file of authorities to trust beside the system's
    int connectTimeoutMs = 60000;
    int drainTimeoutMs = 30000; // after the last text is sent
    // Called on the running thread just before the first text (true) and once the last one is in or the
    // drain gave up (false), to measure what the load costs.
    std::function<void(bool loadRunning)> phase;
};

struct Result {
    bool connected = false; // every member's connection opened
    long long sent = 0;
    long long expected = 0; // sent texts × members
    long long delivered = 0; // distinct (member, text) pairs received
    long long duplicates = 0;
    long long outOfOrder = 0; // a text received after a later one of the same sender
    long long foreign = 0; // a text frame that no sender of this run sent
    long long lost() const { return expected - delivered; }
    double p50Ms = 0;
    double p99Ms = 0;
    double maxMs = 0;
    double loadSeconds = 0; // from the first text sent to the last one received (or the drain's end)
    std::string error; // why the run could not start or finish, empty when it did
};

// Runs the load. Member i connects to urls[i]; every member sends {"type":"text","text":...} and accepts
// any JSON frame with a string "text" and "event" or "type" "text" (the room's form and a bare echo alike).
// Needs a QCoreApplication; blocks the calling thread.
Result run(const Options& options, const std::vector<QUrl>& urls);

// Percentile (0..100) of `values`, which it sorts; 0 when empty.
double percentile(std::vector<double>& values, double pct);

// Makes a room on the chat-room service at `base` (its "base URL") and joins `members` members to it, the
// first as its owner. On success `urls` holds each member's connection address.
bool joinRoom(const std::string& base, int members, std::vector<QUrl>& urls, std::string& error);

} // namespace chatload
