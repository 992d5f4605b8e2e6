// The script host: results, printing, error reports, the stop and timer
// machinery, and the limits that keep a script from taking the program down.
#include "script/scripthost.h"

#include <jsapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using zt::script::CScriptHost;
using zt::script::ScriptRunOptions;
using zt::script::ScriptRunResult;

namespace {

struct Outcome {
    ScriptRunResult result;
    std::string printed;
};

Outcome RunScript(const std::string& source, ScriptRunOptions options = {}) {
    CScriptHost host;
    Outcome run;
    host.SetOutput([&](const std::string& s) { run.printed += s; });
    if (options.fileName.empty()) options.fileName = "t.js";
    run.result = host.Run(source, options);
    return run;
}

TEST(ScriptHost, ResultsAndPrintedText) {
    struct Case {
        const char* source;
        bool ok;
        const char* result;
        const char* printed;
    } cases[] = {
        {"1 + 2", true, "3", ""},
        {"print('a', 1, true); 'x'", true, "x", "a1true"},
        {"print('l1\\r\\nl2\\rl3')", true, "", "l1\nl2\nl3"},
        {"ztencode('a.b c')", true, "a%2Eb+c", ""},
        {"ztdecode('a%2Eb+c')", true, "a.b c", ""},
        {"ztdecode(ztencode('\\u00e4\\u20ac/?'))", true, "\u00e4\u20ac/?", ""},
        {"typeof ztversion() + ztversion().indexOf('Zettrix')", true, "string0", ""},
        {"jsversion().length > 0", true, "true", ""},
        {"[rightBottom, topCenter, leftBottom, bottomRight].join()", true, "11,22,33,43", ""},
        {"rightBottom = 5; rightBottom", true, "11", ""},
        {"bQuiet = true; print('hidden'); throw 'x'", false, "", ""},
        {"bReportWarnings", true, "true", ""},
        {"settimer(100) + ',' + settimer(100) + ',' + killtimer() + ',' + killtimer()", true,
         "true,false,true,false", ""},
    };
    for (const Case& c : cases) {
        Outcome r = RunScript(c.source);
        EXPECT_EQ(r.result.ok, c.ok) << c.source;
        EXPECT_EQ(r.result.result, c.result) << c.source;
        EXPECT_EQ(r.printed, c.printed) << c.source;
    }
}

TEST(ScriptHost, ErrorReportsNameFileLineAndMessage) {
    struct Case {
        const char* source;
        const char* printed;
    } cases[] = {
        {"var a = 1;\nvar b = ;", "t.js:2: SyntaxError: expected expression, got ';':\n"
                                   "t.js:2: var b = ;\nt.js:2: ........^\nJavaScript Error: Compilation failed.\n"},
        {"\n\nthrow new Error('boom')", "JavaScript Error: Uncaught exception.\nt.js:3: Error: boom\n"
                                        "JavaScript Error: Execution failed.\n"},
        {"throw 'plain'", "JavaScript Error: Uncaught exception.\nplain\nJavaScript Error: Execution failed.\n"},
        {"settimer()", "JavaScript Error: Uncaught exception.\nt.js:1: settimer: Must have one argument.\n"
                       "JavaScript Error: Execution failed.\n"},
        {"settimer(-4)", "JavaScript Error: Uncaught exception.\nt.js:1: settimer: First arg must be integer > 0.\n"
                         "JavaScript Error: Execution failed.\n"},
        {"try { ztencode() } catch (e) { print(e) }", "t.js:1: ztencode: Must have one string argument.\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunScript(c.source).printed, c.printed) << c.source;
}

TEST(ScriptHost, CollectedOutputComesBeforeTheValue) {
    ScriptRunOptions options;
    options.collectOutput = true;
    Outcome r = RunScript("print('a\\n'); 42", options);
    EXPECT_EQ(r.result.result, "a\n42");
}

TEST(ScriptHost, AScriptThatRunsIsNotStartedAgain) {
    CScriptHost host;
    std::string inner;
    host.SetOutput([&](const std::string&) {});
    host.AddExtension([&](JSContext*, JSObject*) { return true; });
    host.SetIdleHandler([&] {
        if (inner.empty()) inner = host.Run("1").result;
    });
    ScriptRunResult r = host.Run("sleep(30); 'outer'");
    EXPECT_EQ(inner, "Internal Error: JavaScript already running.\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.result, "outer");
}

TEST(ScriptHost, EndlessLoopEndsByStopAndByTimeLimit) {
    {
        CScriptHost host;
        std::string printed;
        host.SetOutput([&](const std::string& s) { printed += s; });
        // A stop before the run has begun is not kept (each run starts
        // afresh), so the stop is given until the run has ended: on a busy
        // machine setting up the engine may take longer than the first wait.
        std::atomic<bool> ended{false};
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            while (!ended) {
                host.Stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        auto t0 = std::chrono::steady_clock::now();
        ScriptRunResult r = host.Run("while (true) {}");
        ended = true;
        stopper.join();
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(printed, "JavaScript Error: Execution failed.\n");
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    }
    for (const char* source : {"while (true) {}", "sleep(-1)", "ontimer = function () { while (true) {} };"
                                                               " settimer(1); while (true) {}"}) {
        ScriptRunOptions options;
        options.timeLimit = std::chrono::milliseconds(150);
        Outcome r = RunScript(source, options);
        EXPECT_FALSE(r.result.ok) << source;
        EXPECT_TRUE(r.result.stopped) << source;
        // A new run starts afresh.
    }
    EXPECT_EQ(RunScript("'again'").result.result, "again");
}

TEST(ScriptHost, TimersFireInOrder) {
    Outcome r = RunScript(
        "var log = [];"
        "ontimer = function () { log.push(log.length); if (log.length < 3) settimer(5); };"
        "settimer(5); var t = Date.now(); while (log.length < 3 && Date.now() - t < 3000) {}"
        "log.join()");
    EXPECT_EQ(r.result.result, "0,1,2");
    Outcome slept = RunScript("var n = 0; ontimer = function () { n++ }; settimer(5); sleep(60); n");
    EXPECT_EQ(slept.result.result, "1");
    Outcome failing = RunScript("ontimer = function () { throw 'bad' }; settimer(2); sleep(40); 'done'");
    EXPECT_EQ(failing.printed, "ontimer: bad\n");
    EXPECT_EQ(failing.result.result, "done");
    Outcome none = RunScript("settimer(2); sleep(30); 'quiet'");
    EXPECT_EQ(none.printed, "");
}

TEST(ScriptHost, StackOverflowAndOutOfMemoryEndTheScript) {
    Outcome deep = RunScript("function f(n) { return f(n + 1) + 1 } f(0)");
    EXPECT_FALSE(deep.result.ok);
    EXPECT_NE(deep.printed.find("too much recursion"), std::string::npos) << deep.printed;
    Outcome caught = RunScript("function f() { f() } try { f() } catch (e) { 'caught ' + e.name }");
    EXPECT_EQ(caught.result.result, "caught InternalError");
    ScriptRunOptions small;
    small.heapLimit = 48u << 20;
    small.timeLimit = std::chrono::seconds(60);
    Outcome big = RunScript("var a = []; while (true) a.push({x: a.length, y: [1, 2, 3]});", small);
    EXPECT_FALSE(big.result.ok);
    EXPECT_FALSE(big.result.stopped && big.printed.find("out of memory") == std::string::npos);
    EXPECT_EQ(big.printed, "JavaScript Error: out of memory.\nJavaScript Error: Execution failed.\n");
    Outcome huge = RunScript("var s = 'x'; while (true) s = s + s;");
    EXPECT_NE(huge.printed.find("allocation size overflow"), std::string::npos) << huge.printed;
    EXPECT_EQ(RunScript("'alive'").result.result, "alive");
}

TEST(ScriptHost, ScriptArgumentsAndExtensions) {
    CScriptHost host;
    host.AddExtension([](JSContext* cx, JSObject* global) {
        JS::RootedObject g(cx, global);
        return JS_DefineProperty(cx, g, "extra", 7, JSPROP_READONLY);
    });
    ScriptRunOptions options;
    options.arguments = {"a", "\u00fc"};
    EXPECT_EQ(host.Run("scriptArgs.join('|') + extra", options).result, "a|\u00fc7");
}

} // namespace
