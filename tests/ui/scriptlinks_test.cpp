// Scripts started from links in a page and from the command line: which
// links name a script, the question asked once per document (and only for
// links), the window taking no input while a link's script runs, and
// `zettrix -js` running a script over the opened document.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "base/messages.h"
#include "base/prompter.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "text/qt/linkmarker.h"
#include "ui/commandline.h"
#include "ui/commands.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/scriptconsole.h"
#include "ui/scriptlinks.h"
#include "ui/settings.h"
#include "ui/textview.h"

using namespace zt::ui;

namespace {

class ScriptLinks : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->resize(900, 700);
        frame->show();
        QApplication::setActiveWindow(frame.get());
        QTest::qWaitForWindowExposed(frame.get());
        CZTDocument& doc = frame->Document();
        note = doc.Tree().FirstRootPage();
        tools = doc.AddPage(nullptr, "Skripte");
        ASSERT_TRUE(zt::StoreFile(doc, tools, "hallo.js", "print('hallo\\n'); 'fertig'", 100));
        ASSERT_TRUE(zt::StoreFile(doc, tools, "notiz.txt", "kein Script", 100));
        CZTPageNode* page = doc.AddPage(tools, "Seite");
        doc.SetPageText(page, "{\\rtf1\\ansi print('von der Seite\\\\n'); 'Seite'\\par}");
        CZTPageNode* loop = doc.AddPage(tools, "Schleife");
        doc.SetPageText(loop, "{\\rtf1\\ansi while (true) \\{\\}\\par}");
        fileScript = QString::fromStdString(dir / "datei.js");
        QFile f(fileScript);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("print('aus der Datei\\n'); 'Datei'");
        f.close();
        Show(note);
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    void Show(CZTPageNode* p) {
        frame->TreeView()->SelectPage(p);
        frame->TextView()->setFocus();
        frame->TextView()->SetActive(true);
    }
    // Writes the link into the shown page and follows it with the command.
    void Follow(const QString& link) {
        CZettrixView* view = frame->TextView();
        QTextCursor c(view->document());
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral("\n") + link + QStringLiteral(" "));
        c.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, 2);
        view->setTextCursor(c);
        ASSERT_TRUE(frame->IsCommandEnabled(ID_FOLLOW_LINK)) << link.toStdString();
        frame->Execute(ID_FOLLOW_LINK);
        QApplication::processEvents();
    }
    CZTScriptConsole* Console() const {
        return frame->findChild<CZTScriptConsole*>(QString(), Qt::FindDirectChildrenOnly);
    }
    QString Output() const { return Console() ? Console()->Output()->toPlainText() : QString(); }
    static std::string Question(const std::string& address) {
        return zt::FormatMessage(zt::Msg::ScriptLinkQuestion, {address});
    }

    zt::test::TempDir dir;
    zt::test::ScriptedPrompter prompter;
    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    CZTPageNode* note = nullptr;
    CZTPageNode* tools = nullptr;
    QString fileScript;
};

} // namespace

TEST_F(ScriptLinks, WhichLinksNameAScript) {
    const CZTPageTree& tree = frame->Document().Tree();
    struct Case {
        const char* link;
        const CZTPageNode* current;
        const char* address; // "" : no script, followed as before
    };
    const Case cases[] = {
        {"ztf:/Skripte/hallo.js", nullptr, "ztf:/?/Skripte/hallo.js"},      // an attached script
        {"  ztf:/Skripte/hallo.js ", nullptr, "ztf:/?/Skripte/hallo.js"},   // trimmed
        {"ztf:hallo.js", tools, "ztf:/?/Skripte/hallo.js"},                 // a file of the current page
        {"ZTF:/Skripte/Hallo.JS", nullptr, "ztf:/?/Skripte/Hallo.JS"},      // any case
        {"ztf:/Skripte/notiz.txt", nullptr, ""},                            // an ordinary file
        {"ztf:/Fehlt/a.js", nullptr, ""},                                   // no such page: told as before
        {"zt:/Skripte", nullptr, ""},                                       // a page link
        {"zt:/?/Skripte/Seite", nullptr, "zt:/?/Skripte/Seite"},            // a script page
        {"zt:/home/u/a.ztd;/P", nullptr, "zt:/home/u/a.ztd;/P"},            // of another document
        {"ztf:/home/u/a.ztd?/P/b.txt", nullptr, "ztf:/home/u/a.ztd?/P/b.txt"},
        {"file:/tmp/x.js", nullptr, "file:/tmp/x.js"},
        {"file:/tmp/x.txt", nullptr, ""},
        {"http://example.org/a.js", nullptr, ""},
        {"", nullptr, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptAddressOfLink(c.link, tree, c.current), c.address) << c.link;
}

TEST_F(ScriptLinks, AnAttachedScriptAsksOnceThenRuns) {
    prompter.answers = {true};
    Follow(QStringLiteral("ztf:/Skripte/hallo.js"));
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], Question("ztf:/?/Skripte/hallo.js"));
    EXPECT_EQ(prompter.questions[0].rfind("Dieses Dokument möchte ein Script ausführen:", 0), 0u);
    ASSERT_NE(Console(), nullptr);
    EXPECT_TRUE(Console()->isVisible());
    EXPECT_EQ(Output(), "hallo\nfertig\n");
    // The answer holds for this document: other script links run at once.
    Follow(QStringLiteral("ztf:/Skripte/hallo.js"));
    Follow(QStringLiteral("zt:/?/Skripte/Seite"));
    Follow(QStringLiteral("file:") + fileScript);
    EXPECT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(Output(), "hallo\nfertig\nhallo\nfertig\nvon der Seite\nSeite\naus der Datei\nDatei\n");
    // The page of the link is still shown, and its link is still text.
    EXPECT_EQ(frame->TreeView()->CurrentPage(), note);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ScriptLinks, ARefusedScriptDoesNotRunAndIsNotAskedForAgain) {
    prompter.answers = {false};
    Follow(QStringLiteral("ztf:/Skripte/hallo.js"));
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(Output(), "");
    EXPECT_TRUE(Console() == nullptr || !Console()->isVisible());
    prompter.defaultAnswer = true; // would allow it, but is not asked
    Follow(QStringLiteral("zt:/?/Skripte/Seite"));
    EXPECT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(Output(), "");
    // Another document asks again.
    frame->Document().Archive().SetModified(false);
    frame->NewDocument();
    Show(frame->Document().Tree().FirstRootPage());
    const size_t before = prompter.questions.size();
    prompter.answers = {true};
    Follow(QStringLiteral("file:") + fileScript);
    ASSERT_EQ(prompter.questions.size(), before + 1);
    EXPECT_EQ(prompter.questions.back(), Question("file:" + fileScript.toStdString()));
    EXPECT_EQ(Output(), "aus der Datei\nDatei\n");
}

