// Drag and drop of pages, texts and files, driven with synthesized drop
// events on the real views: subtrees moved and copied within the tree (never
// into themselves), handed to a second main window as another instance sees
// them (bytes only), dragged out as document files, file lists and texts
// dropped on the tree and the files list, and the questions asked; what the
// tree shows while a drag is over it (target, scrolling, opening), and files
// dragged out of the files list as temporary copies or onto the own tree,
// where they are stored, moved or imported as pages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <deque>
#include <fstream>

#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "support/pageshape.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/pagetreemodel.h"
#include "ui/settings.h"
#include "ui/filesdrag.h"
#include "ui/treedrag.h"
#include "ui/treedropfeedback.h"

using namespace zt::ui;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;

namespace {

using zt::test::Shape;

CZTPageNode* Find(CZTDocument& doc, const std::string& title) {
    for (const auto& e : doc.Tree().BuildPageList()) {
        CZTPageNode* n = doc.Tree().FindPage(e.ident);
        if (n && n->Title() == title) return n;
    }
    return nullptr;
}

std::string FileText(CZTDocument& doc, CZTPageNode* page, const std::string& name) {
    const CZTFileRecord r = doc.Archive().GetFile(page->Ident(), name);
    const std::string* t = r.valid ? r.GetText() : nullptr;
    return t ? *t : std::string("<none>");
}

// What another program sees of a drag: the bytes of every offered format.
std::unique_ptr<QMimeData> AsBytes(const QMimeData& data) {
    auto copy = std::make_unique<QMimeData>();
    for (const QString& f : data.formats())
        if (f != QLatin1String(kMimeUriList)) copy->setData(f, data.data(f));
    return copy;
}

struct Window {
    explicit Window(ScriptedPrompter& prompter) {
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->resize(900, 900); // room below the tree's entries
        frame->show();
        frame->DragDrop()->answerQuestion = [this](CZTDropQuestion& q) {
            asked.push_back(q.title + QLatin1Char('|') + q.label + QLatin1Char('|') + q.options.join(QLatin1Char(',')) +
                            QLatin1Char('|') + QString::number(q.preset));
            if (answers.empty()) return -1;
            const int a = answers.front();
            answers.erase(answers.begin());
            if (!checks.empty()) q.checked = checks;
            q.format = format;
            return a;
        };
    }
    ~Window() {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    CZTDocument& Doc() { return frame->Document(); }
    CZTTreeDragDrop& D() { return *frame->DragDrop(); }
    // Sends a drop onto the tree entry of `target` (null: below the entries).
    bool DropOnTree(const QMimeData& data, CZTPageNode* target, Qt::KeyboardModifiers keys = Qt::NoModifier,
                    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
        CLeftView* tree = frame->TreeView();
        tree->expandAll();
        QApplication::processEvents();
        QPoint at(5, tree->viewport()->height() - 3);
        if (target) at = tree->visualRect(tree->PageModel()->IndexOf(target)).center();
        return Drop(tree->viewport(), at, data, actions, keys);
    }
    bool DropOnFiles(const QMimeData& data) {
        QWidget* vp = frame->FilesView()->viewport();
        return Drop(vp, vp->rect().center(), data, Qt::CopyAction, Qt::NoModifier);
    }
    // A drag entering the widget, moving to the point and dropped there, as
    // the platform delivers it.
    static bool Drop(QWidget* w, QPoint at, const QMimeData& data, Qt::DropActions actions,
                     Qt::KeyboardModifiers keys) {
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(w, &enter);
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(w, &move);
        QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(w, &drop);
        return drop.isAccepted();
    }
    std::string TreeShape() { return Shape(Doc().Tree().RootPages()); }

    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    std::vector<int> answers;
    std::vector<bool> checks;
    int format = 0;
    QStringList asked;
};

class TreeDrag : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        a = std::make_unique<Window>(prompter);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(a->frame.get()));
        CZTDocument& doc = a->Doc();
        projekte = doc.Tree().FirstRootPage();
        doc.RenamePage(projekte, "Projekte");
        memo = doc.AddPage(projekte, "Memo");
        doc.SetPageText(memo, "{\\rtf1\\ansi Gr\\'fc\\'dfe vom Memo\\par}");
        zt::StoreFile(doc, memo, "daten.bin", std::string(5000, 'd'), 1700000000);
        unter = doc.AddPage(projekte, "Unter");
        enkel = doc.AddPage(unter, "Enkel");
        s1 = doc.AddPage(nullptr, "S1");
        s2 = doc.AddPage(nullptr, "S2");
        a->frame->TreeView()->SelectPage(s1);
    }
    void TearDown() override {
        b.reset();
        a.reset();
    }
    void SecondWindow() {
        b = std::make_unique<Window>(prompter);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(b->frame.get()));
        b->Doc().RenamePage(b->Doc().Tree().FirstRootPage(), "Ziel");
        b->Doc().AddPage(nullptr, "Zweites");
    }

    ScriptedPrompter prompter;
    std::unique_ptr<Window> a, b;
    TempDir t;
    CZTPageNode *projekte = nullptr, *memo = nullptr, *unter = nullptr, *enkel = nullptr, *s1 = nullptr,
                *s2 = nullptr;
};

