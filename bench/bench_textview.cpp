// Switching the text view between two pages of about 1 MB of RTF each, as a
// click in the tree does: the unchanged page is not stored again, the other
// one is shown from the document the view kept of it. Also the first show of
// a page (read and laid out) and the switch after an edit (the page is stored
// with the twin pass first, the other one read again). Prints a Markdown table. Runs on Qt's
// offscreen platform unless another is set.
#include <QApplication>
#include <QTextCursor>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/prompter.h"
#include "core/document.h"
#include "ui/settings.h"
#include "ui/textview.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Page RTF of about `bytes` bytes: paragraphs with bold, italic and coloured
// words in two fonts.
std::string PageRtf(size_t bytes, int seed) {
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset0 "
                      "Courier New;}}{\\colortbl ;\\red200\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs24 ";
    unsigned n = unsigned(seed);
    while (rtf.size() < bytes) {
        for (int w = 0; w < 14; ++w) {
            n = n * 1103515245u + 12345u;
            const unsigned k = (n >> 16) % 9;
            const std::string word = "wort" + std::to_string(n % 1000);
            if (k == 0)
                rtf += "{\\b " + word + "} ";
            else if (k == 1)
                rtf += "{\\i " + word + "} ";
            else if (k == 2)
                rtf += "{\\cf1 " + word + "} ";
            else if (k == 3)
                rtf += "{\\f1 " + word + "} ";
            else
                rtf += word + " ";
        }
        rtf += "\\par\r\n";
    }
    return rtf + "}\r\n";
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    zt::SilentPrompter prompter(true);
    CZTDocument doc(prompter);
    doc.New();
    CZTPageNode* a = doc.AddPage(nullptr, "A");
    CZTPageNode* b = doc.AddPage(nullptr, "B");
    const std::string ra = PageRtf(1 << 20, 1), rb = PageRtf(1 << 20, 2);
    doc.SetPageText(a, ra);
    doc.SetPageText(b, rb);
    // Pages shown once each: the view reads and lays them out.
    std::vector<CZTPageNode*> once;
    for (int i = 0; i < 5; ++i) {
        once.push_back(doc.AddPage(nullptr, "C" + std::to_string(i)));
        doc.SetPageText(once.back(), PageRtf(1 << 20, 10 + i));
    }
    zt::ui::CZTPreferences prefs;
    zt::ui::CZettrixView view(doc, prefs);
    view.resize(800, 600);
    view.show();
    view.ShowPage(a);
    QApplication::processEvents();

    using Clock = std::chrono::steady_clock;
    std::vector<double> plain, edited;
    CZTPageNode* pages[2] = {b, a};
    for (int round = 0; round < 6; ++round) {
        auto t = Clock::now();
        view.ShowPage(pages[round % 2]);
        QApplication::processEvents();
        plain.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    std::vector<double> first;
    for (CZTPageNode* p : once) {
        auto t = Clock::now();
        view.ShowPage(p);
        QApplication::processEvents();
        first.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    view.ShowPage(a);
    QApplication::processEvents();
    for (int round = 0; round < 4; ++round) {
        QTextCursor c = view.textCursor();
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral("x"));
        auto t = Clock::now();
        view.ShowPage(pages[round % 2]);
        QApplication::processEvents();
        edited.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    std::printf("Two pages of %.1f and %.1f MB RTF; %d characters in the view.\n\n", ra.size() / 1048576.0,
                rb.size() / 1048576.0, view.document()->characterCount());
    std::printf("| switch | median ms | goal ms |\n|---|---|---|\n");
    std::printf("| between two pages shown before (neither changed) | %.1f | 100 |\n", Median(plain));
    std::printf("| to a page not shown before (read and laid out) | %.1f | |\n", Median(first));
    std::printf("| after an edit (store with twin pass, then load) | %.1f | |\n", Median(edited));
    doc.Archive().SetModified(false);
    return 0;
}
