// Drives the real main window: tree commands, in-place renaming, dialogs,
// save, close and reopen.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QSettings>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/system.h"
#include "core/document.h"
#include "support/pageshape.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/bars.h"
#include "ui/commands.h"
#include "ui/historydialog.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/pagetreemodel.h"
#include "ui/settings.h"
#include "ui/treedialogs.h"

using namespace zt::ui;
using zt::test::OnNextModal;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;

namespace {


std::string Utf8(const std::string& cp1252) { return zt::Cp1252ToUtf8(cp1252); }

// The tree as text: titles in pre-order, children in brackets.
using zt::test::Shape;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        zt::ui::CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->programPath = ZT_ZETTRIX_BIN;
        frame->show();
        QApplication::setActiveWindow(frame.get());
        QTest::qWaitForWindowExposed(frame.get());
        tree = frame->TreeView();
        tester = std::make_unique<QAbstractItemModelTester>(tree->PageModel(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override {
        tester.reset();
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }

    CZTPageTree& Tree() { return frame->Document().Tree(); }
    std::string TreeShape() { return Shape(Tree().RootPages()); }
    std::string Current() { return tree->CurrentPage() ? Utf8(tree->CurrentPage()->Title()) : ""; }

    // Types a title into the open title editor and presses Return.
    void TypeTitle(const QString& text) {
        QLineEdit* editor = tree->TitleEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        // QTest types only ASCII; other characters go in as typed text.
        bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
        if (ascii)
            QTest::keyClicks(editor, text);
        else
            editor->insert(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
    }
    void Rename(const QString& text) {
        Key(Qt::Key_F2);
        TypeTitle(text);
    }
    // A key of the main window's keyboard while the tree has the focus.
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QApplication::setActiveWindow(frame.get());
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key(key), mods);
    }
    void Select(const char* title) {
        CZTPageWalker w(Tree());
        CZTWalkStep step;
        while (w.NextInWalk(step))
            if (Utf8(step.node->Title()) == title) {
                tree->SelectPage(const_cast<CZTPageNode*>(step.node));
                return;
            }
        FAIL() << "no page " << title;
    }
    void Run(int id) {
        frame->UpdateCommandUI();
        frame->Execute(id);
    }

    ScriptedPrompter prompter;
    zt::ui::CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    CLeftView* tree = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

} // namespace

TEST_F(MainWindow, NewDocumentHasOneUnmodifiedPage) {
    EXPECT_EQ(TreeShape(), "Neuer Eintrag");
    EXPECT_EQ(Current(), "Neuer Eintrag");
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_EQ(frame->windowTitle(), "Unbenannt - Zettrix");
}

TEST_F(MainWindow, BuildRenameMoveSortDeleteSaveAndReopen) {
    TempDir dir;
    Rename("Delta");
    EXPECT_EQ(TreeShape(), "Delta");
    EXPECT_TRUE(frame->Document().IsModified());

    // New neighbours open their title for editing.
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("Alpha");
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("charlie");
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("Kind");
    EXPECT_EQ(TreeShape(), "Delta Alpha charlie(Kind)");

    // An empty title is refused with a message.
    prompter.messages.clear();
    Rename("   ");
    EXPECT_EQ(Current(), "Kind");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], zt::MessageText(zt::Msg::EmptyName));

    // Keys of the tree menu.
    Select("Alpha");
    Key(Qt::Key_F8); // up
    EXPECT_EQ(TreeShape(), "Alpha Delta charlie(Kind)");
    Key(Qt::Key_F5, Qt::ShiftModifier); // right: no previous sibling
    EXPECT_EQ(TreeShape(), "Neuer Eintrag(Alpha) Delta charlie(Kind)");
    Key(Qt::Key_F5); // left
    EXPECT_EQ(TreeShape(), "Neuer Eintrag Alpha Delta charlie(Kind)");
    EXPECT_EQ(Current(), "Alpha");
    Select("Neuer Eintrag");
    prompter.answers = {true};
    Run(ID_TREE_DELETE_PAGE);
    EXPECT_EQ(prompter.questions.back(), zt::MessageText(zt::Msg::ConfirmDeletePage));
    EXPECT_EQ(TreeShape(), "Alpha Delta charlie(Kind)");
    EXPECT_EQ(Current(), "Alpha");
    Key(Qt::Key_F8, Qt::ShiftModifier); // down
    EXPECT_EQ(TreeShape(), "Delta Alpha charlie(Kind)");

    // Sort descending through the dialog.
    OnNextModal<CZTSortDialog>([](CZTSortDialog* d) {
        d->SetChoice(false, true);
        d->accept();
    });
    Run(ID_TREE_SORT);
    EXPECT_EQ(TreeShape(), "Delta charlie(Kind) Alpha");
    OnNextModal<CZTSortDialog>([](CZTSortDialog* d) { d->accept(); });
    Run(ID_TREE_SORT);
    EXPECT_EQ(TreeShape(), "Alpha charlie(Kind) Delta");

    // Copy a subtree; the copy follows the source, the selection stays.
    Select("charlie");
    Run(ID_TREE_COPY_SUBTREE);
    EXPECT_EQ(TreeShape(), "Alpha charlie(Kind) charlie(Kind) Delta");
    EXPECT_EQ(Current(), "charlie");
    EXPECT_EQ(Tree().RootPages()[2]->Mark(), 4); // copies are marked inserted
    // Delete the copy with its subtree, cancelled first.
    tree->SelectPage(Tree().RootPages()[2]);
    prompter.answers = {false};
    Run(ID_TREE_DELETE_SUBTREE);
    EXPECT_EQ(Tree().CountPages(), 6u);
    prompter.answers = {true};
    Run(ID_TREE_DELETE_SUBTREE);
    EXPECT_EQ(TreeShape(), "Alpha charlie(Kind) Delta");
    EXPECT_EQ(Current(), "Delta");

    // F4: a memo page always comes first.
    Select("Kind");
    Key(Qt::Key_F4);
    ASSERT_EQ(Tree().RootPages().size(), 4u);
    EXPECT_EQ(Utf8(Tree().RootPages()[0]->Title()).rfind("Memo ", 0), 0u);
    prompter.answers = {true};
    Run(ID_TREE_DELETE_PAGE);

    // Save as, then the marks are reset and the title follows the name.
    const std::string path = dir / "Baum.ztd";
    frame->chooseFile = [&](bool save, const QString&) { return save ? QString::fromStdString(path) : QString(); };
    Run(ID_FILE_SAVE_AS);
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_EQ(frame->windowTitle(), "Baum - Zettrix");
    for (CZTPageNode* p : Tree().RootPages()) EXPECT_EQ(p->Mark(), 0);
    EXPECT_EQ(settings.recentFiles.value(0), QString::fromStdString(path));

    // Close (a new document) and reopen: the same tree.
    Run(ID_FILE_NEW);
    EXPECT_EQ(TreeShape(), "Neuer Eintrag");
    ASSERT_TRUE(frame->OpenDocument(QString::fromStdString(path)));
    EXPECT_EQ(TreeShape(), "Alpha charlie(Kind) Delta");
    EXPECT_EQ(Current(), "Alpha");
    EXPECT_TRUE(settings.archives.paths.contains(QString::fromStdString(path)));
}