TEST_F(TreeDrag, SubtreesMoveAndCopyWithinTheTreeButNeverIntoThemselves) {
    const std::string start = "Projekte(Memo Unter(Enkel)) S1 S2";
    ASSERT_EQ(a->TreeShape(), start);
    // Onto its own grandchild, and onto itself: a beep, no question, nothing changed.
    for (CZTPageNode* target : {enkel, projekte}) {
        std::unique_ptr<QMimeData> data(a->D().CreateDragData(projekte));
        a->answers = {1};
        EXPECT_FALSE(a->DropOnTree(*data, target));
    }
    EXPECT_EQ(a->D().beeps, 2);
    EXPECT_TRUE(a->asked.isEmpty());
    EXPECT_EQ(a->TreeShape(), start);

    struct Case {
        const char* source;
        const char* target;
        Qt::KeyboardModifiers keys;
        int answer; // 0 child, 1 neighbour
        const char* shape;
    } cases[] = {
        // "Zettrix" data without keys moves; the subtree goes along.
        {"Projekte", "S1", Qt::NoModifier, 1, "S1 Projekte(Memo Unter(Enkel)) S2"},
        {"Unter", "S2", Qt::NoModifier, 0, "S1 Projekte(Memo) S2(Unter(Enkel))"},
        // Ctrl copies, with the texts and files.
        {"Memo", "Enkel", Qt::ControlModifier, 0, "S1 Projekte(Memo) S2(Unter(Enkel(Memo)))"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<QMimeData> data(a->D().CreateDragData(Find(a->Doc(), c.source)));
        a->answers = {c.answer};
        EXPECT_TRUE(a->DropOnTree(*data, Find(a->Doc(), c.target), c.keys)) << c.source;
        EXPECT_EQ(a->TreeShape(), c.shape) << c.source;
    }
    EXPECT_EQ(a->asked[0], "Verschieben|Einfügen der Seite als|&Kindseite,&Nachbarseite,&Datei|1");
    EXPECT_EQ(a->asked[2], "Kopieren|Einfügen der Seite als|&Kindseite,&Nachbarseite,&Datei|1");
    CZTPageNode* copy = Find(a->Doc(), "Enkel")->FirstChild();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, memo);
    EXPECT_NE(a->Doc().PageText(copy).find("Gr\\'fc\\'dfe vom Memo"), std::string::npos);
    EXPECT_EQ(FileText(a->Doc(), copy, "daten.bin"), std::string(5000, 'd'));
    EXPECT_TRUE(a->Doc().IsModified());
    // Cancelled: nothing changes.
    std::unique_ptr<QMimeData> data(a->D().CreateDragData(s1));
    a->answers = {};
    EXPECT_FALSE(a->DropOnTree(*data, s2));
    EXPECT_EQ(a->TreeShape(), "S1 Projekte(Memo) S2(Unter(Enkel(Memo)))");
}

TEST_F(TreeDrag, SubtreeArrivesInASecondInstanceWithTextsAndFilesAndLeavesOnAMove) {
    SecondWindow();
    CZTPageNode* ziel = b->Doc().Tree().FirstRootPage();
    b->answers = {0}; // "&Kindseite"
    a->D().runDrag = [&](QDrag& drag, Qt::DropActions allowed) {
        EXPECT_EQ(allowed, Qt::CopyAction | Qt::MoveAction);
        // The other instance gets bytes, never our objects.
        std::unique_ptr<QMimeData> seen = AsBytes(*drag.mimeData());
        EXPECT_TRUE(b->DropOnTree(*seen, ziel));
        return Qt::MoveAction;
    };
    EXPECT_EQ(a->D().BeginTreeDrag(projekte), Qt::MoveAction);
    EXPECT_EQ(b->TreeShape(), "Ziel(Projekte(Memo Unter(Enkel))) Zweites");
    CZTPageNode* arrived = Find(b->Doc(), "Memo");
    ASSERT_NE(arrived, nullptr);
    EXPECT_NE(b->Doc().PageText(arrived).find("Gr\\'fc\\'dfe vom Memo"), std::string::npos);
    EXPECT_EQ(FileText(b->Doc(), arrived, "daten.bin"), std::string(5000, 'd'));
    EXPECT_EQ(b->frame->TreeView()->CurrentPage(), Find(b->Doc(), "Projekte"));
    EXPECT_TRUE(b->Doc().IsModified());
    // Moved out: gone from the first window.
    EXPECT_EQ(a->TreeShape(), "S1 S2");
    EXPECT_TRUE(prompter.messages.empty());

    // A copy stays.
    b->answers = {1};
    a->D().runDrag = [&](QDrag& drag, Qt::DropActions) {
        std::unique_ptr<QMimeData> seen = AsBytes(*drag.mimeData());
        EXPECT_TRUE(b->DropOnTree(*seen, nullptr, Qt::ControlModifier));
        return Qt::CopyAction;
    };
    a->D().BeginTreeDrag(s1);
    EXPECT_EQ(a->TreeShape(), "S1 S2");
    EXPECT_EQ(b->TreeShape(), "Ziel(Projekte(Memo Unter(Enkel))) Zweites S1");
}

