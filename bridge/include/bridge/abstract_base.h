#pragma once

#include <bridge/bg_export.h>

namespace bg {

class Interface;

// Root of the framework's service interfaces (configuration, data, logger, tracer, utilities, crypt, signal,
// argument, memory pool, channel, application info, shared memory).
// `owner` is the component the service belongs to; it is null for objects made by a factory function.
class BG_API Abstract_Base {
public:
    virtual ~Abstract_Base();

    Interface* owner = nullptr;
};

} // namespace bg