TEST_F(MainWindow, SaveQuestionOnNew) {
    Rename("Geändert");
    prompter.threeWayAnswers = {zt::Prompter::Answer::Cancel};
    Run(ID_FILE_NEW);
    EXPECT_EQ(TreeShape(), "Geändert");
    EXPECT_EQ(prompter.questions.back(), "Änderungen in Unbenannt speichern?");
    prompter.threeWayAnswers = {zt::Prompter::Answer::No};
    Run(ID_FILE_NEW);
    EXPECT_EQ(TreeShape(), "Neuer Eintrag");
}

TEST_F(MainWindow, FailedOpenKeepsTheDocumentThatWasOpen) {
    TempDir dir;
    Rename("Bleibt");
    const QString mine = QString::fromStdString(dir / "meins.ztd");
    ASSERT_TRUE(frame->SaveDocumentTo(mine));
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("Neu");
    zt::test::WriteFile(dir / "kaputt.ztd", "not a document at all");
    settings.archives.Add(QString::fromStdString(dir / "kaputt.ztd"));
    EXPECT_FALSE(frame->OpenDocument(QString::fromStdString(dir / "kaputt.ztd")));
    EXPECT_FALSE(prompter.messages.empty());
    EXPECT_TRUE(frame->Document().IsModified());
    EXPECT_EQ(frame->DocumentPath(), mine);
    EXPECT_EQ(TreeShape(), "Bleibt Neu");
    EXPECT_EQ(Current(), "Neu");
    EXPECT_TRUE(frame->windowTitle().startsWith("meins"));
    EXPECT_FALSE(settings.archives.paths.contains(QString::fromStdString(dir / "kaputt.ztd")));
}

