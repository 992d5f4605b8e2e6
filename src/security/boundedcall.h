// A call into code that may never return (a PKCS#11 driver waiting for a
// reader, a card or its own bugs), bounded in time: the work runs on a thread
// of its own while the caller waits at most the given time, calling a hook
// between short waits (the program keeps its window drawn there). When the
// time runs out the thread is left to itself; the work must therefore own
// everything it touches (capture by value or shared ownership, never the
// caller's stack).
#pragma once

#include <chrono>
#include <functional>

namespace zt {

// True when `work` finished within `timeout`.
bool RunBounded(std::function<void()> work, std::chrono::milliseconds timeout,
                const std::function<void()>& waitHook = {});

} // namespace zt