TEST_F(TreeDrag, DamagedZettrixDataIsRefusedWithTheMessage) {
    SecondWindow();
    const std::string before = b->TreeShape();
    std::unique_ptr<QMimeData> good(a->D().CreateDragData(projekte));
    const QByteArray whole = good->data(QString::fromLatin1(kMimeZettrix));
    const QByteArray cases[] = {
        QByteArray("XXXX\x05Titel", 9),            // another tag
        whole.left(4),                             // ends before the title
        whole.left(whole.size() / 2),              // a document cut short
        whole.left(14) + QByteArray(200, '\x7f'),  // garbage after the title
    };
    for (int i = 0; i < 4; ++i) {
        const QByteArray& bytes = cases[i];
        prompter.messages.clear();
        QMimeData data;
        data.setData(QString::fromLatin1(kMimeZettrix), bytes);
        b->answers = {1};
        EXPECT_FALSE(b->DropOnTree(data, b->Doc().Tree().FirstRootPage()));
        EXPECT_EQ(b->TreeShape(), before);
        ASSERT_EQ(prompter.messages.size(), 1u) << i;
        EXPECT_EQ(prompter.messages[0].rfind("Datei ist zerstört. Unleserlich.", 0), 0u) << i << prompter.messages[0];
    }
    // The tag and the title are checked before anything is asked.
    EXPECT_EQ(b->asked.size(), 2);
}

TEST_F(TreeDrag, PageDraggedOutIsOneDocumentFileNamedAfterItsTitle) {
    std::vector<QUrl> urls;
    int32_t size = 0;
    a->D().runDrag = [&](QDrag& drag, Qt::DropActions) {
        const QList<QUrl> list = drag.mimeData()->urls();
        urls.assign(list.begin(), list.end());
        const QByteArray s = drag.mimeData()->data(QString::fromLatin1(kMimeFileSize));
        if (s.size() == 4) std::memcpy(&size, s.constData(), 4);
        return Qt::CopyAction;
    };
    a->D().BeginTreeDrag(projekte);
    ASSERT_EQ(urls.size(), 1u);
    const QString path = urls[0].toLocalFile();
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("Projekte.ztd"));
    EXPECT_EQ(QFileInfo(path).size(), size);
    EXPECT_EQ(a->TreeShape(), "Projekte(Memo Unter(Enkel)) S1 S2"); // a copy leaves the tree alone
    ScriptedPrompter quiet;
    CZTDocument read(quiet);
    ASSERT_TRUE(read.Open(QFile::encodeName(path).toStdString()));
    EXPECT_EQ(Shape(read.Tree().RootPages()), "Projekte(Memo Unter(Enkel))");
    EXPECT_EQ(FileText(read, Find(read, "Memo"), "daten.bin"), std::string(5000, 'd'));
    // The file goes with the document.
    a->frame->NewDocument();
    EXPECT_FALSE(QFileInfo::exists(path));

    // With the move effect the subtree leaves the tree.
    CZTPageNode* page = a->Doc().Tree().FirstRootPage();
    a->Doc().AddPage(nullptr, "Bleibt");
    a->D().runDrag = [&](QDrag& drag, Qt::DropActions) {
        EXPECT_EQ(drag.mimeData()->urls().size(), 1);
        return Qt::MoveAction;
    };
    a->D().BeginTreeDrag(page);
    EXPECT_EQ(a->TreeShape(), "Bleibt");
}

