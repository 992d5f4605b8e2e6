// Printing from the main window: the options dialog and its settings, the
// preview window and its hand-over to printing, PDF files printed through the
// printer and through "Als PDF drucken", read back with pdftotext.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/commands.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/printui.h"
#include "ui/settings.h"

using namespace zt::ui;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;

namespace {

// The text of each sheet of a PDF file (pdftotext separates sheets by form
// feeds); empty when the tool is missing.
QStringList Sheets(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    while (text.endsWith(QLatin1Char('\f')) || text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text.split(QLatin1Char('\f'));
}

bool HavePdfToText() { return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(); }

// A long text: enough paragraphs for more than one sheet.
std::string LongRtf(const std::string& word, int paragraphs) {
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    for (int i = 1; i <= paragraphs; ++i) rtf += word + " Zeile " + std::to_string(i) + "\\par ";
    return rtf + "}";
}

class Printing : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        CZTDocument& doc = frame->Document();
        first = doc.Tree().FirstRootPage();
        doc.RenamePage(first, "\xC4pfel");             // "Äpfel"
        doc.SetPageText(first, "{\\rtf1\\ansi Gr\\'fc\\'dfe aus M\\'fcnchen\\par}");
        child = doc.AddPage(first, "Lange Seite");
        doc.SetPageText(child, LongRtf("Lang", 90));
        second = doc.AddPage(nullptr, "Zweite");
        doc.SetPageText(second, "{\\rtf1 kurz zwei\\par}");
        third = doc.AddPage(nullptr, "Dritte");
        doc.SetPageText(third, "{\\rtf1 kurz drei\\par}");
        frame->TreeView()->SelectPage(second);
        P().runOptions = [this](CZTPrintOptionsDialog& d) {
            seenOptions = {d.subtreeBox->text(), d.subtreeBox->isEnabled(), d.subtreeBox->isChecked(),
                           d.titlesBox->isChecked(), d.headerBox->isChecked()};
            if (!answer) return false;
            if (d.subtreeBox->isEnabled()) d.subtreeBox->setChecked(answer->subtree);
            d.titlesBox->setChecked(answer->titles);
            d.headerBox->setChecked(answer->header);
            return true;
        };
        P().runPrinterDialog = [this](QPrinter& printer, int maxSheet) {
            offeredMax.push_back(maxSheet);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printed);
            printer.setPrintRange(QPrinter::AllPages);
            return true;
        };
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    CZTPrintUi& P() { return *frame->Printing(); }
    void Run(int id) {
        frame->UpdateCommandUI();
        frame->Execute(id);
        QApplication::processEvents();
    }

    struct Seen {
        QString firstText;
        bool firstEnabled = false, subtree = false, titles = false, header = false;
    };
    struct Answer {
        bool subtree = false, titles = false, header = false;
    };
    std::optional<Answer> answer = Answer{};
    Seen seenOptions;
    std::vector<int> offeredMax;
    ScriptedPrompter prompter;
    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    TempDir t;
    QString printed = QString::fromStdString(t.path() + "/gedruckt.pdf");
    CZTPageNode *first = nullptr, *child = nullptr, *second = nullptr, *third = nullptr;
};

TEST_F(Printing, OptionsDialogStartsFromTheSettingsAndKeepsOnlyTheHeaderChoice) {
    struct Case {
        int id, drag, caption, header;
        const char* firstText;
        bool firstEnabled, subtree;
    } cases[] = {
        {ID_FILE_PRINT, 1, 0, 1, "Document", false, true},
        {ID_FILE_PRINT_PREVIEW, 0, 1, 0, "Document", false, true},
        {ID_PAGE_PRINT, 1, 0, 0, "&Unterbaum", true, false},
        {ID_PAGE_PREVIEW, 0, 1, 1, "&Unterbaum", true, true},
    };
    answer.reset(); // Abbrechen: nothing printed, no setting changed
    for (const Case& c : cases) {
        settings.prefs.drag = c.drag;
        settings.prefs.caption = c.caption;
        settings.prefs.header = c.header;
        Run(c.id);
        EXPECT_EQ(seenOptions.firstText, QString::fromLatin1(c.firstText)) << c.id;
        EXPECT_EQ(seenOptions.firstEnabled, c.firstEnabled) << c.id;
        EXPECT_EQ(seenOptions.subtree, c.subtree) << c.id;
        EXPECT_EQ(seenOptions.titles, c.caption != 0) << c.id;
        EXPECT_EQ(seenOptions.header, c.header != 0) << c.id;
        EXPECT_EQ(settings.prefs.header, c.header) << c.id;
    }
    EXPECT_TRUE(offeredMax.empty());
    EXPECT_FALSE(QFileInfo::exists(printed));
    // Confirmed: the header choice is stored, the titles choice is not.
    answer = Answer{false, true, false};
    settings.prefs.header = 1;
    settings.prefs.caption = 0;
    Run(ID_PAGE_PRINT);
    EXPECT_EQ(settings.prefs.header, 0);
    EXPECT_EQ(settings.prefs.caption, 0);
    EXPECT_EQ(offeredMax, std::vector<int>{-1});
}

