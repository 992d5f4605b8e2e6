// The search dialog in the real main window: a search from the keyboard, the
// hit list followed by the arrow keys, a hit shown with its text selected,
// one hit replaced and the text view showing it; the dialog follows renames,
// edits and deletions; find and replace inside the page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTextCursor>
#include <QTreeWidget>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "support/scripted_prompter.h"
#include "text/pagertf.h"
#include "ui/commands.h"
#include "ui/finddialog.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/searchdialog.h"
#include "ui/settings.h"
#include "ui/textview.h"

using namespace zt::ui;
using zt::test::ScriptedPrompter;

namespace {

std::string Rtf(std::string_view body) {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs24 " + std::string(body) + "}";
}

class SearchDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        zt::ui::CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        QApplication::setActiveWindow(frame.get());
        QTest::qWaitForWindowExposed(frame.get());
        CZTDocument& doc = frame->Document();
        CZTPageTree& tree = doc.Tree();
        while (!tree.IsEmpty()) doc.DeletePage(tree.FirstRootPage(), true);
        first = doc.AddPage(nullptr, "Erste");
        second = doc.AddPage(nullptr, "Zweite Wolke");
        doc.SetPageText(first, Rtf("Eine Wolke am Himmel und eine {\\b Wol}ke dazu."));
        doc.SetPageText(second, Rtf("Hier\\par keine Wolke."));
        frame->TreeView()->SelectPage(first);
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }

    CZTSearchDialog* OpenAndSearch(const QString& text) {
        frame->Execute(ID_SEARCH_REPLACE);
        CZTSearchDialog* d = frame->SearchDialog();
        EXPECT_NE(d, nullptr);
        // Whole document, typed into the search text, Enter searches.
        for (QRadioButton* r : d->findChildren<QRadioButton*>())
            if (r->text() == QStringLiteral("&Dokument")) r->setChecked(true);
        QLineEdit* edit = d->SearchText()->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        d->WaitForSearch();
        QApplication::processEvents();
        return d;
    }
    QString Selected() { return frame->TextView()->textCursor().selectedText(); }

    ScriptedPrompter prompter;
    zt::ui::CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    CZTPageNode* first = nullptr;
    CZTPageNode* second = nullptr;
};

TEST_F(SearchDialogTest, KeyboardSearchStepAndReplace) {
    CZTSearchDialog* d = OpenAndSearch(QStringLiteral("wolke"));
    QTreeWidget* list = d->List();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(d->CounterLine()->text(),
              QStringLiteral("Seiten:   2, Titel:   1, Textstellen:    3, Dateien:   0, Gesamt:    4"));
    // The first hit is shown at once: its text selected in the text view.
    EXPECT_EQ(frame->TextView()->CurrentIdent(), first->Ident());
    EXPECT_EQ(Selected(), QStringLiteral("Wolke"));
    EXPECT_EQ(frame->TextView()->textCursor().selectionStart(), 5);

    // Down arrow and Enter: the hit across the bold run.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(Selected(), QStringLiteral("Wolke"));
    EXPECT_EQ(frame->TextView()->textCursor().selectionStart(), 30);

    // Down to the title hit: the tree shows the page.
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(frame->TreeView()->CurrentPage(), second);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(frame->TextView()->CurrentIdent(), second->Ident());
    EXPECT_EQ(Selected(), QStringLiteral("Wolke"));

    // Back to the second hit and replace it alone.
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    ASSERT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
    list->setCurrentItem(list->topLevelItem(1), 0, QItemSelectionModel::ClearAndSelect);
    d->ReplaceText()->setCurrentText(QStringLiteral("Sonne"));
    d->ReplaceSelected();
    EXPECT_EQ(list->topLevelItem(1)->text(2), QStringLiteral("Sonne"));
    EXPECT_TRUE(frame->Document().IsModified());
    frame->TreeView()->SelectPage(first);
    EXPECT_EQ(frame->TextView()->toPlainText(), QStringLiteral("Eine Wolke am Himmel und eine Sonne dazu."));
    // The rest of the page keeps its format: the replacement took the bold run's place.
    EXPECT_NE(frame->Document().PageText(first).find("\\b"), std::string::npos);
}

