#pragma once

namespace bg {

// Starts a thread that calls fn(arg) once, detaches it and returns once it has started. Nothing joins it:
// the caller makes sure that everything fn uses outlives it. A failure to create the thread is thrown as
// std::system_error.
void start_detached_thread(void (*fn)(void*), void* arg);

} // namespace bg
