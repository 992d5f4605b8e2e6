// The JavaScript host: one SpiderMonkey context per script run, the global
// object "ZTGlobal" with its options and functions, the error reports, the
// stop and timer machinery and the output path. Scripts run on the calling
// thread; a watchdog thread requests the engine's interrupt callback every few
// milliseconds, and that callback keeps the caller's event loop going, runs a
// due timer handler and ends the script when it was stopped, ran out of time
// or the engine ran out of memory.
//
// Everything a script may reach outside the engine comes from the
// CScriptEnvironment the caller hands over (the document, the current page,
// the text view, the main window); more classes and functions are added
// through extensions that run when the global object is made.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct JSContext;
class JSObject;

namespace zt::script {

class CScriptEnvironment;

// Defines additional classes or functions on a new global object; false
// (with an exception pending or not) makes the initialisation fail.
using ScriptExtension = std::function<bool(JSContext* cx, JSObject* global)>;

struct ScriptRunOptions {
    // Also collect every printed text into the result.
    bool collectOutput = false;
    // Name shown in error reports ("" for none) and the first line number.
    std::string fileName;
    unsigned firstLine = 1;
    // Ends the script after this long (0: no limit).
    std::chrono::milliseconds timeLimit{0};
    // Heap limit of the engine in bytes (0: kHeapLimit).
    uint32_t heapLimit = 0;
    // The script's arguments ("scriptArgs" array, UTF-8), when set.
    std::vector<std::string> arguments;
};

struct ScriptRunResult {
    bool ok = false;        // the script ran to its end without an uncaught error
    bool stopped = false;   // ended by Stop() or the time limit
    std::string result;     // collected output, then the completion value (UTF-8)
};

class CScriptHost {
public:
    CScriptHost();
    ~CScriptHost();
    CScriptHost(const CScriptHost&) = delete;
    CScriptHost& operator=(const CScriptHost&) = delete;

    // Whether the engine is there (it is linked, so this is always true; kept
    // so that callers ask in one place).
    static bool IsScriptingAvailable() { return true; }
    // The engine's version text.
    static std::string EngineVersion();

    // The environment scripts see; null gives a host without document (the
    // document objects then report that they cannot reach it).
    void SetEnvironment(CScriptEnvironment* environment) { env_ = environment; }
    CScriptEnvironment* Environment() const { return env_; }

    // Where printed text goes (UTF-8, line breaks as the script wrote them).
    // Nothing is printed without a sink unless the run collects its output.
    void SetOutput(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }
    // Called while a script runs, about every few milliseconds (the GUI
    // processes its events there). Runs on the script's thread.
    void SetIdleHandler(std::function<void()> idle) { idle_ = std::move(idle); }
    // Extensions run, in order, after the host's own objects are defined.
    void AddExtension(ScriptExtension extension) { extensions_.push_back(std::move(extension)); }

    // Runs one script (UTF-8 source) to completion.
    ScriptRunResult Run(std::string_view source, const ScriptRunOptions& options = {});

    bool IsRunning() const { return running_; }
    // Ends the running script at its next interrupt; safe from any thread.
    void Stop() { keepGoing_ = false; }
    // A form dialog that waits calls this from its own loop: it runs a timer
    // handler that has come due, as the interrupt callback would, and ends
    // the script when it ran out of time (the dialog then closes on
    // !KeepGoing()).
    void PollTimer();

    // The print path of "print" and of all host messages.
    void Print(std::string_view text);

    // ---- state for the natives (valid while a script runs)
    static CScriptHost* FromContext(JSContext* cx);
    JSContext* Context() const { return cx_; }
    bool reportWarnings = true;
    bool quiet = false;
    bool KeepGoing() const { return keepGoing_; }
    // Waits `ms` milliseconds while the idle handler and timers keep running;
    // returns early when the script is stopped.
    void Sleep(int64_t ms);
    // One-shot timer: false when one is already active.
    bool SetTimer(int64_t ms);
    bool KillTimer();
    // True while native code of the host reports (not script code).
    bool InScriptCode() const { return executing_; }

    // Heap limit of the engine in bytes and the native stack quota.
    static constexpr uint32_t kHeapLimit = 256u * 1024 * 1024;
    static constexpr size_t kStackQuota = 512u * 1024;

private:
    friend struct HostAccess;
    bool Interrupt(JSContext* cx);
    void RunTimerHandler(JSContext* cx);
    bool TimerDue() const;

    CScriptEnvironment* env_ = nullptr;
    std::function<void(const std::string&)> sink_;
    std::function<void()> idle_;
    std::vector<ScriptExtension> extensions_;

    JSContext* cx_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> keepGoing_{true};
    bool executing_ = false;
    bool inTimerHandler_ = false;
    bool stoppedByLimit_ = false;
    uint32_t heapLimit_ = kHeapLimit;
    std::chrono::steady_clock::time_point deadline_{};
    bool timerActive_ = false;
    std::chrono::steady_clock::time_point timerDue_{};
    std::string* collector_ = nullptr;
    std::chrono::steady_clock::time_point lastIdle_{};
};

} // namespace zt::script