TEST_F(ScriptLinks, AnUnreadableScriptIsToldWithoutAQuestion) {
    Follow(QStringLiteral("file:/nirgends/x.js"));
    EXPECT_TRUE(prompter.questions.empty());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "File not found '/nirgends/x.js'");
    prompter.messages.clear();
    Follow(QStringLiteral("zt:/?/Skripte/Fehlt"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "Page not found '/Skripte/Fehlt'");
    EXPECT_TRUE(prompter.questions.empty());
}

TEST_F(ScriptLinks, WhileALinksScriptRunsTheWindowTakesNoInputAndStaysOpen) {
    prompter.answers = {true};
    bool lockedWhileRunning = false, closeRefused = false, secondIgnored = false;
    QTimer::singleShot(200, [&] {
        lockedWhileRunning = !frame->centralWidget()->isEnabled() && !frame->menuBar()->isEnabled() &&
                             !frame->TextView()->LinkMarker()->IsEnabled() && Console()->StopButton()->isEnabled();
        closeRefused = !frame->close();
        // A second script link is ignored while one runs.
        Console()->Output()->clear();
        secondIgnored = !RunScriptAddress(*frame, QStringLiteral("ztf:/?/Skripte/hallo.js")) && Output().isEmpty();
        QTest::mouseClick(Console()->StopButton(), Qt::LeftButton);
    });
    Follow(QStringLiteral("zt:/?/Skripte/Schleife"));
    EXPECT_TRUE(lockedWhileRunning);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(secondIgnored);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->centralWidget()->isEnabled());
    EXPECT_TRUE(frame->menuBar()->isEnabled());
    EXPECT_TRUE(frame->TextView()->LinkMarker()->IsEnabled());
    EXPECT_EQ(Output(), "JavaScript Error: Execution failed.\n");
}

TEST_F(ScriptLinks, ScriptsTheUserStartsNeverAsk) {
    // The console.
    auto* console = ShowScriptConsole(*frame);
    ASSERT_TRUE(console->ChooseScript(QStringLiteral("/Skripte/Seite")));
    EXPECT_TRUE(console->Start());
    // The command line, with a path relative to the working directory.
    const CZTCommandLine cl =
        CZTCommandLine::Parse({QStringLiteral("-js"), QStringLiteral("datei.js"), QStringLiteral("Notizen.ztd")});
    EXPECT_TRUE(cl.errors.isEmpty());
    EXPECT_EQ(cl.script, "datei.js");
    EXPECT_EQ(cl.file, "Notizen.ztd");
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    const QString address = ScriptAddressOfArgument(cl.script);
    QDir::setCurrent(cwd);
    EXPECT_EQ(address, QStringLiteral("file:") + fileScript);
    EXPECT_TRUE(RunScriptAddress(*frame, address));
    EXPECT_EQ(ScriptAddressOfArgument(QStringLiteral("ztf:/?/Skripte/hallo.js")), "ztf:/?/Skripte/hallo.js");
    EXPECT_TRUE(RunScriptAddress(*frame, QStringLiteral("ztf:/?/Skripte/hallo.js")));
    EXPECT_TRUE(prompter.questions.empty());
    EXPECT_EQ(Output(), "von der Seite\nSeite\naus der Datei\nDatei\nhallo\nfertig\n");
}

// The program itself: the script runs over the document named on the
// command line, once it is open, and `quit` then ends the program.
TEST(ScriptStartOption, RunsTheScriptOverTheOpenedDocument) {
    zt::test::TempDir dir;
    const std::string path = dir / "Notizen.ztd";
    {
        zt::SilentPrompter silent;
        CZTDocument doc(silent);
        doc.AddPage(nullptr, "Alt");
        ASSERT_TRUE(doc.Save(path));
    }
    const std::string script = dir / "start.js";
    {
        QFile f(QString::fromStdString(script));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ztActivePage.GetPage().title = 'Vom Start'; ztDocument.Save();");
    }
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    program.start(ZT_ZETTRIX_BIN, {QStringLiteral("-js"), QStringLiteral("start.js"), QString::fromStdString(path),
                                   QStringLiteral("-quit")});
    ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    zt::SilentPrompter silent;
    CZTDocument doc(silent);
    ASSERT_TRUE(doc.Open(path));
    ASSERT_NE(doc.Tree().FirstRootPage(), nullptr);
    EXPECT_EQ(doc.Tree().FirstRootPage()->Title(), "Vom Start");
}
