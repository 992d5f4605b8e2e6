#include "security/boundedcall.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace zt {

bool RunBounded(std::function<void()> work, std::chrono::milliseconds timeout,
                const std::function<void()>& waitHook) {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    try {
        std::thread([state, work = std::move(work)]() mutable {
            work();
            work = nullptr; // whatever the work owns goes before the caller hears of the end
            std::lock_guard<std::mutex> lock(state->m);
            state->done = true;
            state->cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false; // no thread to be had
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto step = std::chrono::milliseconds(waitHook ? 30 : 200);
    std::unique_lock<std::mutex> lock(state->m);
    while (!state->done) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        state->cv.wait_for(lock, std::min<std::chrono::steady_clock::duration>(step, deadline - now),
                           [&] { return state->done; });
        if (!state->done && waitHook) {
            lock.unlock();
            waitHook();
            lock.lock();
        }
    }
    return true;
}

} // namespace zt