// A document file that cannot be replaced opens for reading: the title and
// the status bar say so, changes are off, and Ctrl+S asks for another name.
TEST_F(MainWindow, FileThatCannotBeReplacedOpensReadOnly) {
    TempDir dir;
    const QString locked = QString::fromStdString(dir / "fremd.ztd");
    const QString mine = QString::fromStdString(dir / "meins.ztd");
    Rename("Notiz");
    ASSERT_TRUE(frame->SaveDocumentTo(locked));
    frame->canReplaceFile = [&](const QString& path) { return path != locked; };
    ASSERT_TRUE(frame->OpenDocument(locked));
    EXPECT_FALSE(frame->IsEditable());
    EXPECT_TRUE(frame->windowTitle().contains(QString::fromUtf8(zt::MessageText(zt::Msg::ReadOnlyMark))))
        << frame->windowTitle().toStdString();
    EXPECT_TRUE(frame->statusBar()->currentMessage().contains(locked));
    EXPECT_EQ(frame->StatusPane(5)->text(), "LES");
    for (int id : {ID_TREE_NEW_MEMO, ID_TREE_DELETE_PAGE, ID_TREE_INSERT_CHILD})
        EXPECT_FALSE(frame->IsCommandEnabled(id)) << id;

    QString asked;
    frame->chooseFile = [&](bool save, const QString& suggestion) {
        EXPECT_TRUE(save);
        asked = suggestion;
        return mine;
    };
    ASSERT_TRUE(frame->SaveDocument());
    EXPECT_EQ(asked, locked);
    EXPECT_EQ(frame->DocumentPath(), mine);
    EXPECT_TRUE(frame->IsEditable());
    EXPECT_FALSE(frame->windowTitle().contains(QString::fromUtf8(zt::MessageText(zt::Msg::ReadOnlyMark))));
    EXPECT_TRUE(frame->IsCommandEnabled(ID_TREE_NEW_MEMO));
}

// The tree comes back as it was left: expanded pages and the selected page,
// kept per document file.
TEST_F(MainWindow, TreeExpansionAndSelectionComeBackPerDocument) {
    TempDir dir;
    Rename("A");
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("A.1");
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("A.1.x");
    Select("A");
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("B");
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("B.1");
    const QString first = QString::fromStdString(dir / "eins.ztd");
    const QString second = QString::fromStdString(dir / "zwei.ztd");
    ASSERT_TRUE(frame->SaveDocumentTo(second));
    ASSERT_TRUE(frame->SaveDocumentTo(first));

    auto expanded = [&](const char* title) {
        CZTPageWalker w(Tree());
        CZTWalkStep step;
        while (w.NextInWalk(step))
            if (Utf8(step.node->Title()) == title) return tree->isExpanded(tree->PageModel()->IndexOf(step.node));
        ADD_FAILURE() << "no page " << title;
        return false;
    };
    tree->collapseAll();
    Select("A.1.x"); // shows the page: its parents open
    tree->collapse(tree->PageModel()->IndexOf(Tree().RootPages()[1]));
    ASSERT_TRUE(expanded("A"));
    ASSERT_TRUE(expanded("A.1"));
    ASSERT_FALSE(expanded("B"));

    ASSERT_TRUE(frame->OpenDocument(second)); // leaves "eins" behind
    tree->expandAll();
    Select("B.1");
    ASSERT_TRUE(frame->OpenDocument(first));
    EXPECT_EQ(Current(), "A.1.x");
    EXPECT_TRUE(expanded("A"));
    EXPECT_TRUE(expanded("A.1"));
    EXPECT_FALSE(expanded("B"));
    ASSERT_TRUE(frame->OpenDocument(second));
    EXPECT_EQ(Current(), "B.1");
    EXPECT_TRUE(expanded("A.1"));
    EXPECT_TRUE(expanded("B"));
}

TEST_F(MainWindow, ReadOnlyDocumentDisablesChanges) {
    frame->SetReadOnly(true);
    for (int id : {ID_TREE_INSERT_NEIGHBOUR, ID_TREE_NEW_MEMO, ID_TREE_DELETE_PAGE, ID_TREE_SORT, ID_TREE_MULTIPLE,
                   ID_TREE_ENTRY_STYLE})
        EXPECT_FALSE(frame->IsCommandEnabled(id)) << id;
    EXPECT_TRUE(frame->IsCommandEnabled(ID_PAGE_PROPERTIES));
    Run(ID_TREE_NEW_MEMO);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F2);
    EXPECT_EQ(tree->TitleEditor(), nullptr);
    EXPECT_EQ(TreeShape(), "Neuer Eintrag");
    EXPECT_EQ(frame->StatusPane(5)->text(), "LES");
}

