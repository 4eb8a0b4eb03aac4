#pragma once
// Runs a function in the main thread and waits for it: a blocking queued call from another thread,
// a direct call in the main thread itself. An exception thrown by the function is raised again in
// the calling thread. The main thread must be running its event loop (not waiting for the caller).
#include <functional>

namespace platform {

void Synchronize(const std::function<void()>& fn);

} // namespace platform