TEST_F(TreeDrag, FileListsOnTheFilesListAndOnTheTree) {
    const std::string one = t / "eins.txt", two = t / "zwei.txt";
    std::ofstream(one) << "erste Datei\n";
    std::ofstream(two) << "zweite Datei\n";
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(one)), QUrl::fromLocalFile(QString::fromStdString(two))});
    // Onto the files list of the current page.
    EXPECT_TRUE(a->DropOnFiles(files));
    EXPECT_EQ(a->frame->FilesView()->Names(), (QStringList{"eins.txt", "zwei.txt"}));
    EXPECT_EQ(FileText(a->Doc(), s1, "zwei.txt"), "zweite Datei\n");
    // Onto the tree as neighbour pages: in the order of the list.
    a->answers = {1, 1};
    EXPECT_TRUE(a->DropOnTree(files, projekte));
    EXPECT_EQ(a->TreeShape(), "Projekte(Memo Unter(Enkel)) eins.txt zwei.txt S1 S2");
    ASSERT_EQ(a->asked.size(), 2);
    EXPECT_EQ(a->asked[0], "Verschieben / Kopieren|Einfügen der Dateien in die Baumansicht als|&Kindseiten,"
                           "&Nachbarseiten,Einfügen als &Dateien in die Dateienansicht.|1");
    EXPECT_EQ(a->asked[1], "Frage...|Auch Dateien im Binär-Format öffnen?|&Alle,&Einzeln erfragen,&Keine,"
                           "Alle als &Datei aufnehmen|1");
    EXPECT_NE(a->Doc().PageText(Find(a->Doc(), "zwei.txt")).find("zweite Datei"), std::string::npos);
    EXPECT_EQ(a->frame->TreeView()->CurrentPage(), Find(a->Doc(), "eins.txt"));
    // As files into the page under the pointer; below the entries into a new page.
    a->answers = {2};
    EXPECT_TRUE(a->DropOnTree(files, s2));
    EXPECT_EQ(FileText(a->Doc(), s2, "eins.txt"), "erste Datei\n");
    a->answers = {2};
    EXPECT_TRUE(a->DropOnTree(files, nullptr));
    CZTPageNode* last = a->Doc().Tree().RootPages().back();
    EXPECT_EQ(last->Title(), "Neuer Eintrag");
    EXPECT_EQ(a->frame->FilesView()->Names(), (QStringList{"eins.txt", "zwei.txt"}));
}