TEST_F(MainWindow, TreeEntryStyleIsStoredAndSaved) {
    TempDir dir;
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("Unten");
    Select("Neuer Eintrag");
    OnNextModal<CZTTreeEntryDialog>([](CZTTreeEntryDialog* d) {
        d->titleEdit->setText("Oben");
        d->bold->setChecked(true);
        d->SetTextColour(QColor(255, 0, 0));
        d->subtrees->setChecked(true);
        d->accept();
    });
    Run(ID_TREE_ENTRY_STYLE);
    EXPECT_EQ(TreeShape(), "Oben(Unten)");
    CZTPageNode* top = Tree().RootPages()[0];
    EXPECT_TRUE(top->Style().Has(TreeEntryStyle::Bold));
    EXPECT_EQ(top->Style().textColor, 0x0000FF);
    EXPECT_TRUE(top->FirstChild()->Style().Has(TreeEntryStyle::TextColorSet));
    const QModelIndex idx = tree->PageModel()->IndexOf(top);
    EXPECT_TRUE(idx.data(Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(idx.data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));

    // A style without boxes removes the property; the title change is saved.
    OnNextModal<CZTTreeEntryDialog>([](CZTTreeEntryDialog* d) {
        d->bold->setChecked(false);
        d->textColourBox->setChecked(false);
        d->accept();
    });
    tree->SelectPage(top->FirstChild());
    Run(ID_TREE_ENTRY_STYLE);
    std::string_view data;
    EXPECT_FALSE(frame->Document().Archive().GetExtItem(top->FirstChild()->Ident(), 1, data));
    ASSERT_TRUE(frame->SaveDocumentTo(QString::fromStdString(dir / "s.ztd")));
    ASSERT_TRUE(frame->OpenDocument(QString::fromStdString(dir / "s.ztd")));
    EXPECT_EQ(TreeShape(), "Oben(Unten)");
    EXPECT_TRUE(Tree().RootPages()[0]->Style().Has(TreeEntryStyle::Bold));
    EXPECT_FALSE(Tree().RootPages()[0]->FirstChild()->Style().IsSet());
}

TEST(WorkList, CoversAndCountsNested) {
    zt::SilentPrompter silent;
    CZTDocument doc(silent);
    CZTPageNode* a = doc.AddPage(nullptr, "a");
    CZTPageNode* b = doc.AddPage(a, "b");
    CZTPageNode* c = doc.AddPage(b, "c");
    CZTPageNode* d = doc.AddPage(nullptr, "d");
    bool conflict = false;
    // The grandparent as a subtree covers the listed grandchild.
    auto list = BuildWorkList(doc.Tree(), {{c->Ident(), false}, {a->Ident(), true}}, false, &conflict);
    EXPECT_TRUE(conflict);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].ident, a->Ident());
    // Keeping all: the grandchild counts one deeper.
    list = BuildWorkList(doc.Tree(), {{c->Ident(), false}, {a->Ident(), true}}, true, nullptr);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].depth, 1);
    EXPECT_EQ(list[1].depth, 0);
    // Without subtrees nothing is covered.
    list = BuildWorkList(doc.Tree(), {{a->Ident(), false}, {c->Ident(), false}, {d->Ident(), true}}, false, &conflict);
    EXPECT_FALSE(conflict);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].depth, 1);
    doc.Archive().SetModified(false);
}

TEST_F(MainWindow, MultipleDialogMovesCopiesAndRefusesOwnSubtree) {
    Rename("A");
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("A1");
    Select("A");
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("B");
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("C");
    EXPECT_EQ(TreeShape(), "A(A1) B C");
    CZTPageNode* a = Tree().RootPages()[0];
    CZTPageNode* a1 = a->FirstChild();
    CZTPageNode* c = Tree().RootPages()[2];

    CZTMultipleDialog dlg(frame->Document(), prompter, c);
    // Into its own subtree: refused with a message, nothing moves.
    dlg.AddPage(a->Ident(), true);
    dlg.SetTarget(a1->Ident(), true);
    prompter.messages.clear();
    EXPECT_FALSE(dlg.Apply());
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(TreeShape(), "A(A1) B C");
    // Move A with its subtree to be C's child.
    dlg.SetTarget(c->Ident(), true);
    EXPECT_TRUE(dlg.Apply());
    EXPECT_EQ(TreeShape(), "B C(A(A1))");
    // Copy the listed page alone after C.
    dlg.SetOperation(CZTMultipleDialog::Copy);
    auto* list = dlg.findChild<QListWidget*>();
    ASSERT_EQ(list->count(), 1);
    list->item(0)->setCheckState(Qt::Unchecked);
    dlg.SetTarget(c->Ident(), false);
    EXPECT_TRUE(dlg.Apply());
    EXPECT_EQ(TreeShape(), "B C(A(A1)) A");
    // Delete asks first.
    dlg.SetOperation(CZTMultipleDialog::Delete);
    prompter.answers = {true};
    EXPECT_TRUE(dlg.Apply());
    EXPECT_EQ(TreeShape(), "B C(A1) A");
}

