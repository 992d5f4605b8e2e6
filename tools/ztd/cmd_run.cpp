// ztd run: a JavaScript program over a document, without windows. The text
// objects work on the current page (the first page at the start) loaded into
// an offscreen text document. What the script prints and the error reports
// (file, line, message) go to standard output in the order they happen.
#include "ztd.h"

#include "base/messages.h"
#include "script/headlessenv.h"
#include "script/scripthost.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace ztd {
namespace {

// The text documents need fonts, which need a QGuiApplication; the
// offscreen platform needs no display.
void EnsureGuiApplication() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static int argc = 1;
    static char name[] = "ztd";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
}

int Run(Context& c, const Args& a) {
    const std::string& scriptPath = a.positional[2];
    std::chrono::milliseconds limit{0};
    if (a.Has("--timeout")) {
        const std::string value = a.Get("--timeout");
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end || !(seconds > 0) || seconds > 1e6)
            return c.Fail(zt::FormatMessage(zt::Msg::ScriptRunBadTimeout, {value}));
        limit = std::chrono::milliseconds(std::max<int64_t>(1, std::llround(seconds * 1000)));
    }
    std::string source;
    if (!ReadFileBytes(scriptPath, source))
        return c.Fail(zt::FormatMessage(zt::Msg::ScriptRunUnreadable, {scriptPath}));
    if (!c.Open(a.positional[1])) return kDocError;
    EnsureGuiApplication();

    zt::script::CHeadlessEnvironment env(c.doc);
    zt::script::CScriptHost host;
    host.SetEnvironment(&env);
    host.SetOutput([](const std::string& text) { std::cout << text << std::flush; });
    zt::script::ScriptRunOptions options;
    options.fileName = scriptPath;
    options.timeLimit = limit;
    options.arguments.assign(a.positional.begin() + 3, a.positional.end());
    const zt::script::ScriptRunResult r = host.Run(source, options);
    env.StoreCurrentPage();
    // The completion value, as the console shows it.
    if (r.ok && !r.result.empty()) std::cout << r.result << "\n";
    if (!r.ok) {
        if (r.stopped && limit.count() > 0)
            std::cerr << "Fehler: " << zt::FormatMessage(zt::Msg::ScriptRunTimedOut, {a.Get("--timeout")}) << "\n";
        return kDocError;
    }
    if (a.Has("--save") && c.doc.IsModified()) return c.SaveBack();
    return kOk;
}

} // namespace

void AddRunCommands(std::vector<Command>& commands) {
    commands.push_back({"run", 2, Run, "run DOC SCRIPT [ARG...] [--timeout S] [--save]  JavaScript über dem Dokument ausführen",
                        "--timeout --save"});
}

} // namespace ztd