TEST_F(SearchDialogTest, FollowsRenamesEditsAndDeletions) {
    CZTSearchDialog* d = OpenAndSearch(QStringLiteral("wolke"));
    ASSERT_EQ(d->List()->topLevelItemCount(), 4);
    // Typing in the text view and switching pages saves the page: its rows are searched again.
    frame->TreeView()->SelectPage(first);
    CZettrixView* view = frame->TextView();
    QTextCursor c = view->textCursor();
    c.movePosition(QTextCursor::End);
    view->setTextCursor(c);
    view->setFocus();
    QTest::keyClicks(view->viewport(), QStringLiteral(" Wolke"));
    frame->TreeView()->SelectPage(second);
    EXPECT_EQ(d->List()->topLevelItemCount(), 5);
    // Renaming a page drops its title hit.
    frame->Document().RenamePage(second, "Zweite");
    EXPECT_EQ(d->List()->topLevelItemCount(), 4);
    // Deleting a page removes its rows and lowers the counters.
    frame->Document().DeletePage(second, false);
    EXPECT_EQ(d->List()->topLevelItemCount(), 3);
    EXPECT_EQ(d->HitList().Counters().pages, 1);
    // Only one dialog per window.
    frame->Execute(ID_SEARCH_REPLACE);
    EXPECT_EQ(frame->findChildren<CZTSearchDialog*>().size(), 1);
}

TEST_F(SearchDialogTest, ReplaceAfterAnEditOfTheShownPage) {
    CZTSearchDialog* d = OpenAndSearch(QStringLiteral("wolke"));
    CZettrixView* view = frame->TextView();
    QTextCursor c = view->textCursor();
    c.movePosition(QTextCursor::End);
    view->setTextCursor(c);
    view->setFocus();
    QTest::keyClicks(view->viewport(), QStringLiteral(" Wolke"));
    QTreeWidget* list = d->List();
    list->setCurrentItem(list->topLevelItem(1), 0, QItemSelectionModel::ClearAndSelect);
    d->ReplaceText()->setCurrentText(QStringLiteral("Sonne"));
    d->ReplaceSelected(); // saves the edited page first, which searches it again
    EXPECT_EQ(view->toPlainText(), QStringLiteral("Eine Wolke am Himmel und eine Sonne dazu. Wolke"));
    EXPECT_EQ(list->topLevelItemCount(), 5);
}

TEST_F(SearchDialogTest, FindAndReplaceInThePage) {
    frame->TreeView()->SelectPage(first);
    frame->UpdateCommandUI();
    frame->Execute(ID_EDIT_FIND);
    CZTFindDialog* f = frame->FindDialog();
    ASSERT_NE(f, nullptr);
    f->FindText()->setText(QStringLiteral("eine"));
    ASSERT_TRUE(f->FindNext());
    EXPECT_EQ(frame->TextView()->textCursor().selectionStart(), 0); // case ignored: "Eine"
    ASSERT_TRUE(f->FindNext());
    EXPECT_EQ(frame->TextView()->textCursor().selectionStart(), 25);
    // Wraps to the start, then stops where the search began.
    EXPECT_FALSE(f->FindNext());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], zt::MessageText(zt::Msg::TextNotFound));

    frame->Execute(ID_EDIT_REPLACE);
    f = frame->FindDialog();
    ASSERT_TRUE(f->IsReplace());
    EXPECT_EQ(frame->findChildren<CZTFindDialog*>().size(), 1);
    f->FindText()->setText(QStringLiteral("Wolke"));
    f->ReplaceText()->setText(QStringLiteral("Sonne"));
    f->MatchCase()->setChecked(true);
    EXPECT_EQ(f->ReplaceAll(), 2); // the one split by the bold run too
    EXPECT_EQ(frame->TextView()->toPlainText(), QStringLiteral("Eine Sonne am Himmel und eine Sonne dazu."));
}

} // namespace