TEST_F(MainWindow, ModelFollowsEveryOperation) {
    // The model tester checks every signal the adapter sends.
    Rename("r");
    for (int i = 0; i < 4; ++i) Run(ID_TREE_INSERT_CHILD), TypeTitle(QString("k%1").arg(i));
    Select("k1");
    Run(ID_TREE_RIGHT);
    Run(ID_TREE_RIGHT);
    Run(ID_TREE_LEFT);
    Run(ID_TREE_DOWN);
    Run(ID_TREE_UP);
    Run(ID_TREE_EXPAND_ALL);
    OnNextModal<CZTSortDialog>([](CZTSortDialog* d) {
        d->SetChoice(true, false);
        d->accept();
    });
    Select("r");
    Run(ID_TREE_SORT);
    Select("k3");
    Run(ID_TREE_COPY_SUBTREE);
    prompter.defaultAnswer = true;
    Select("r");
    Run(ID_TREE_DELETE_PAGE);
    while (!Tree().IsEmpty()) {
        tree->SelectPage(Tree().FirstRootPage());
        Run(ID_TREE_DELETE_SUBTREE);
    }
    EXPECT_EQ(tree->PageModel()->rowCount(), 0);
    EXPECT_EQ(tree->CurrentPage(), nullptr);
}

// The check marks say whether a pane is shown, from the first moment on;
// hiding and showing a pane brings its width back.
TEST_F(MainWindow, PaneCommandsFollowThePanesAndKeepTheirSize) {
    frame->resize(800, 500);
    QApplication::processEvents();
    auto checked = [&](int id) {
        bool on = false;
        frame->IsCommandEnabled(id, &on);
        frame->UpdateCommandUI();
        EXPECT_EQ(frame->Action(id)->isChecked(), on) << id;
        return on;
    };
    QSplitter* v = frame->MainSplitter();
    QSplitter* h = frame->RightSplitter();
    EXPECT_TRUE(checked(ID_VIEW_TREE));
    EXPECT_TRUE(checked(ID_VIEW_FILES));

    v->setSizes({137, 663});
    const int tree = v->sizes()[0];
    Run(ID_VIEW_TREE);
    EXPECT_EQ(v->sizes()[0], 0);
    EXPECT_FALSE(checked(ID_VIEW_TREE));
    Run(ID_VIEW_TREE);
    EXPECT_EQ(v->sizes()[0], tree);
    EXPECT_TRUE(checked(ID_VIEW_TREE));

    // A tree dragged shut comes back at the width it had when last hidden.
    v->setSizes({0, 800});
    EXPECT_FALSE(checked(ID_VIEW_TREE));
    Run(ID_VIEW_TREE);
    EXPECT_EQ(v->sizes()[0], tree);

    h->setSizes({250, 90});
    const int files = h->sizes()[1], total = h->sizes()[0] + h->sizes()[1];
    Run(ID_VIEW_FILES);
    EXPECT_EQ(h->sizes()[1], 0);
    EXPECT_FALSE(checked(ID_VIEW_FILES));
    Run(ID_VIEW_FILES);
    EXPECT_EQ(h->sizes()[1], files);
    EXPECT_EQ(h->sizes()[0] + h->sizes()[1], total);
    EXPECT_TRUE(checked(ID_VIEW_FILES));
}

TEST_F(MainWindow, NavigationBackAndForward) {
    Rename("one");
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("two");
    Run(ID_TREE_INSERT_CHILD);
    TypeTitle("three");
    Run(ID_NAV_PARENT);
    EXPECT_EQ(Current(), "two");
    Run(ID_NAV_BACK);
    EXPECT_EQ(Current(), "three");
    Run(ID_NAV_FORWARD);
    EXPECT_EQ(Current(), "two");
    Run(ID_NAV_PREV_PAGE);
    EXPECT_EQ(Current(), "one");
    Run(ID_NAV_NEXT_PAGE);
    EXPECT_EQ(Current(), "two");
}

