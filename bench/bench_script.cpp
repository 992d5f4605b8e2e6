// Scripts over the document objects: walking 3,000 pages and reading every
// title (goal: at most 0.2 s), and creating 10,000 pages from a script
// against the same work through the C++ tree operations (goal: at most 2 x).
// Prints a Markdown table.
#include "benchutil.h"
#include "docgen.h"

#include "base/prompter.h"
#include "core/document.h"
#include "script/headlessenv.h"
#include "script/scripthost.h"

#include <QGuiApplication>

#include <jsapi.h>
#include <js/Conversions.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <string>

namespace {

// "nowSeconds()": a steady clock in seconds for timing inside a script.
bool NowSeconds(JSContext* cx, unsigned argc, JS::Value* vp) {
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setDouble(std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
    return true;
}

double RunScript(CZTDocument& doc, const std::string& source, std::string& result) {
    zt::script::CHeadlessEnvironment env(doc);
    zt::script::CScriptHost host;
    host.AddExtension([](JSContext* cx, JSObject* global) {
        JS::RootedObject g(cx, global);
        return JS_DefineFunction(cx, g, "nowSeconds", NowSeconds, 0, 0) != nullptr;
    });
    host.SetEnvironment(&env);
    host.SetOutput([](const std::string& s) { std::fputs(s.c_str(), stderr); });
    double seconds = zt::bench::BestSeconds(1, [&] { result = host.Run(source).result; });
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    zt::SilentPrompter prompter;

    std::printf("| figure | seconds | against | ratio | goal |\n|---|---|---|---|---|\n");

    // Walk and read every title.
    {
        CZTDocument doc(prompter);
        zt::bench::DocLayout layout;
        layout.pages = 3000;
        layout.textBytes = 200;
        zt::bench::Generate(doc, layout);
        const std::string walk =
            "var n = 0, len = 0; for (var p = ztDocument.GetPage(); p; p = p.GetNext()) { n++; len += p.title.length; }"
            " n";
        std::string result;
        double best = 1e30;
        for (int i = 0; i < 5; ++i) best = std::min(best, RunScript(doc, walk, result));
        double tree = zt::bench::BestSeconds(5, [&] {
            size_t len = 0;
            CZTPageWalker walker(doc.Tree());
            CZTWalkStep step;
            while (walker.NextInWalk(step)) len += step.node->Title().size();
            if (len == 0) std::abort();
        });
        std::printf("| script walks %s pages reading every title (whole run: engine set-up included) | %.4f |"
                    " C++ walk %.5f s | | <= 0.2 s |\n",
                    result.c_str(), best, tree);
    }

    // The engine's set-up and tear-down of one run.
    double empty = 1e30;
    {
        CZTDocument doc(prompter);
        doc.New();
        std::string result;
        for (int i = 0; i < 9; ++i) empty = std::min(empty, RunScript(doc, "1", result));
        std::printf("| an empty script (engine set-up and tear-down) | %.4f | | | |\n", empty);
    }

    // Create 10,000 pages, the script and the C++ operations taking turns
    // so that both meet the allocator in the same state; best of each.
    {
        const int n = 10000;
        double script = 1e30, loop = 1e30, native = 1e30, paths = 0;
        const std::string create = "var t = nowSeconds(), p = ztDocument.GetPage(); for (var i = 0; i < " +
                                   std::to_string(n) + "; i++) p = p.NewPage(false, 'Seite ' + i); nowSeconds() - t";
        for (int i = 0; i < 9; ++i) {
            {
                CZTDocument doc(prompter);
                doc.New();
                CZTPageNode* p = doc.AddPage(nullptr, "Start");
                native = std::min(native, zt::bench::BestSeconds(1, [&] {
                    for (int k = 0; k < n; ++k) {
                        p = doc.InsertPage(p, CZTPageTree::Placement::AsNeighbour, "Seite " + std::to_string(k));
                        doc.SetModified();
                    }
                }));
                if (doc.Tree().CountPages() != size_t(n + 1)) std::abort();
            }
            CZTDocument doc(prompter);
            doc.New();
            doc.AddPage(nullptr, "Start");
            std::string result;
            script = std::min(script, RunScript(doc, create, result));
            loop = std::min(loop, std::atof(result.c_str()));
            if (doc.Tree().CountPages() != size_t(n + 1) || doc.Tree().RootPages().back()->Title() != "Seite 9999") {
                std::fprintf(stderr, "the script did not make the pages\n");
                return 1;
            }
            if (i == 0) {
                paths = RunScript(doc, "ztDocument.GetPagesSubtree().length", result);
                if (result != std::to_string(n + 1)) return 1;
            }
        }
        std::printf("| script creates %d pages: the loop (nowSeconds() around it) | %.4f | C++ InsertPage %.4f s |"
                    " %.2f | <= 2 |\n",
                    n, loop, native, loop / native);
        std::printf("| script creates %d pages: the whole run, engine set-up and tear-down included | %.4f |"
                    " C++ InsertPage %.4f s | %.2f | |\n",
                    n, script, native, script / native);
        std::printf("| script lists the link paths of %d pages of one level | %.4f | | | |\n", n + 1, paths);
    }
    return 0;
}
