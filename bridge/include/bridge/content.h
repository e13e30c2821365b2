#pragma once

#include <bridge/bg_export.h>

namespace bg {

// Root of the component classes; its one virtual operation is the destructor. Inline, so that a module
// library needs nothing from libbridge to derive from it.
class BG_API Content {
public:
    virtual ~Content() = default;
};

} // namespace bg