TEST(FirstStart, WindowTakesTwoThirdsOfTheScreenInItsMiddle) {
    struct Case {
        QRect screen, expected;
    } cases[] = {
        {{0, 0, 1920, 1080}, {320, 180, 1280, 720}},
        {{0, 28, 2560, 1412}, {427, 264, 1706, 941}},
        {{0, 0, 800, 600}, {19, 100, 763, 400}},   // never below the classic size
        {{0, 0, 640, 380}, {0, 0, 640, 380}},      // unless the screen is smaller
    };
    for (const Case& c : cases) EXPECT_EQ(FirstStartGeometry(c.screen), c.expected) << c.screen.width();
}

TEST_F(MainWindow, FirstStartUsesTheScreenAndStatusPanesExplainThemselves) {
    frame->LoadWindowState();
    const QRect expected = FirstStartGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    EXPECT_EQ(frame->size(), expected.size());
    for (int i = 0; i < 7; ++i) EXPECT_FALSE(frame->StatusPane(i)->toolTip().isEmpty()) << i;
}

TEST_F(MainWindow, OptionsSheetAppliesBars) {
    EXPECT_TRUE(frame->Action(ID_OPTIONS)->isEnabled());
    OnNextModal<QDialog>([](QDialog* d) {
        for (QCheckBox* b : d->findChildren<QCheckBox*>())
            if (b->text() == "Tippsleiste") b->setChecked(false);
        d->accept();
    });
    Run(ID_OPTIONS);
    EXPECT_EQ(settings.prefs.tb, 0);
    EXPECT_FALSE(frame->TipsBar()->isVisibleTo(frame.get()));
}

namespace {
class FakeRevisions : public CZTRevisionSource {
public:
    std::vector<CZTRevisionKey> keys{{1000, true}, {2000, false}, {3000, true}};
    std::vector<std::pair<int32_t, int>> changes;
    std::vector<CZTRevisionKey> List() override { return keys; }
    bool Body(const CZTRevisionKey& k, std::string& body) override {
        body = "body " + std::to_string(k.time);
        return k.time != 3000;
    }
    bool Change(const CZTRevisionKey& k, int action) override {
        changes.emplace_back(k.time, action);
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i].time == k.time) {
                if (action == 0) keys.erase(keys.begin() + ptrdiff_t(i));
                else keys[i].visible = action == 2;
                return true;
            }
        return false;
    }
};
} // namespace

TEST(HistoryDialog, ListsHidesForgetsAndShows) {
    ScriptedPrompter prompter;
    FakeRevisions source;
    CZTHistoryDialog dlg(&source, prompter);
    int changed = 0;
    std::vector<std::string> shown;
    dlg.changed = [&] { ++changed; };
    dlg.show = [&](const QString& label, const std::string& body) { shown.push_back(body); };
    ASSERT_EQ(dlg.list->count(), 2); // the hidden one is not listed
    EXPECT_EQ(dlg.list->item(0)->text(), RevisionLabel(1000));
    dlg.ToggleAll();
    EXPECT_EQ(dlg.list->count(), 3);
    EXPECT_EQ(dlg.allButton->text(), "&Versionen");
    dlg.list->setCurrentRow(1);
    EXPECT_EQ(dlg.hideButton->text(), "&Unverdeckt");
    dlg.ToggleHidden(); // shows it again and returns to the visible revisions
    EXPECT_FALSE(dlg.AllMode());
    EXPECT_EQ(dlg.list->count(), 3);
    EXPECT_EQ(changed, 1);
    dlg.list->setCurrentRow(0);
    dlg.ShowSelected();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "body 1000");
    dlg.list->setCurrentRow(2);
    dlg.ShowSelected(); // the body cannot be joined
    EXPECT_EQ(prompter.messages.back(), "Die Funktion 'getRevision' lieferte einen Fehler zurück.");
    prompter.answers = {false, true};
    dlg.list->setCurrentRow(0);
    dlg.Forget();
    EXPECT_EQ(dlg.list->count(), 3);
    dlg.Forget();
    EXPECT_EQ(dlg.list->count(), 2);
    EXPECT_EQ(changed, 2);
    EXPECT_NE(prompter.questions.back().find(RevisionLabel(1000).toStdString()), std::string::npos);

    CZTHistoryDialog none(nullptr, prompter);
    none.Forget();
    EXPECT_EQ(prompter.messages.back(), "Die Funktion 'GetDocument' lieferte einen Fehler zurück.");
}