TEST_F(TreeDrag, TextOnTheTreeBecomesANewPage) {
    QMimeData text;
    text.setText(QStringLiteral("Hallo Welt mit Ümlaut"));
    a->answers = {0};
    EXPECT_TRUE(a->DropOnTree(text, s1, Qt::NoModifier, Qt::CopyAction));
    EXPECT_EQ(a->asked[0], "Kopieren|Einfügen der Seite als|&Kindseite,&Nachbarseite,&Datei|2");
    CZTPageNode* page = s1->FirstChild();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Title(), "Neuer Eintrag");
    const std::string rtf = a->Doc().PageText(page);
    EXPECT_NE(rtf.find("Courier New"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\fs20"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("Hallo Welt mit \\'dcmlaut"), std::string::npos) << rtf;
    EXPECT_NE(a->frame->TreeView()->TitleEditor(), nullptr); // the title opens for editing
    // "&Datei": the text becomes a file of the page under the pointer.
    QApplication::processEvents();
    a->answers = {2};
    EXPECT_TRUE(a->DropOnTree(text, s2, Qt::NoModifier, Qt::CopyAction));
    EXPECT_EQ(FileText(a->Doc(), s2, "Neue Datei.txt"), "Hallo Welt mit \xDCmlaut");
}

TEST_F(TreeDrag, PageOnTheFilesListAsDocumentOrAsText) {
    a->frame->TreeView()->SelectPage(s2);
    std::unique_ptr<QMimeData> data(a->D().CreateDragData(projekte));
    a->answers = {1};
    a->checks = {true, true};
    a->format = 1; // text
    EXPECT_TRUE(a->DropOnFiles(*data));
    ASSERT_EQ(a->asked.size(), 1);
    EXPECT_EQ(a->asked[0], "Verschieben / Kopieren|Datei einfügen als|Zettrix &Dokument,&Text Inhalt|0");
    const std::string text = FileText(a->Doc(), s2, "Neue Datei.txt");
    for (const char* part : {"1 Projekte", "1.1 Memo", "Gr\xFC\xDF" "e vom Memo", "1.2 Unter", "1.2.1 Enkel"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    // Without the boxes: the page alone, no titles.
    std::unique_ptr<QMimeData> again(a->D().CreateDragData(memo));
    a->answers = {1};
    a->checks = {false, false};
    EXPECT_TRUE(a->DropOnFiles(*again));
    const std::string alone = FileText(a->Doc(), s2, "Neue Datei (#1).txt");
    EXPECT_EQ(alone.rfind("Gr\xFC\xDF" "e vom Memo", 0), 0u) << alone;
    EXPECT_EQ(alone.find("Memo\n1"), std::string::npos);
    // As a document: the subtree in a file named after the title.
    std::unique_ptr<QMimeData> doc(a->D().CreateDragData(projekte));
    a->answers = {0};
    EXPECT_TRUE(a->DropOnFiles(*doc));
    const std::string bytes = FileText(a->Doc(), s2, "Projekte.ztd");
    ScriptedPrompter quiet;
    CZTDocument read(quiet);
    const std::string path = t / "back.ztd";
    std::ofstream(path, std::ios::binary) << bytes;
    ASSERT_TRUE(read.Open(path));
    EXPECT_EQ(Shape(read.Tree().RootPages()), "Projekte(Memo Unter(Enkel))");
    // Dropping onto the list is no move: the tree keeps the page.
    EXPECT_EQ(a->TreeShape(), "Projekte(Memo Unter(Enkel)) S1 S2");
}

TEST_F(TreeDrag, PressingAndMovingTheMouseOnAnEntryStartsItsDrag) {
    std::vector<int32_t> dragged;
    Qt::DropActions offered;
    a->D().runDrag = [&](QDrag& drag, Qt::DropActions allowed) {
        if (auto* d = qobject_cast<CZTTreeMimeData*>(drag.mimeData())) dragged.push_back(d->SourceIdent());
        offered = allowed;
        return Qt::IgnoreAction;
    };
    CLeftView* tree = a->frame->TreeView();
    tree->expandAll();
    QApplication::processEvents();
    const QPoint at = tree->visualRect(tree->PageModel()->IndexOf(unter)).center();
    QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(tree->viewport(), at + QPoint(1, 1)); // not far enough yet
    EXPECT_TRUE(dragged.empty());
    QTest::mouseMove(tree->viewport(), at + QPoint(QApplication::startDragDistance() + 5, 0));
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(dragged, std::vector<int32_t>{unter->Ident()});
    EXPECT_EQ(offered, Qt::CopyAction | Qt::MoveAction);
    // A read-only document offers copies only.
    a->frame->SetReadOnly(true);
    QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(tree->viewport(), at + QPoint(QApplication::startDragDistance() + 5, 0));
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(dragged.size(), 2u);
    EXPECT_EQ(offered, Qt::CopyAction);
    EXPECT_EQ(a->TreeShape(), "Projekte(Memo Unter(Enkel)) S1 S2");
}

TEST_F(TreeDrag, DragOverEffectsFollowTheKeysAndTheDocument) {
    std::unique_ptr<QMimeData> page(a->D().CreateDragData(s1));
    QMimeData text;
    text.setText(QStringLiteral("x"));
    QMimeData other;
    other.setData(QStringLiteral("application/octet-stream"), "x");
    const Qt::DropActions both = Qt::CopyAction | Qt::MoveAction;
    struct Case {
        const QMimeData* data;
        Qt::KeyboardModifiers keys;
        Qt::DropAction effect;
    } cases[] = {
        {page.get(), Qt::NoModifier, Qt::MoveAction},
        {page.get(), Qt::ControlModifier, Qt::CopyAction},
        {page.get(), Qt::ControlModifier | Qt::ShiftModifier, Qt::IgnoreAction},
        {&text, Qt::NoModifier, Qt::CopyAction},
        {&text, Qt::AltModifier, Qt::MoveAction},
        {&other, Qt::NoModifier, Qt::IgnoreAction},
    };
    for (const Case& c : cases) EXPECT_EQ(a->D().TreeDragOver(c.data, c.keys, both), c.effect) << int(c.keys);
    // A copy-only source is never moved.
    EXPECT_EQ(a->D().TreeDragOver(page.get(), Qt::NoModifier, Qt::CopyAction), Qt::CopyAction);
    a->frame->SetReadOnly(true);
    EXPECT_EQ(a->D().TreeDragOver(page.get(), Qt::ControlModifier, both), Qt::IgnoreAction);
    EXPECT_FALSE(a->DropOnTree(text, s1));
    EXPECT_TRUE(a->asked.isEmpty());
}

TEST_F(TreeDrag, DragOverShowsTheTargetScrollsAtTheEdgesAndOpensARestingEntry) {
    CZTDocument& doc = a->Doc();
    for (int i = 0; i < 80; ++i) doc.AddPage(nullptr, "Weitere " + std::to_string(i));
    CLeftView* tree = a->frame->TreeView();
    QWidget* vp = tree->viewport();
    const CZTPageTreeModel* model = tree->PageModel();
    tree->collapseAll();
    tree->scrollToTop();
    QApplication::processEvents();
    CZTTreeDropFeedback& feedback = *a->D().Feedback();
    std::unique_ptr<QMimeData> page(a->D().CreateDragData(s1));
    const Qt::DropActions both = Qt::CopyAction | Qt::MoveAction;
    auto over = [&](QPoint at, const QMimeData& data, QEvent::Type type = QEvent::DragMove) {
        QDragMoveEvent e(at, both, &data, Qt::LeftButton, Qt::NoModifier, type);
        QApplication::sendEvent(vp, &e);
    };
    auto center = [&](CZTPageNode* n) { return tree->visualRect(model->IndexOf(n)).center(); };

    // The entry under the pointer is the target and is drawn as selected.
    const QModelIndex projIndex = model->IndexOf(projekte);
    auto painted = [&](CZTPageNode* n) {
        const QRect r = tree->visualRect(model->IndexOf(n));
        return vp->grab().toImage().pixelColor(vp->width() - 4, r.center().y()) !=
               tree->palette().color(QPalette::Base);
    };
    ASSERT_FALSE(painted(projekte));
    over(center(projekte), *page, QEvent::DragEnter);
    EXPECT_EQ(feedback.Target(), projIndex);
    EXPECT_EQ(tree->DropTarget(), projIndex);
    EXPECT_TRUE(painted(projekte));
    EXPECT_FALSE(tree->isExpanded(projIndex)); // not yet: the pointer has to rest
    // Resting on the collapsed entry opens it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return tree->isExpanded(projIndex); }, 5000));
    EXPECT_TRUE(tree->isExpanded(projIndex));
    // The target follows the pointer.
    over(center(memo), *page);
    EXPECT_EQ(feedback.Target(), model->IndexOf(memo));
    // Data the tree does not take shows no target.
    QMimeData other;
    other.setData(QStringLiteral("application/octet-stream"), "x");
    over(center(memo), other);
    EXPECT_FALSE(feedback.Target().isValid());
    EXPECT_FALSE(tree->DropTarget().isValid());

    // Resting at the bottom edge scrolls down, at the top edge up again.
    QScrollBar* bar = tree->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ASSERT_EQ(bar->value(), 0);
    over(QPoint(40, vp->height() - 2), *page);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() >= 2 * bar->singleStep(); }, 5000)) << bar->value();
    // The target is the entry under the pointer after scrolling.
    EXPECT_EQ(feedback.Target(), tree->indexAt(QPoint(40, vp->height() - 2)));
    const int down = bar->value();
    over(QPoint(40, 1), *page);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() < down; }, 5000));
    // Leaving ends it: no target, no more scrolling.
    QDragLeaveEvent leave;
    QApplication::sendEvent(vp, &leave);
    EXPECT_FALSE(feedback.Target().isValid());
    tree->scrollToTop();
    EXPECT_FALSE(painted(projekte));
    QTest::qWait(3 * CZTTreeDropFeedback::kStepMs);
    EXPECT_EQ(bar->value(), 0);

    // In the middle nothing scrolls; the drop removes the target before it asks.
    const int middle = vp->height() / 2;
    over(QPoint(40, middle), *page, QEvent::DragEnter);
    EXPECT_TRUE(feedback.Target().isValid());
    QTest::qWait(2 * CZTTreeDropFeedback::kStepMs);
    EXPECT_EQ(bar->value(), 0);
    bool targetShownWhileAsking = true;
    a->D().answerQuestion = [&](CZTDropQuestion&) {
        targetShownWhileAsking = feedback.Target().isValid() || tree->DropTarget().isValid();
        return -1;
    };
    QDropEvent drop(QPointF(40, middle), both, page.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &drop);
    EXPECT_FALSE(targetShownWhileAsking);
    EXPECT_FALSE(feedback.Target().isValid());
}

