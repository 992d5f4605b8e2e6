#include "script/scripthost.h"

#include "base/cp1252.h"
#include "base/urlcode.h"
#include "script/environment.h"
#include "script/jsutil.h"
#include "script/objectmodel.h"

#include <jsapi.h>
#include <js/CompilationAndEvaluation.h>
#include <js/ContextOptions.h>
#include <js/ErrorReport.h>
#include <js/Exception.h>
#include <js/Initialization.h>
#include <js/SourceText.h>
#include <js/Warnings.h>
#include <js/Array.h>
#include <js/GlobalObject.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#ifndef ZT_VERSION
#define ZT_VERSION "0.0"
#endif

namespace zt::script {

namespace {

using Clock = std::chrono::steady_clock;

// The engine is set up once per process, before the first context.
bool InitEngineOnce() {
    static bool ok = [] {
        if (!JS_Init()) return false;
        std::atexit([] { JS_ShutDown(); });
        return true;
    }();
    return ok;
}

const JSClass kGlobalClass = {"ZTGlobal", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps};

// Splits text into lines at CR, LF or CR LF and gives them back with LF.
std::string NormaliseBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string TrimBreaks(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// The reporter text of an engine report: prefix + message, and when the
// source line is known the line and a marker under the error position.
std::string FormatEngineReport(const JSErrorReport& report, const char* messageText = nullptr) {
    std::string prefix;
    if (report.filename && *report.filename) prefix += std::string(report.filename) + ":";
    if (report.lineno) prefix += std::to_string(report.lineno) + ": ";
    if (report.isWarning()) prefix += "warning: ";
    std::string message = messageText && *messageText ? messageText
                          : report.message().c_str()   ? report.message().c_str()
                                                       : "";
    std::string text = TrimBreaks(prefix + message);
    if (report.linebuf() && report.linebufLength()) {
        std::string line;
        const char16_t* lb = report.linebuf();
        for (size_t i = 0; i < report.linebufLength(); ++i) zt::AppendUtf8(line, lb[i]);
        line = TrimBreaks(line);
        text += ":\n" + prefix + line + "\n" + prefix;
        size_t offset = std::min(report.tokenOffset(), report.linebufLength());
        size_t col = 0;
        for (size_t i = 0; i < offset; ++i) {
            if (lb[i] == '\t') {
                size_t next = (col + 8) & ~size_t(7);
                for (; col < next; ++col) text += '.';
            } else {
                text += '.';
                ++col;
            }
        }
        text += '^';
    }
    text += '\n';
    return text;
}

void WarningReporter(JSContext* cx, JSErrorReport* report) {
    CScriptHost* host = CScriptHost::FromContext(cx);
    if (!host || !report) return;
    // The engine's own notice of an interrupted script is not for the user.
    if (!host->reportWarnings || !host->KeepGoing()) return;
    host->Print(FormatEngineReport(*report));
}

// ---- global properties and functions

CScriptHost* Host(JSContext* cx) { return CScriptHost::FromContext(cx); }

bool GetReportWarnings(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(Host(cx)->reportWarnings);
    return true;
}
bool SetReportWarnings(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    Host(cx)->reportWarnings = JS::ToBoolean(args.get(0));
    args.rval().setUndefined();
    return true;
}
bool GetQuiet(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(Host(cx)->quiet);
    return true;
}
bool SetQuiet(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    Host(cx)->quiet = JS::ToBoolean(args.get(0));
    args.rval().setUndefined();
    return true;
}
bool GetVisible(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    CScriptEnvironment* env = Host(cx)->Environment();
    args.rval().setBoolean(env ? env->IsMainWindowVisible() : false);
    return true;
}
bool SetVisible(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (CScriptEnvironment* env = Host(cx)->Environment()) env->SetMainWindowVisible(JS::ToBoolean(args.get(0)));
    args.rval().setUndefined();
    return true;
}

bool Print(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string text;
    for (unsigned i = 0; i < args.length(); ++i) {
        std::string part;
        if (!ValueToUtf8(cx, args[i], part)) return false;
        text += part;
    }
    Host(cx)->Print(text);
    args.rval().setUndefined();
    return true;
}

bool Sleep(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    int32_t ms = 10;
    if (args.length() > 0 && !ValueToInt(cx, args[0], ms)) ms = 10;
    int64_t wait = ms < 0 ? INT64_MAX / 2 : ms;
    CScriptHost* host = Host(cx);
    host->Sleep(wait);
    args.rval().setUndefined();
    return host->KeepGoing();
}

bool SetTimer(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (args.length() < 1) return ReportError(cx, "settimer: Must have one argument.");
    int32_t ms = 0;
    if (!args[0].isNumber() || !ValueToInt(cx, args[0], ms) || ms <= 0)
        return ReportError(cx, "settimer: First arg must be integer > 0.");
    args.rval().setBoolean(Host(cx)->SetTimer(ms));
    return true;
}

bool KillTimer(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(Host(cx)->KillTimer());
    return true;
}

bool ZtVersion(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string text = std::string("Zettrix ") + ZT_VERSION + " (" + __DATE__ + " " + __TIME__ + ")";
    args.rval().set(StringValueUtf8(cx, text));
    return !args.rval().isUndefined();
}

bool JsVersion(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().set(StringValueUtf8(cx, CScriptHost::EngineVersion()));
    return !args.rval().isUndefined();
}

bool CodeArgument(JSContext* cx, const JS::CallArgs& args, const char* name, std::string& out) {
    if (args.length() < 1)
        return ReportError(cx, std::string(name) + ": Must have one string argument.");
    if (!ValueToCp1252(cx, args[0], out))
        return ReportError(cx, std::string(name) + ": Cannot get string argument.");
    return true;
}

bool ZtEncode(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string text;
    if (!CodeArgument(cx, args, "ztencode", text)) return false;
    args.rval().set(StringValueCp1252(cx, zt::LinkNameEncode(text)));
    return !args.rval().isUndefined();
}

bool ZtDecode(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::string text;
    if (!CodeArgument(cx, args, "ztdecode", text)) return false;
    args.rval().set(StringValueCp1252(cx, zt::UrlFormDecode(text)));
    return !args.rval().isUndefined();
}

const JSFunctionSpec kGlobalFunctions[] = {
    JS_FN("print", Print, 0, 0),
    JS_FN("sleep", Sleep, 0, 0),
    JS_FN("settimer", SetTimer, 1, 0),
    JS_FN("killtimer", KillTimer, 0, 0),
    JS_FN("ztversion", ZtVersion, 0, 0),
    JS_FN("jsversion", JsVersion, 0, 0),
    JS_FN("ztencode", ZtEncode, 1, 0),
    JS_FN("ztdecode", ZtDecode, 1, 0),
    JS_FS_END};

bool DefineGlobals(JSContext* cx, JS::HandleObject global) {
    if (!JS_DefineFunctions(cx, global, kGlobalFunctions)) return false;
    if (!JS_DefineProperty(cx, global, "bReportWarnings", GetReportWarnings, SetReportWarnings,
                           JSPROP_PERMANENT))
        return false;
    if (!JS_DefineProperty(cx, global, "bQuiet", GetQuiet, SetQuiet, JSPROP_PERMANENT)) return false;
    if (!JS_DefineProperty(cx, global, "bVisible", GetVisible, SetVisible, JSPROP_PERMANENT)) return false;
    static const struct {
        const char* name;
        int value;
    } kPositions[] = {{"rightBottom", 11}, {"rightCenter", 12}, {"rightTop", 13},    {"topRight", 21},
                      {"topCenter", 22},   {"topLeft", 23},     {"leftTop", 31},     {"leftCenter", 32},
                      {"leftBottom", 33},  {"bottomLeft", 41},  {"bottomCenter", 42}, {"bottomRight", 43}};
    for (const auto& p : kPositions)
        if (!JS_DefineProperty(cx, global, p.name, p.value, JSPROP_READONLY | JSPROP_PERMANENT)) return false;
    return true;
}

// Requests the interrupt callback every few milliseconds while a script runs.
class CWatchdog {
public:
    explicit CWatchdog(JSContext* cx) : thread_([this, cx] { Loop(cx); }) {}
    ~CWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    void Loop(JSContext* cx) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            if (cv_.wait_for(lock, std::chrono::milliseconds(5), [this] { return done_; })) break;
            JS_RequestInterruptCallback(cx);
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace

struct HostAccess {
    static bool Interrupt(JSContext* cx) {
        CScriptHost* host = CScriptHost::FromContext(cx);
        return host ? host->Interrupt(cx) : true;
    }
};

CScriptHost::CScriptHost() = default;
CScriptHost::~CScriptHost() = default;

std::string CScriptHost::EngineVersion() {
    const char* v = JS_GetImplementationVersion();
    return v ? v : "";
}

CScriptHost* CScriptHost::FromContext(JSContext* cx) {
    return cx ? static_cast<CScriptHost*>(JS_GetContextPrivate(cx)) : nullptr;
}

void CScriptHost::Print(std::string_view text) {
    if (text.empty() || quiet) return;
    std::string normalised = NormaliseBreaks(text);
    if (sink_) sink_(normalised);
    if (collector_) *collector_ += normalised;
}

bool CScriptHost::TimerDue() const { return timerActive_ && Clock::now() >= timerDue_; }

bool CScriptHost::SetTimer(int64_t ms) {
    if (timerActive_) return false;
    timerActive_ = true;
    timerDue_ = Clock::now() + std::chrono::milliseconds(ms);
    return true;
}

bool CScriptHost::KillTimer() {
    bool was = timerActive_;
    timerActive_ = false;
    return was;
}

void CScriptHost::RunTimerHandler(JSContext* cx) {
    timerActive_ = false;
    if (inTimerHandler_ || !keepGoing_) return;
    inTimerHandler_ = true;
    JS::RootedObject global(cx, JS::CurrentGlobalOrNull(cx));
    JS::RootedValue handler(cx);
    if (global && JS_GetProperty(cx, global, "ontimer", &handler) && !handler.isUndefined()) {
        JS::RootedValue rval(cx);
        if (!JS_CallFunctionName(cx, global, "ontimer", JS::HandleValueArray::empty(), &rval)) {
            if (JS_IsExceptionPending(cx)) {
                JS::RootedValue exn(cx);
                JS_GetPendingException(cx, &exn);
                JS_ClearPendingException(cx);
                std::string text;
                if (!ValueToUtf8(cx, exn, text)) text = "?";
                JS_ClearPendingException(cx);
                Print("ontimer: " + TrimBreaks(text) + "\n");
            }
        }
    } else if (JS_IsExceptionPending(cx)) {
        JS_ClearPendingException(cx);
    }
    inTimerHandler_ = false;
}

void CScriptHost::PollTimer() {
    // The time limit also ends a script that waits in a dialog.
    if (deadline_ != Clock::time_point{} && Clock::now() >= deadline_) {
        stoppedByLimit_ = true;
        keepGoing_ = false;
    }
    if (cx_ && keepGoing_ && TimerDue()) RunTimerHandler(cx_);
}

bool CScriptHost::Interrupt(JSContext* cx) {
    auto now = Clock::now();
    if (idle_ && now - lastIdle_ >= std::chrono::milliseconds(10)) {
        lastIdle_ = now;
        idle_();
    }
    if (deadline_ != Clock::time_point{} && now >= deadline_) {
        stoppedByLimit_ = true;
        keepGoing_ = false;
    }
    // Near the heap limit the engine would collect again and again before it
    // gives up; end the script at once when a collection does not help.
    if (keepGoing_ && uint64_t(JS_GetGCParameter(cx, JSGC_BYTES)) * 10 > uint64_t(heapLimit_) * 9) {
        JS_GC(cx);
        if (uint64_t(JS_GetGCParameter(cx, JSGC_BYTES)) * 10 > uint64_t(heapLimit_) * 8) {
            Print("JavaScript Error: out of memory.\n");
            keepGoing_ = false;
        }
    }
    if (!keepGoing_) {
        timerActive_ = false;
        return false;
    }
    if (TimerDue()) RunTimerHandler(cx);
    return keepGoing_;
}

void CScriptHost::Sleep(int64_t ms) {
    auto end = ms >= INT64_MAX / 4 ? Clock::time_point::max()
                                   : Clock::now() + std::chrono::milliseconds(ms);
    while (keepGoing_) {
        auto now = Clock::now();
        if (deadline_ != Clock::time_point{} && now >= deadline_) {
            stoppedByLimit_ = true;
            keepGoing_ = false;
            break;
        }
        if (now >= end) break;
        if (idle_) idle_();
        if (cx_ && TimerDue()) RunTimerHandler(cx_);
        auto step = std::chrono::milliseconds(2);
        if (end - now < step) std::this_thread::sleep_until(end);
        else std::this_thread::sleep_for(step);
    }
}

ScriptRunResult CScriptHost::Run(std::string_view source, const ScriptRunOptions& options) {
    ScriptRunResult out;
    if (running_) {
        const char* text = "Internal Error: JavaScript already running.\n";
        Print(text);
        out.result = text;
        return out;
    }
    const char* initFailed = "Error: Failed to initialize JavaScript.\n";
    if (!InitEngineOnce()) {
        Print(initFailed);
        out.result = initFailed;
        return out;
    }
    const uint32_t heapLimit = options.heapLimit ? options.heapLimit : kHeapLimit;
    JSContext* cx = JS_NewContext(heapLimit);
    if (!cx) {
        Print(initFailed);
        out.result = initFailed;
        return out;
    }
    JS_SetContextPrivate(cx, this);
    heapLimit_ = heapLimit;
    JS_SetGCParameter(cx, JSGC_MAX_BYTES, heapLimit);
    JS_SetNativeStackQuota(cx, kStackQuota);
    if (!JS::InitSelfHostedCode(cx)) {
        JS_DestroyContext(cx);
        Print(initFailed);
        out.result = initFailed;
        return out;
    }
    JS_AddInterruptCallback(cx, &HostAccess::Interrupt);
    JS::SetWarningReporter(cx, WarningReporter);

    running_ = true;
    keepGoing_ = true;
    stoppedByLimit_ = false;
    executing_ = false;
    inTimerHandler_ = false;
    timerActive_ = false;
    reportWarnings = true;
    quiet = false;
    cx_ = cx;
    std::string collected;
    if (options.collectOutput) collector_ = &collected;
    deadline_ = options.timeLimit.count() > 0 ? Clock::now() + options.timeLimit : Clock::time_point{};
    lastIdle_ = Clock::now();

    // Prints the pending exception's report (and clears it).
    auto reportPending = [&](bool uncaughtNotice) {
        if (!JS_IsExceptionPending(cx)) return;
        JS::ExceptionStack stack(cx);
        if (!JS::StealPendingExceptionStack(cx, &stack)) {
            JS_ClearPendingException(cx);
            return;
        }
        if (uncaughtNotice) Print("JavaScript Error: Uncaught exception.\n");
        if (stack.exception().isString()) {
            std::string text;
            if (ValueToUtf8(cx, stack.exception(), text)) Print(TrimBreaks(text) + "\n");
        } else {
            JS::ErrorReportBuilder builder(cx);
            if (builder.init(cx, stack, JS::ErrorReportBuilder::NoSideEffects) && builder.report()) {
                Print(FormatEngineReport(*builder.report(), builder.toStringResult().c_str()));
            } else if (builder.toStringResult()) {
                Print(std::string(builder.toStringResult().c_str()) + "\n");
            }
        }
        JS_ClearPendingException(cx);
    };

    {
        JS::RealmOptions realmOptions;
        JS::RootedObject global(
            cx, JS_NewGlobalObject(cx, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, realmOptions));
        bool ok = global != nullptr;
        std::unique_ptr<JSAutoRealm> realm;
        if (ok) {
            realm = std::make_unique<JSAutoRealm>(cx, global);
            ok = JS::InitRealmStandardClasses(cx) && DefineGlobals(cx, global) && DefineObjectModel(cx, global);
            for (auto& ext : extensions_)
                if (ok) ok = ext(cx, global);
            if (ok && !options.arguments.empty()) {
                JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
                ok = array != nullptr;
                for (size_t i = 0; ok && i < options.arguments.size(); ++i) {
                    JS::RootedValue v(cx, StringValueUtf8(cx, options.arguments[i]));
                    ok = JS_SetElement(cx, array, uint32_t(i), v);
                }
                if (ok) ok = JS_DefineProperty(cx, global, "scriptArgs", array, JSPROP_ENUMERATE);
            }
        }
        if (!ok) {
            reportPending(false);
            Print("JavaScript Error: Initialization failed.\n");
        }
        JS::RootedScript script(cx);
        if (ok) {
            JS::CompileOptions compile(cx);
            compile.setFileAndLine(options.fileName.c_str(), options.firstLine);
            JS::SourceText<mozilla::Utf8Unit> text;
            ok = text.init(cx, source.data(), source.size(), JS::SourceOwnership::Borrowed);
            if (ok) script = JS::Compile(cx, compile, text);
            if (!script) {
                ok = false;
                reportPending(false);
                Print("JavaScript Error: Compilation failed.\n");
            }
        }
        if (ok) {
            JS::RootedValue rval(cx);
            bool ran;
            {
                CWatchdog watchdog(cx);
                executing_ = true;
                ran = JS_ExecuteScript(cx, script, &rval);
                executing_ = false;
            }
            timerActive_ = false;
            if (ran) {
                out.ok = true;
                if (!rval.isUndefined()) {
                    std::string value;
                    if (ValueToUtf8(cx, rval, value)) {
                        out.result += value;
                    } else {
                        JS_ClearPendingException(cx);
                        Print("JavaScript Error: return value not a string.\n");
                    }
                }
            } else {
                reportPending(true);
                Print("JavaScript Error: Execution failed.\n");
            }
        }
        script = nullptr;
        global = nullptr;
    }
    out.stopped = !keepGoing_ || stoppedByLimit_;
    out.result = collected + out.result;
    collector_ = nullptr;
    cx_ = nullptr;
    timerActive_ = false;
    deadline_ = {};
    JS_DestroyContext(cx);
    running_ = false;
    keepGoing_ = true;
    return out;
}

} // namespace zt::script