TEST_F(MainWindow, ClosingAsksToSaveAndWorksWithoutATray) {
    // Offscreen there is no system tray: the tray setting must not hide the
    // window where it could not come back from.
    settings.prefs.trayIcon = 1;
    frame->LoadWindowState();
    EXPECT_FALSE(frame->HasTrayIcon());
    Rename("x");
    prompter.threeWayAnswers = {zt::Prompter::Answer::Cancel};
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    prompter.threeWayAnswers = {zt::Prompter::Answer::No};
    EXPECT_TRUE(frame->close());
    // The window state went to the settings at the close.
    zt::ui::CZTSettings again;
    again.Load();
    EXPECT_EQ(again.prefs.m1, frame->MainSplitter()->sizes()[0]);
}

TEST_F(MainWindow, MenusCarryTheCommandsWithKeysAndPrompts) {
    struct Row {
        int id;
        const char* text;
        const char* key;
        const char* prompt;
    };
    const Row rows[] = {
        {ID_FILE_NEW, "&Neu", "Ctrl+N", "Erstellt ein neues Dokument."},
        {ID_FILE_SAVE, "S&peichern", "Ctrl+S", "Speichert das aktive Dokument."},
        {ID_HISTORY, "&History", "", "Auswahl und ansehen der &History"},
        {ID_TREE_NEW_MEMO, "&Neue Seite", "F4", "Neue Seite einfügen."},
        {ID_TREE_RIGHT, "Seite &rechts", "Shift+F5", "Seite nach rechts schieben."},
        {ID_TREE_DOWN, "Seite &tiefer", "Shift+F8", "Seite nach unten schieben."},
        {ID_EDIT_REPEAT, "&Weitersuchen", "F3", "Wiederholt die letzte Suche."},
        {ID_INSERT_DATETIME, "&Datum && Zeit einfügen", "Alt+Shift+D", "Datum und Zeit einfügen."},
        {ID_VIEW_FILES, "Dateienansicht &zeigen", "", "Anzeigen der Dateienansicht."},
        {ID_OPTIONS, "&Optionen...", "", "Zeigt Registerkarten mit Optionen."},
        {ID_SELECT_PAGE, "Seite auswählen", "Alt+S", "Auswählen einer Seite."},
    };
    for (const Row& r : rows) {
        QAction* a = frame->Action(r.id);
        ASSERT_NE(a, nullptr) << r.id;
        EXPECT_EQ(a->text(), QString::fromUtf8(r.text)) << r.id;
        EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(r.key))) << r.id;
        EXPECT_EQ(a->statusTip(), QString::fromUtf8(r.prompt)) << r.id;
    }
    QStringList menus;
    for (QAction* a : frame->menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&Datei", "Bau&m", "&Bearbeiten", "Dateie&n", "&Einstellungen", "&?"}));
    // Features of later parts are present and disabled.
    frame->UpdateCommandUI();
    for (int id : {ID_FILES_INSERT_TEXT, ID_CHAR_BOLD})
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    // The server session: connecting always, reloading with a server document.
    EXPECT_TRUE(frame->Action(ID_CONNECT)->isEnabled());
    EXPECT_FALSE(frame->Action(ID_RELOAD)->isEnabled());
    // The search of the document is built.
    EXPECT_TRUE(frame->Action(ID_SEARCH_REPLACE)->isEnabled());
}

TEST_F(MainWindow, PageBarListsPagesAndFiles) {
    Rename("Mit Datei");
    Run(ID_TREE_INSERT_NEIGHBOUR);
    TypeTitle("Ohne");
    CZTPageNode* first = Tree().RootPages()[0];
    CZTFileRecord file = CZTFileRecord::New("notiz.txt", "tester");
    ASSERT_TRUE(file.SetContent("hallo", "tester"));
    ASSERT_EQ(frame->Document().AttachFile(first, file), 1);
    EXPECT_EQ(first->Mark(), 5); // page and files changed

    Run(ID_SELECT_PAGE);
    CZTPageBarList* list = frame->PageList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "D:/Mit Datei");
    EXPECT_EQ(list->itemText(1), "    /Ohne");
    EXPECT_EQ(list->currentIndex(), 1);
    list->hidePopup();
    Run(ID_SELECT_FILE);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->itemText(0), "/Mit Datei/notiz.txt");
    list->hidePopup();
    emit list->activated(0); // choosing the file selects its page
    EXPECT_EQ(Current(), "Mit Datei");
}