TEST_F(Printing, PreviewCountsOneSheetPerComposedPageAndHandsOverToPrinting) {
    // Only the three short root pages: "Äpfel" alone is one sheet, its long
    // child two or more.
    frame->Document().DeletePage(child, true);
    answer = Answer{false, true, true};
    int shown = -1;
    P().runPreview = [&](CZTPrintPreviewDialog& d) {
        shown = d.SheetCount();
        EXPECT_EQ(d.CurrentSheet(), 1);
        EXPECT_FALSE(d.previousButton->isEnabled());
        QTest::keyClick(&d, Qt::Key_PageDown);
        EXPECT_EQ(d.CurrentSheet(), 2);
        d.printButton->click();
    };
    Run(ID_FILE_PRINT_PREVIEW);
    EXPECT_EQ(shown, 3);
    // The main window prints with the preview's options on the next turn,
    // offering the sheets the preview found, once.
    QApplication::processEvents();
    ASSERT_EQ(offeredMax, std::vector<int>{3});
    EXPECT_EQ(P().KnownPageCount(), -1);
    if (!HavePdfToText()) GTEST_SKIP() << "pdftotext (poppler-utils) missing";
    const QStringList sheets = Sheets(printed);
    ASSERT_EQ(sheets.size(), 3) << sheets.join(QStringLiteral("|")).toStdString();
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("1 Äpfel"))) << sheets[0].toStdString();
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("Grüße aus München")));
    EXPECT_TRUE(sheets[1].contains(QStringLiteral("2 Zweite")));
    EXPECT_TRUE(sheets[2].contains(QStringLiteral("kurz drei")));
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(sheets[n].contains(QStringLiteral("Seite %1").arg(n + 1))) << n;
}

TEST_F(Printing, PreviewOfOnePageAndOfItsSubtree) {
    frame->TreeView()->SelectPage(first);
    int shown = -1;
    P().runPreview = [&](CZTPrintPreviewDialog& d) { shown = d.SheetCount(); };
    answer = Answer{false, false, false};
    Run(ID_PAGE_PREVIEW);
    EXPECT_EQ(shown, 1);
    answer = Answer{true, false, false};
    Run(ID_PAGE_PREVIEW);
    EXPECT_GE(shown, 3); // the page, then its long child on two sheets or more
    EXPECT_EQ(P().PreviewJob().mode, zt::print::ComposeMode::Subtree);
    // Closed without printing: nothing is printed afterwards.
    QApplication::processEvents();
    EXPECT_TRUE(offeredMax.empty());
}

TEST_F(Printing, PreviewThatCannotBeMadeSaysSo) {
    P().previewPossible = [] { return false; };
    Run(ID_FILE_PRINT_PREVIEW);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "Befehl fehlgeschlagen.");
}

TEST_F(Printing, SubtreeOnThePrinterWithHeadersFootersAndPageNumbers) {
    if (!HavePdfToText()) GTEST_SKIP() << "pdftotext (poppler-utils) missing";
    frame->TreeView()->SelectPage(first);
    answer = Answer{true, true, true};
    Run(ID_PAGE_PRINT);
    const QStringList sheets = Sheets(printed);
    ASSERT_GE(sheets.size(), 3) << sheets.join(QStringLiteral("|")).toStdString();
    // The first composed page alone on sheet 1, the long child from sheet 2
    // on: its heading above every one of its sheets, the sheet numbers below.
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("Grüße aus München")));
    EXPECT_FALSE(sheets[0].contains(QStringLiteral("Lang Zeile")));
    EXPECT_TRUE(sheets[1].contains(QStringLiteral("Lang Zeile 1")));
    for (int n = 0; n < sheets.size(); ++n) {
        const QString heading = n == 0 ? QStringLiteral("1 Äpfel") : QStringLiteral("1.1 Lange Seite");
        const QString firstLine = sheets[n].section(QLatin1Char('\n'), 0, 0, QString::SectionSkipEmpty);
        EXPECT_TRUE(firstLine.contains(heading)) << n << ": " << firstLine.toStdString();
        EXPECT_TRUE(sheets[n].contains(QStringLiteral("Seite %1").arg(n + 1))) << n;
        EXPECT_TRUE(sheets[n].contains(frame->DocumentTitle())) << n;
    }
    EXPECT_FALSE(sheets.join(QString()).contains(QStringLiteral("Zweite")));
}

TEST_F(Printing, AlsPdfDruckenWritesTheWholeDocument) {
    if (!HavePdfToText()) GTEST_SKIP() << "pdftotext (poppler-utils) missing";
    const QString pdf = QString::fromStdString(t.path() + "/dokument");
    QString suggested;
    P().choosePdfFile = [&](const QString& suggestion) {
        suggested = suggestion;
        return pdf;
    };
    answer = Answer{false, false, false};
    Run(ID_FILE_PRINT_PDF);
    EXPECT_TRUE(suggested.endsWith(QStringLiteral(".pdf")));
    const QStringList sheets = Sheets(pdf + QStringLiteral(".pdf"));
    ASSERT_GE(sheets.size(), 5) << sheets.join(QStringLiteral("|")).toStdString();
    // Without titles and header lines: only the texts, each page on new sheets.
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("Grüße aus München")));
    EXPECT_FALSE(sheets.join(QString()).contains(QStringLiteral("Seite 1")));
    EXPECT_TRUE(sheets[1].startsWith(QStringLiteral("Lang Zeile 1")) || sheets[1].trimmed().startsWith(QStringLiteral("Lang Zeile 1")));
    EXPECT_EQ(sheets[sheets.size() - 2].trimmed(), QStringLiteral("kurz zwei"));
    EXPECT_EQ(sheets.last().trimmed(), QStringLiteral("kurz drei"));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(Printing, AlsPdfDruckenIntoAnUnwritablePlaceReportsAndLeavesNothing) {
    P().choosePdfFile = [&](const QString&) { return QString::fromStdString(t.path() + "/fehlt/x.pdf"); };
    Run(ID_FILE_PRINT_PDF);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(t.path() + "/fehlt/x.pdf")));
}

} // namespace
