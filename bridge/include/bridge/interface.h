#pragma once

#include <bridge/bg_export.h>
#include <bridge/content.h>
#include <bridge/value.h>

#include <cstdint>
#include <functional>

namespace bg {

class App;
class Abstract_Logger;
class Abstract_Config;
class Func_Tracer;
class DataAuth;
class Data;
class Signal;
class Argv;
class Utils;
class Crypt;
class Mem_Pool;
class Channel;

// Callback of a message between components; may be empty.
using MsgCallback = std::function<void(const Value&)>;

// A component: the admin or a module. The service pointers are filled by the admin's set-up of the
// component (Bridge_A::setup_component): `app`, `signal` and `channel` are the admin's shared objects (not
// owned); the others belong to this component and are released by Bridge_A::release_component.
// The virtual slot order below is part of the interface between the deliverables: never reorder.
// Message operations run synchronously on the caller's thread; failures come back as error values.
class BG_API Interface : public Content {
public:
    // Bits of `state`: the low 16 bits are the component id.
    enum StateBits : uint32_t {
        STATE_ID_MASK = 0xffffu,
        STATE_INITED = 0x10000u,
        STATE_STARTED = 0x20000u,
        STATE_ABORTING = 0x40000u,
    };

    Interface() = default;
    Interface(const Interface&) = delete;
    Interface& operator=(const Interface&) = delete;
    ~Interface() override = default;

    // False refuses the component.
    virtual bool init() = 0;
    virtual bool start() = 0;
    virtual bool uninit() = 0;
    // Handles a message addressed to this component.
    virtual Value process(const char* from, int id, const Value& msg, const MsgCallback& cb) = 0;
    // Sends a message to the component named `to`, with this component as sender.
    virtual Value send(const char* to, int id, const Value& msg, const MsgCallback& cb) = 0;
    // The build type of the file that holds the component: true for a debug build.
    virtual bool is_debug() = 0;

    char name[32] = {};
    App* app = nullptr;
    Abstract_Logger* logger = nullptr;
    Abstract_Config* config = nullptr;
    Func_Tracer* tracer = nullptr;
    DataAuth* data = nullptr;
    Data* private_data = nullptr;
    Signal* signal = nullptr;
    Signal* private_signal = nullptr;
    Argv* argv = nullptr;
    Utils* utils = nullptr;
    Crypt* crypt = nullptr;
    Mem_Pool* mempool = nullptr;
    Channel* channel = nullptr;
    uint32_t state = 0;
};

// The factory that every module library exports under its plain name, get_component.
using GetComponentFunc = Interface* (*)(Interface* admin);

} // namespace bg
