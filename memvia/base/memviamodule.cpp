#include "base/memviamodule.h"

#include <atomic>

namespace memvia {

namespace {

    std::atomic<bg::Interface*> current { nullptr };

} // namespace

bg::Interface* module() { return current.load(std::memory_order_acquire); }

void setModule(bg::Interface* component) { current.store(component, std::memory_order_release); }

} // namespace memvia