TEST(TipsBar, StepsWrapAroundAndPause) {
    CZTTipsBar tips(8);
    EXPECT_FALSE(tips.Paused());
    tips.Step(1); // shows tip 8, pauses
    EXPECT_TRUE(tips.Paused());
    EXPECT_EQ(tips.NextTip(), 0);
    const QString last = tips.Text();
    tips.Step(1);
    EXPECT_EQ(tips.NextTip(), 1);
    tips.Step(-1);
    EXPECT_EQ(tips.Text(), last);
    tips.SetPaused(false); // shows the next tip at once
    EXPECT_EQ(tips.NextTip(), 1);
}

namespace {
class StepClock : public zt::Clock {
public:
    int64_t now = 1717243200;
    int64_t Now() const override { return now; }
};
} // namespace

TEST_F(MainWindow, HistoryListsTheSavesAndShowsOne) {
    TempDir dir;
    StepClock clock;
    zt::SetClock(&clock);
    const QString path = QString::fromStdString(dir / "Verlauf.ztd");
    Rename("Erste");
    ASSERT_TRUE(frame->SaveDocumentTo(path));
    clock.now += 60;
    Rename("Zweite");
    ASSERT_TRUE(frame->SaveDocumentTo(path));
    clock.now += 60;
    ASSERT_TRUE(frame->OpenDocument(path));
    zt::SetClock(nullptr);

    // The dialog lists both saves, oldest first; the older one can be hidden.
    QStringList labels;
    OnNextModal<CZTHistoryDialog>([&](CZTHistoryDialog* d) {
        for (int i = 0; i < d->list->count(); ++i) labels << d->list->item(i)->text();
        d->list->setCurrentRow(0);
        d->ToggleHidden();
        d->reject();
    });
    Run(ID_HISTORY);
    EXPECT_EQ(labels, (QStringList{RevisionLabel(1717243200), RevisionLabel(1717243260)}));
    EXPECT_TRUE(frame->Document().IsModified());
    std::vector<CZTRevisionKey> keys;
    frame->Document().Archive().Core().history.ListRevisions(keys);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_FALSE(keys[0].visible);

    // The older body is a document of its own with the first title.
    std::string body;
    ASSERT_TRUE(frame->Document().Archive().Core().history.GetRevisionBody(keys[0].time, false, body));
    ASSERT_TRUE(frame->OpenRevision(body, "Verlauf: " + RevisionLabel(keys[0].time)));
    EXPECT_EQ(TreeShape(), "Erste");
    EXPECT_TRUE(frame->DocumentPath().isEmpty());
    EXPECT_EQ(frame->windowTitle(), "Verlauf: " + RevisionLabel(keys[0].time) + " - Zettrix");

    // Removing the history asks first and marks the document modified.
    ASSERT_TRUE(frame->OpenDocument(path));
    prompter.answers = {false, true};
    Run(ID_REMOVE_HISTORY);
    EXPECT_FALSE(frame->Document().IsModified());
    Run(ID_REMOVE_HISTORY);
    EXPECT_EQ(prompter.questions.back(), "Soll die History gelöscht werden?");
    EXPECT_TRUE(frame->Document().IsModified());
    EXPECT_TRUE(frame->Document().Archive().Core().history.Empty());
}

TEST_F(MainWindow, AutoSaveWritesOnlyChanges) {
    TempDir dir;
    const QString path = QString::fromStdString(dir / "auto.ztd");
    frame->AutoSave(); // no name yet: nothing is written
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(frame->SaveDocumentTo(path));
    const std::string saved = zt::test::ReadFile(path.toStdString());
    frame->AutoSave();
    EXPECT_EQ(zt::test::ReadFile(path.toStdString()), saved);
    Rename("geändert");
    frame->AutoSave();
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_NE(zt::test::ReadFile(path.toStdString()), saved);
}

TEST_F(MainWindow, StartDocumentChoiceIsStoredAtOnce) {
    TempDir dir;
    const QString path = QString::fromStdString(dir / "start.ztd");
    ASSERT_TRUE(frame->SaveDocumentTo(path));
    OnNextModal<QDialog>([](QDialog* d) {
        for (QRadioButton* b : d->findChildren<QRadioButton*>())
            if (b->text() == "aktuelles Dokument verwenden") b->setChecked(true);
        d->accept();
    });
    Run(ID_OPTIONS);
    zt::ui::CZTSettings stored;
    stored.Load();
    EXPECT_EQ(stored.prefs.mode, 1);
    EXPECT_EQ(stored.prefs.file, path);
}
