// A small document for the object model and text object tests, run headless:
//
//   /Alpha            text "Alpha text", files notes.txt ("hello") and data.bin
//     /Alpha/A1
//     /Alpha/A2
//       /Alpha/A2/Deep
//   /Beta
//   /Gamma v1.0       (link name "Gamma+v1%2E0")
//   /Formatted        "plain bold italic" / "centred" (centred) / "indented"
//                     (720 twips), Arial 12 with a bold and a red italic word
//
// Answer() runs a script and gives its completion value, or "! " and the
// report without the "JavaScript Error" lines and the "t.js:N: " prefix.
#pragma once

#include "core/attachedfiles.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "script/headlessenv.h"
#include "script/scripthost.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

namespace zt::test {

class ScriptDocument : public ::testing::Test {
protected:
    void SetUp() override {
        doc.New();
        CZTPageNode* alpha = doc.AddPage(nullptr, "Alpha");
        doc.AddPage(alpha, "A1");
        CZTPageNode* a2 = doc.AddPage(alpha, "A2");
        doc.AddPage(a2, "Deep");
        doc.AddPage(nullptr, "Beta");
        doc.AddPage(nullptr, "Gamma v1.0");
        CZTPageNode* formatted = doc.AddPage(nullptr, "Formatted");
        doc.SetPageText(alpha, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Alpha text\\par}");
        doc.SetPageText(formatted, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}"
                                   "{\\colortbl;\\red255\\green0\\blue0;}"
                                   "\\f0\\fs24 plain {\\b bold} {\\i\\cf1 italic}\\par"
                                   "\\qc centred\\par\\pard\\li720 indented\\par}");
        zt::StoreFile(doc, alpha, "notes.txt", "hello", 1000);
        zt::StoreFile(doc, alpha, "data.bin", std::string("\0\1\2\3", 4), 1000);
        doc.Tree().ResetMarks([&](int32_t ident) { return doc.Archive().FileCount(ident) > 0; });
        doc.Archive().SetModified(false);
        env = std::make_unique<zt::script::CHeadlessEnvironment>(doc);
        host.SetEnvironment(env.get());
        host.SetOutput([this](const std::string& s) { printed += s; });
    }

    CZTPageNode* Page(const std::string& path) { return zt::ResolvePath(doc.Tree(), nullptr, path); }

    // Runs `source` with "$T" replaced by the scratch directory.
    std::string Answer(std::string source) {
        for (size_t at; (at = source.find("$T")) != std::string::npos;) source.replace(at, 2, dir.path());
        printed.clear();
        zt::script::ScriptRunOptions options;
        options.fileName = "t.js";
        zt::script::ScriptRunResult r = host.Run(source, options);
        if (r.ok) return printed.empty() ? r.result : printed + "|" + r.result;
        std::string report;
        static const std::regex noise("JavaScript Error: (Uncaught exception|Execution failed)\\.\n");
        static const std::regex where("(^|\n)t\\.js:[0-9]+: ");
        report = std::regex_replace(printed, noise, "");
        report = std::regex_replace(report, where, "$1");
        while (!report.empty() && report.back() == '\n') report.pop_back();
        return "! " + report;
    }

    zt::test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    std::unique_ptr<zt::script::CHeadlessEnvironment> env;
    zt::script::CScriptHost host;
    std::string printed;
    TempDir dir;
};

} // namespace zt::test