TEST_F(TreeDrag, FilesDraggedOutOfTheListAreTemporaryCopiesThatGoWithTheDocument) {
    CZTDocument& doc = a->Doc();
    const std::string notiz = "Notiz f\xFCr dich\n"; // Windows-1252, as stored
    zt::StoreFile(doc, memo, "notiz.txt", notiz, 1700000000);
    a->frame->TreeView()->SelectPage(memo);
    CZTListView* list = a->frame->FilesView();
    ASSERT_EQ(list->Names(), (QStringList{"daten.bin", "notiz.txt"}));
    CZTFilesDrag& drag = *a->D().FilesDrag();
    std::vector<QUrl> urls;
    Qt::DropActions offered;
    std::unique_ptr<QMimeData> seen;
    drag.runDrag = [&](QDrag& d, Qt::DropActions allowed) {
        offered = allowed;
        const QList<QUrl> list = d.mimeData()->urls();
        urls.assign(list.begin(), list.end());
        // What another program gets: the list's bytes.
        seen = std::make_unique<QMimeData>();
        seen->setData(QString::fromLatin1(kMimeUriList), d.mimeData()->data(QString::fromLatin1(kMimeUriList)));
        return Qt::CopyAction;
    };
    // Both selected, a press on one of them and a move: both go.
    list->selectAll();
    const QPoint at = list->visualItemRect(list->topLevelItem(1)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(list->viewport(), at + QPoint(0, 1)); // not far enough yet
    EXPECT_TRUE(urls.empty());
    QTest::mouseMove(list->viewport(), at + QPoint(0, QApplication::startDragDistance() + 5));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(urls.size(), 2u);
    // A move is offered for this program's own tree; the files stay in the
    // document whatever another program does.
    EXPECT_EQ(offered, Qt::CopyAction | Qt::MoveAction);
    const QString dir = QString::fromStdString(drag.TempFiles().Directory(false));
    ASSERT_FALSE(dir.isEmpty());
    const std::string expected[] = {std::string(5000, 'd'), notiz};
    const char* names[] = {"daten.bin", "notiz.txt"};
    for (size_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(urls[i].isLocalFile());
        const QFileInfo info(urls[i].toLocalFile());
        EXPECT_EQ(info.fileName(), QString::fromLatin1(names[i]));
        EXPECT_EQ(info.absolutePath(), dir);
        QFile f(info.filePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().toStdString(), expected[i]) << names[i];
    }
    EXPECT_EQ(QFileInfo(dir).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());

    // A second drag of the same file keeps its name and leaves no stray copy.
    list->SelectFile(QStringLiteral("notiz.txt"));
    urls.clear();
    EXPECT_EQ(drag.BeginDrag(), Qt::CopyAction);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(QFileInfo(urls[0].toLocalFile()).fileName(), QStringLiteral("notiz.txt"));
    EXPECT_EQ(drag.TempFiles().Paths().size(), 2u);

    // Not back onto its own list; another window takes the file.
    std::unique_ptr<QMimeData> own(drag.CreateDragData());
    EXPECT_FALSE(a->DropOnFiles(*own));
    EXPECT_EQ(list->Names(), (QStringList{"daten.bin", "notiz.txt"}));
    SecondWindow();
    EXPECT_TRUE(b->DropOnFiles(*seen));
    CZTPageNode* ziel = b->Doc().Tree().FirstRootPage();
    EXPECT_EQ(FileText(b->Doc(), ziel, "notiz.txt"), notiz); // the second drag's one file
    EXPECT_EQ(b->frame->FilesView()->Names(), QStringList{"notiz.txt"});

    // The copies go with the document.
    a->frame->NewDocument();
    EXPECT_FALSE(QFileInfo::exists(dir));
    EXPECT_TRUE(drag.TempFiles().Paths().empty());
}

// Answers name conflicts from a script; out of answers it cancels.
class ConflictScript : public zt::ConflictAsker {
public:
    std::deque<zt::ConflictAnswer> script;
    int asked = 0;
    zt::ConflictAnswer Ask(std::string&, const std::string&) override {
        ++asked;
        if (script.empty()) return zt::ConflictAnswer::Cancel;
        const zt::ConflictAnswer a = script.front();
        script.pop_front();
        return a;
    }
};

TEST_F(TreeDrag, FilesFromTheOwnListDroppedOnTheTreeAsFilesOrAsPages) {
    const std::string notiz = "Notiz f\xFCr dich\n";
    const QString question = QStringLiteral("|Einfügen der Seite als|&Kindseite,&Nachbarseite,&Datei|");
    struct Case {
        const char* what;
        const char* target;                // title of the page dropped on
        std::vector<std::string> dragged;  // selected in Memo's list
        Qt::KeyboardModifiers keys;        // Shift moves
        std::vector<int> answers;          // to the questions, in turn
        std::deque<zt::ConflictAnswer> conflicts;
        bool done;
        const char* asked;                 // title and preset of the first question
        const char* memoFiles;             // afterwards
        const char* targetFiles;
        const char* tree;
        bool modified;
    };
    const Case cases[] = {
        {"copy as file onto another page", "S2", {"daten.bin", "notiz.txt"}, Qt::NoModifier, {2}, {}, true,
         "Kopieren|2", "daten.bin notiz.txt", "alt.txt daten.bin notiz.txt", "", true},
        {"move as file onto another page", "S2", {"daten.bin", "notiz.txt"}, Qt::ShiftModifier, {2}, {}, true,
         "Verschieben|2", "", "alt.txt daten.bin notiz.txt", "", true},
        {"on the current page the preset is the neighbour; cancel", "Memo", {"notiz.txt"}, Qt::ShiftModifier, {},
         {}, false, "Verschieben|1", "daten.bin notiz.txt", "daten.bin notiz.txt", "", false},
        {"cancel on another page", "S2", {"notiz.txt"}, Qt::NoModifier, {}, {zt::ConflictAnswer::Cancel}, false, "Kopieren|2",
         "daten.bin notiz.txt", "alt.txt notiz.txt", "", false},
        {"as file onto its own page does nothing", "Memo", {"notiz.txt"}, Qt::ShiftModifier, {2}, {}, false,
         "Verschieben|1", "daten.bin notiz.txt", "daten.bin notiz.txt", "", false},
        {"neighbour pages in the order of the list", "S2", {"daten.bin", "notiz.txt"}, Qt::NoModifier, {1, 0}, {},
         true, "Kopieren|2", "daten.bin notiz.txt", "", "Projekte(Memo Unter(Enkel)) S1 S2 daten.bin notiz.txt",
         true},
        {"a child page first", "Unter", {"notiz.txt"}, Qt::ShiftModifier, {0}, {}, true, "Verschieben|2",
         "daten.bin notiz.txt", "", "Projekte(Memo Unter(notiz.txt Enkel)) S1 S2", true},
        {"a taken name made unique", "S2", {"notiz.txt"}, Qt::NoModifier, {2}, {zt::ConflictAnswer::Unique}, true,
         "Kopieren|2", "daten.bin notiz.txt", "alt.txt notiz (#1).txt notiz.txt", "", true},
        {"a skipped name stays in the source on a move", "S2", {"daten.bin", "notiz.txt"}, Qt::ShiftModifier, {2},
         {zt::ConflictAnswer::Skip}, true, "Verschieben|2", "notiz.txt", "alt.txt daten.bin notiz.txt", "", true},
        {"cancel at the conflict moves nothing", "S2", {"notiz.txt"}, Qt::ShiftModifier, {2},
         {zt::ConflictAnswer::Cancel}, false, "Verschieben|2", "daten.bin notiz.txt", "alt.txt notiz.txt", "",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        CZTDocument& doc = a->Doc();
        zt::StoreFile(doc, memo, "notiz.txt", notiz, 1700000000);
        CZTPageNode* target = Find(doc, c.target);
        ASSERT_NE(target, nullptr);
        if (target != memo) {
            zt::StoreFile(doc, target, "alt.txt", "alt", 1700000000);
            if (!c.conflicts.empty()) // a file of the same name is there
                zt::StoreFile(doc, target, "notiz.txt", "schon da", 1700000000);
        }
        doc.Tree().SetMark(memo, 0);
        doc.Tree().SetMark(target, 0);
        doc.Archive().SetModified(false);
        ConflictScript asker;
        asker.script = c.conflicts;
        CZTListView* list = a->frame->FilesView();
        list->conflictAsker = &asker;
        a->frame->TreeView()->SelectPage(memo);
        list->clearSelection();
        for (const std::string& n : c.dragged) {
            const QList<QTreeWidgetItem*> items = list->findItems(QString::fromStdString(n), Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1) << n;
            items.front()->setSelected(true);
        }
        std::unique_ptr<CZTFilesMimeData> data(a->D().FilesDrag()->CreateDragData());
        ASSERT_TRUE(data);
        const std::string before = a->TreeShape();
        a->answers = c.answers;
        EXPECT_EQ(a->DropOnTree(*data, target, c.keys), c.done);
        ASSERT_FALSE(a->asked.empty());
        const QString title = QString::fromUtf8(c.asked).section(QLatin1Char('|'), 0, 0);
        const QString preset = QString::fromUtf8(c.asked).section(QLatin1Char('|'), 1, 1);
        EXPECT_EQ(a->asked.front(), title + question + preset);
        EXPECT_EQ(doc.IsModified(), c.modified);
        EXPECT_EQ(a->TreeShape(), *c.tree ? std::string(c.tree) : before);
        if (*c.targetFiles) {
            a->frame->TreeView()->SelectPage(target);
            EXPECT_EQ(list->Names().join(QLatin1Char(' ')).toStdString(), c.targetFiles);
        }
        a->frame->TreeView()->SelectPage(memo);
        EXPECT_EQ(list->Names().join(QLatin1Char(' ')).toStdString(), c.memoFiles);
        if (c.done && c.answers.front() == 2) {
            // Both pages show the change of their files.
            EXPECT_EQ(target->Mark(), 2);
            EXPECT_EQ(memo->Mark(), c.keys & Qt::ShiftModifier ? 2 : 0);
            EXPECT_EQ(FileText(doc, target, "notiz.txt"), c.conflicts.empty() ? notiz : "schon da");
        }
        if (*c.tree) { // the new page's text is the file's; the copies read are gone
            EXPECT_NE(doc.PageText(Find(doc, c.dragged.back())).find("Notiz f"), std::string::npos);
            EXPECT_TRUE(a->D().FilesDrag()->TempFiles().Paths().empty());
        }
        list->conflictAsker = nullptr;
    }
}

TEST_F(TreeDrag, FilesFromTheOwnListMayMoveButAnotherProgramOnlyGetsCopies) {
    CZTListView* list = a->frame->FilesView();
    a->frame->TreeView()->SelectPage(memo);
    list->selectAll();
    CZTFilesDrag& drag = *a->D().FilesDrag();
    Qt::DropActions offered;
    drag.runDrag = [&](QDrag& d, Qt::DropActions allowed) {
        offered = allowed;
        EXPECT_EQ(d.mimeData()->urls().size(), 1);
        return Qt::MoveAction; // another program took them as a move
    };
    EXPECT_EQ(drag.BeginDrag(), Qt::MoveAction);
    EXPECT_EQ(offered, Qt::CopyAction | Qt::MoveAction);
    EXPECT_EQ(list->Names(), QStringList{"daten.bin"});
    EXPECT_EQ(FileText(a->Doc(), memo, "daten.bin"), std::string(5000, 'd'));
    // Over the tree Shift moves, else the files are copied.
    std::unique_ptr<CZTFilesMimeData> data(drag.CreateDragData());
    const Qt::DropActions both = Qt::CopyAction | Qt::MoveAction;
    EXPECT_EQ(a->D().TreeDragOver(data.get(), Qt::NoModifier, both), Qt::CopyAction);
    EXPECT_EQ(a->D().TreeDragOver(data.get(), Qt::ShiftModifier, both), Qt::MoveAction);
    EXPECT_EQ(a->D().TreeDragOver(data.get(), Qt::ControlModifier, both), Qt::CopyAction);
    EXPECT_EQ(a->D().TreeDragOver(data.get(), Qt::ShiftModifier, Qt::CopyAction), Qt::CopyAction);
    // A read-only document offers copies only.
    const std::function<bool()> editable = list->isEditable;
    list->isEditable = [] { return false; };
    EXPECT_EQ(drag.BeginDrag(), Qt::MoveAction);
    EXPECT_EQ(offered, Qt::CopyAction);
    list->isEditable = editable;
}

} // namespace
