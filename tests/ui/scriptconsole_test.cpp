// The script console over the real main window: a script page chosen in the
// console changes the current page, and the text view shows it at once;
// "Stop" ends an endless loop while the window keeps answering.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "core/document.h"
#include "core/pagepaths.h"
#include "support/scripted_prompter.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/scriptconsole.h"
#include "ui/settings.h"
#include "ui/textview.h"

using namespace zt::ui;

namespace {

class ScriptConsole : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        QTest::qWaitForWindowExposed(frame.get());
        CZTDocument& doc = frame->Document();
        CZTPageNode* note = doc.Tree().FirstRootPage();
        frame->TreeView()->SelectPage(note);
        CZTPageNode* script = doc.AddPage(nullptr, "Skript");
        doc.SetPageText(script, "{\\rtf1\\ansi var p = ztActivePage.GetPage();\\par "
                                "p.title = 'Vom Skript ge\\'e4ndert';\\par "
                                "ztActivePage.SetText('Text aus dem Skript', ztActivePage.Content());\\par "
                                "ztActivePage.SetFontBold(true, new ZTRange(0, 4));\\par "
                                "print('fertig\\\\n'); p.fullName\\par}");
        CZTPageNode* loop = doc.AddPage(nullptr, "Schleife");
        doc.SetPageText(loop, "{\\rtf1\\ansi print('los\\\\n'); while (true) \\{\\}\\par}");
        console = std::make_unique<CZTScriptConsole>(*frame);
        console->show();
        QTest::qWaitForWindowExposed(console.get());
    }
    void TearDown() override {
        console.reset();
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }

    zt::test::ScriptedPrompter prompter;
    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CZTScriptConsole> console;
};

TEST_F(ScriptConsole, AScriptChangesTheCurrentPageAndTheViewShowsIt) {
    EXPECT_EQ(console->windowTitle(), "JavaScript Console");
    EXPECT_EQ(console->ScriptBox()->currentData().toString(), "/Neuer+Eintrag");
    ASSERT_TRUE(console->ChooseScript("/Skript"));
    QTest::mouseClick(console->StartButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(console->Output()->toPlainText(), "fertig\n/Vom+Skript+ge%E4ndert\n");
    // The view shows the page's new text with its bold word, the tree its title.
    CZettrixView* view = frame->TextView();
    EXPECT_EQ(view->toPlainText(), "Text aus dem Skript");
    QTextCursor c(view->document());
    c.setPosition(2);
    EXPECT_EQ(c.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(frame->TreeView()->CurrentPage()->Title(), "Vom Skript ge\xe4ndert");
    EXPECT_TRUE(frame->Document().IsModified());
    EXPECT_TRUE(view->document()->isModified());
    // Switching pages stores the text like an edit of the user's.
    frame->TreeView()->SelectPage(frame->Document().Tree().RootPages()[1]);
    QApplication::processEvents();
    EXPECT_NE(frame->Document().PageText(frame->Document().Tree().FirstRootPage()).find("aus dem Skript"),
              std::string::npos);
    const QString shots = QStringLiteral(ZT_DOCS_DIR);
    // ZT_SCREENSHOTS=1 writes the picture of the documentation.
    if (qEnvironmentVariableIsSet("ZT_SCREENSHOTS") && QDir(shots).exists())
        console->grab().save(shots + "/script-console.png");
}

TEST_F(ScriptConsole, TheMainWindowOpensOneConsole) {
    console.reset();
    auto* action = frame->findChild<QAction*>(QStringLiteral("ScriptConsoleAction"));
    ASSERT_NE(action, nullptr);
    action->trigger();
    action->trigger();
    const auto consoles = frame->findChildren<CZTScriptConsole*>();
    ASSERT_EQ(consoles.size(), 1);
    EXPECT_TRUE(consoles.front()->isVisible());
}

TEST_F(ScriptConsole, StopEndsAnEndlessLoop) {
    ASSERT_TRUE(console->ChooseScript("/Schleife"));
    bool disabledWhileRunning = false;
    QTimer::singleShot(200, [&] {
        disabledWhileRunning = !console->StartButton()->isEnabled() && console->StopButton()->isEnabled();
        QTest::mouseClick(console->StopButton(), Qt::LeftButton);
    });
    EXPECT_FALSE(console->Start());
    EXPECT_TRUE(disabledWhileRunning);
    EXPECT_TRUE(console->StartButton()->isEnabled());
    EXPECT_FALSE(console->StopButton()->isEnabled());
    EXPECT_EQ(console->Output()->toPlainText(), "los\nJavaScript Error: Execution failed.\n");
}

} // namespace
