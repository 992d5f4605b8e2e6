// The text view: the editing commands on a QTextDocument selection, page
// loading, saving and switching, pictures, the tab dialog, the ruler and the
// composition of pages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMenu>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>

#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "text/pagecolors.h"
#include "text/pagertf.h"
#include "text/qt/rtfdocument.h"
#include "ui/commands.h"
#include "ui/mainframe.h"
#include "ui/rulerbar.h"
#include "ui/settings.h"
#include "ui/tabdialog.h"
#include "ui/textformat.h"
#include "ui/textview.h"

using namespace zt::ui;
namespace tq = zt::textqt;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;

namespace {

// A document of paragraphs; each paragraph's text and block format set by the
// case.
QTextCursor Select(QTextDocument& doc, int from, int to) {
    QTextCursor c(&doc);
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    return c;
}

void SetBold(QTextDocument& doc, int from, int to) {
    QTextCursor c = Select(doc, from, to);
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    c.mergeCharFormat(f);
}

void SetSize(QTextDocument& doc, int from, int to, double pt) {
    QTextCursor c = Select(doc, from, to);
    QTextCharFormat f;
    f.setFontPointSize(pt);
    f.setFontFamilies(QStringList{QStringLiteral("Arial")});
    c.mergeCharFormat(f);
}

void SetStart(QTextBlock b, int start, int offset = 0) {
    QTextCursor c(b);
    QTextBlockFormat f = b.blockFormat();
    tq::SetIndents(f, {start, offset, 0});
    c.setBlockFormat(f);
}

struct FormatCase {
    const char* name;
    const char* text;
    std::function<void(QTextDocument&)> setup;
    std::function<void(QTextDocument&)> act;
    std::function<void(QTextDocument&)> check;
};

bool AllBold(QTextDocument& doc, int from, int to) {
    return HasEffectUniformly(Select(doc, from, to), CharEffect::Bold);
}

TEST(TextFormat, CommandTable) {
    const CZTEditDefaults defaults; // Arial 12 pt, step 720
    const std::vector<FormatCase> cases = {
        {"bold on partly bold makes all bold", "abcdef", [](QTextDocument& d) { SetBold(d, 0, 3); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 6);
             ToggleCharEffect(c, CharEffect::Bold);
         },
         [](QTextDocument& d) {
             EXPECT_TRUE(AllBold(d, 0, 6));
             for (const auto& f : SelectionCharFormats(Select(d, 0, 6)))
                 EXPECT_TRUE(f.boolProperty(tq::kProtectedProperty));
         }},
        {"bold on all bold clears it", "abcdef", [](QTextDocument& d) { SetBold(d, 0, 6); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 6);
             ToggleCharEffect(c, CharEffect::Bold);
         },
         [](QTextDocument& d) {
             EXPECT_FALSE(HasEffectUniformly(Select(d, 0, 1), CharEffect::Bold));
             EXPECT_FALSE(HasEffectUniformly(Select(d, 5, 6), CharEffect::Bold));
         }},
        {"superscript on 12 pt goes up 12 twips", "x2", [](QTextDocument& d) { SetSize(d, 0, 2, 12); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 1, 2);
             ToggleSuperscript(c);
         },
         [](QTextDocument& d) {
             const auto f = SelectionCharFormats(Select(d, 1, 2)).front();
             EXPECT_EQ(f.verticalAlignment(), QTextCharFormat::AlignSuperScript);
             EXPECT_EQ(f.intProperty(tq::kOffsetTwipsProperty), 12);
             EXPECT_TRUE(IsSuperscript(Select(d, 1, 2)));
         }},
        {"subscript on 12 pt goes down 80 twips", "x2", [](QTextDocument& d) { SetSize(d, 0, 2, 12); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 1, 2);
             ToggleSubscript(c);
         },
         [](QTextDocument& d) {
             const auto f = SelectionCharFormats(Select(d, 1, 2)).front();
             EXPECT_EQ(f.verticalAlignment(), QTextCharFormat::AlignSubScript);
             EXPECT_EQ(f.intProperty(tq::kOffsetTwipsProperty), -80);
         }},
        {"subscript twice clears it and the offset", "x2", [](QTextDocument& d) { SetSize(d, 0, 2, 12); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 1, 2);
             ToggleSubscript(c);
             ToggleSubscript(c);
         },
         [](QTextDocument& d) {
             const auto f = SelectionCharFormats(Select(d, 1, 2)).front();
             EXPECT_EQ(f.verticalAlignment(), QTextCharFormat::AlignNormal);
             EXPECT_EQ(f.intProperty(tq::kOffsetTwipsProperty), 0);
         }},
        {"indent more on 0 and 720 gives one step", "a\nb",
         [](QTextDocument& d) { SetStart(d.findBlockByNumber(1), 720); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 3);
             IndentMore(c, 720);
         },
         [](QTextDocument& d) {
             EXPECT_EQ(tq::GetIndents(d.findBlockByNumber(0).blockFormat()).start, 720);
             EXPECT_EQ(tq::GetIndents(d.findBlockByNumber(1).blockFormat()).start, 720);
         }},
        {"indent more on a shared 720 adds a step", "a",
         [](QTextDocument& d) { SetStart(d.firstBlock(), 720); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 0);
             IndentMore(c, 720);
         },
         [](QTextDocument& d) { EXPECT_EQ(tq::GetIndents(d.firstBlock().blockFormat()).start, 1440); }},
        {"indent less on 300 with step 720 gives 0", "a",
         [](QTextDocument& d) { SetStart(d.firstBlock(), 300); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 0);
             IndentLess(c, 720);
         },
         [](QTextDocument& d) { EXPECT_EQ(tq::GetIndents(d.firstBlock().blockFormat()).start, 0); }},
        {"bullets keep a hanging offset of 200", "a",
         [](QTextDocument& d) { SetStart(d.firstBlock(), 0, 200); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 0);
             ToggleBullets(c, 720);
         },
         [](QTextDocument& d) {
             EXPECT_TRUE(tq::HasBullet(d.firstBlock()));
             EXPECT_EQ(tq::GetIndents(d.firstBlock().blockFormat()).offset, 200);
         }},
        {"bullets on offset 0 set the indent step; off again clears it", "a", [](QTextDocument&) {},
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 0);
             ToggleBullets(c, 720);
             EXPECT_EQ(tq::GetIndents(d.firstBlock().blockFormat()).offset, 720);
             ToggleBullets(c, 720);
         },
         [](QTextDocument& d) {
             EXPECT_FALSE(tq::HasBullet(d.firstBlock()));
             EXPECT_EQ(tq::GetIndents(d.firstBlock().blockFormat()).offset, 0);
         }},
        {"use default font on the default face keeps the size", "abc",
         [](QTextDocument& d) { SetSize(d, 0, 3, 20); },
         [defaults](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 3);
             EXPECT_FALSE(UseDefaultFont(c, defaults));
         },
         [](QTextDocument& d) { EXPECT_EQ(GetSelectionFont(Select(d, 0, 3)).points, 20); }},
        {"use default font sets the face, not the size", "abc",
         [](QTextDocument& d) {
             SetSize(d, 0, 3, 20);
             QTextCursor c = Select(d, 0, 3);
             SetFontFace(c, QStringLiteral("Courier New"), 0);
         },
         [defaults](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 3);
             EXPECT_TRUE(UseDefaultFont(c, defaults));
         },
         [](QTextDocument& d) {
             const SelectionFont f = GetSelectionFont(Select(d, 0, 3));
             EXPECT_EQ(f.face, QStringLiteral("Arial"));
             EXPECT_EQ(f.points, 20);
             EXPECT_EQ(SelectionCharFormats(Select(d, 0, 3)).front().intProperty(tq::kCharsetProperty), 1);
         }},
        {"colour off removes the explicit colour", "abc",
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 3);
             SetTextColour(c, QColor(Qt::red));
             EXPECT_TRUE(HasExplicitColour(Select(d, 1, 2)));
         },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 3);
             SetTextColour(c, std::nullopt);
         },
         [](QTextDocument& d) { EXPECT_FALSE(HasExplicitColour(Select(d, 0, 3))); }},
        {"upper case keeps the formats", "abc ßx", [](QTextDocument& d) { SetBold(d, 0, 1); },
         [](QTextDocument& d) {
             QTextCursor c = Select(d, 0, 6);
             ConvertCase(c, true);
         },
         [](QTextDocument& d) {
             EXPECT_EQ(d.toPlainText(), QStringLiteral("ABC ßX"));
             EXPECT_TRUE(AllBold(d, 0, 1));
             EXPECT_FALSE(AllBold(d, 1, 2));
         }},
    };
    for (const FormatCase& k : cases) {
        SCOPED_TRACE(k.name);
        QTextDocument doc;
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(12);
        doc.setDefaultFont(f);
        doc.setPlainText(QString::fromUtf8(k.text));
        k.setup(doc);
        k.act(doc);
        k.check(doc);
    }
}

TEST(TextFormat, TakeDefaultFont) {
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("abcdef"));
    SetSize(doc, 0, 3, 10);
    SetSize(doc, 3, 6, 14);
    CZTEditDefaults d;
    EXPECT_FALSE(TakeDefaultFont(Select(doc, 0, 6), d)); // mixed sizes
    EXPECT_EQ(d.face, QStringLiteral("Arial"));
    EXPECT_EQ(d.sizeTwips, 240);
    QTextCursor c = Select(doc, 3, 6);
    SetFontFace(c, QStringLiteral("Courier New"), 0);
    EXPECT_TRUE(TakeDefaultFont(Select(doc, 3, 6), d));
    EXPECT_EQ(d.face, QStringLiteral("Courier New"));
    EXPECT_EQ(d.sizeTwips, 280);
}

TEST(TextFormat, TabPositionsInTheRulerUnit) {
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(ParseTabPosition(QStringLiteral("1"), 0, de), 568);
    EXPECT_EQ(FormatTabPosition(568, 0, de), QStringLiteral("1"));
    EXPECT_EQ(ParseTabPosition(QStringLiteral("2,5"), 1, de), 3600);
    EXPECT_EQ(FormatTabPosition(3600, 1, de), QStringLiteral("2,5"));
    EXPECT_EQ(FormatTabPosition(3600, 1, en), QStringLiteral("2.5"));
    EXPECT_EQ(FormatTabPosition(1000, 1, de), QStringLiteral("0,69"));
    EXPECT_FALSE(ParseTabPosition(QStringLiteral(""), 1, de));
    EXPECT_FALSE(ParseTabPosition(QStringLiteral("abc"), 1, de));

    CZTTabList list;
    for (int i = 1; i <= 32; ++i) EXPECT_TRUE(list.Add(i * 100));
    EXPECT_FALSE(list.Add(5000)); // a 33rd
    EXPECT_FALSE(list.Add(100));  // listed already
    EXPECT_EQ(list.positions.size(), 32u);

    // The ruler refuses a 33rd stop too.
    CZTRulerBar ruler;
    CZTRulerBar::State s;
    for (int i = 1; i <= 32; ++i) s.tabs.push_back(i * 90);
    ruler.SetState(s);
    EXPECT_EQ(ruler.Press(8000, 10), CZTRulerBar::Hit::None);
    s.tabs.pop_back();
    ruler.SetState(s);
    EXPECT_EQ(ruler.Press(8000, 10), CZTRulerBar::Hit::NewTab);
}

TEST(TextFormat, TabDialog) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CZTTabDialog dlg({}, 0);
    QStringList messages;
    dlg.onMessage = [&](const QString& m) { messages << m; };
    dlg.entry->setText(QStringLiteral("1"));
    EXPECT_TRUE(dlg.Apply());
    EXPECT_EQ(dlg.Positions(), std::vector<int>{568});
    EXPECT_EQ(dlg.list->item(0)->text(), QStringLiteral("1"));
    EXPECT_TRUE(dlg.deleteAllButton->isEnabled());
    dlg.entry->setText(QStringLiteral("99"));
    EXPECT_FALSE(dlg.Apply());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("Der Wert muß zwischen 0 und 55,77 liegen."));
    EXPECT_EQ(dlg.Positions(), std::vector<int>{568});
    dlg.entry->setText(QStringLiteral("1"));
    dlg.Delete();
    EXPECT_TRUE(dlg.Positions().empty());
    dlg.entry->setText(QString());
    EXPECT_FALSE(dlg.applyButton->isEnabled());
    EXPECT_TRUE(dlg.okButton->isDefault());
    QLocale::setDefault(QLocale::system());
}

TEST(TextFormat, PageNumbers) {
    const struct {
        const char *from, *code, *to;
    } cases[] = {{"1", "c", "1.1"}, {"1.1", "n", "1.2"}, {"1.2.3", "p", "1.3"}, {"1.2.3", "pp", "2"},
                 {"1", "n", "2"},   {"2", "p", "3"}};
    for (const auto& k : cases) EXPECT_EQ(CZettrixView::NextNumber(k.from, k.code), k.to) << k.from << k.code;
}

TEST(TextFormat, GermanDateAndTime) {
    const QDateTime when(QDate(2026, 12, 9), QTime(14, 5, 33));
    EXPECT_EQ(CZettrixView::DateTimeText(when, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("Mittwoch, 9. Dezember 2026, 14:05"));
}

// ---- the view over a document

class TextView : public ::testing::Test {
protected:
    void SetUp() override {
        doc.New();
        a = doc.AddPage(nullptr, "A");
        b = doc.AddPage(nullptr, "B");
        doc.Archive().SetModified(false);
        view = std::make_unique<CZettrixView>(doc, prefs);
        view->SetActive(true);
    }
    // Types text at the caret as the user does.
    void Type(const QString& text) { QTest::keyClicks(view->viewport(), text); }
    int32_t Mtime(CZTPageNode* p) { return doc.Archive().GetPage(p->Ident()).mtime; }
    void StampOld(CZTPageNode* p) {
        CZTPageRecord r = doc.Archive().GetPage(p->Ident());
        r.mtime = 1;
        doc.Archive().PutPage(p->Ident(), std::move(r));
    }
    // The bridge writes formats (the full reader and writer, not the
    // plain-text stand-in).
    static bool BridgeKeepsFormats() {
        QTextDocument d;
        d.setPlainText(QStringLiteral("x"));
        SetBold(d, 0, 1);
        QTextDocument e;
        return tq::LoadRtf(tq::WriteRtf(d), e) && AllBold(e, 0, 1);
    }

    ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    CZTPreferences prefs;
    CZTPageNode* a = nullptr;
    CZTPageNode* b = nullptr;
    std::unique_ptr<CZettrixView> view;
};

TEST_F(TextView, TypedTextIsStoredOnSwitchAndComesBack) {
    view->ShowPage(a);
    EXPECT_FALSE(view->isReadOnly());
    Type(QStringLiteral("Hallo Welt"));
    EXPECT_FALSE(doc.IsModified()); // not stored yet
    view->ShowPage(b);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(a->Mark(), 4);
    const std::string stored = doc.PageText(a);
    EXPECT_NE(stored.find("{\\*\\ztxpict}"), std::string::npos);
    EXPECT_NE(stored.find("Hallo Welt"), std::string::npos);
    EXPECT_TRUE(view->toPlainText().isEmpty());
    EXPECT_NE(std::find(prompter.statuses.begin(), prompter.statuses.end(), "Speichere Seite. Bitte warten."),
              prompter.statuses.end());
    EXPECT_NE(std::find(prompter.statuses.begin(), prompter.statuses.end(), "Lade Seite. Bitte warten."),
              prompter.statuses.end());
    // Back on page A: the text and the remembered selection.
    QTextCursor c = view->textCursor();
    view->ShowPage(a);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("Hallo Welt"));
    EXPECT_EQ(view->textCursor().position(), 10);
}

TEST_F(TextView, LoadingNeitherMarksModifiedNorStoresAgain) {
    doc.SetPageText(a, zt::TextToPageRtf("Text", 12, false));
    doc.Archive().SetModified(false);
    doc.Tree().SetMark(a, 0);
    StampOld(a);
    view->ShowPage(a);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(view->document()->isModified());
    view->ShowPage(b);
    view->ShowPage(a);
    EXPECT_TRUE(view->SaveCurrentPage());
    EXPECT_EQ(Mtime(a), 1); // the store was not touched
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(a->Mark(), 0);
}

TEST_F(TextView, FormatSurvivesSaveAndReopen) {
    if (!BridgeKeepsFormats()) GTEST_SKIP() << "the RTF bridge does not keep formats yet";
    TempDir dir;
    view->ShowPage(a);
    Type(QStringLiteral("fett normal"));
    QTextCursor c = view->textCursor();
    c.setPosition(0);
    c.setPosition(4, QTextCursor::KeepAnchor);
    view->setTextCursor(c);
    view->Execute(ID_CHAR_BOLD);
    view->ShowPage(b);
    const std::string path = dir.path() + "/f.ztd";
    ASSERT_TRUE(doc.Save(path));
    ASSERT_TRUE(doc.Open(path));
    CZTPageNode* first = doc.Tree().FirstRootPage();
    view->ShowPage(first);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("fett normal"));
    QTextCursor r(view->document());
    r.setPosition(0);
    r.setPosition(4, QTextCursor::KeepAnchor);
    EXPECT_TRUE(HasEffectUniformly(r, CharEffect::Bold));
    r.setPosition(5);
    r.setPosition(11, QTextCursor::KeepAnchor);
    EXPECT_FALSE(HasEffectUniformly(r, CharEffect::Bold));
}

TEST_F(TextView, LegacyTrailerSetsTheBackground) {
    std::string text = "{\\rtf1\\ansi Rot}";
    const std::string trailer = "{\\ztxext\\ztxbgcolor16711680}";
    text += std::string(120 - text.size() - trailer.size(), ' ') + trailer;
    ASSERT_EQ(text.size(), 120u);
    doc.SetPageText(a, text);
    doc.Archive().SetModified(false);
    view->ShowPage(a);
    EXPECT_EQ(view->PageBackground(), QColor(255, 0, 0));
    EXPECT_EQ(view->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_FALSE(view->toPlainText().contains(QStringLiteral("ztxext")));
    std::string_view prop;
    ASSERT_TRUE(doc.Archive().Core().GetExtItem(a->Ident(), zt::PageColors::kExtKind, prop));
    EXPECT_EQ(zt::PageColors::Decode(prop).textBackground, 0x0000FFu);
    EXPECT_FALSE(doc.IsModified());
    // Another page shows the system colour again.
    view->ShowPage(b);
    EXPECT_FALSE(view->PageBackground().isValid());
}

TEST_F(TextView, PageBackgroundForSiblingsAndSubtrees) {
    CZTPageNode* child = doc.AddPage(b, "B1");
    doc.Archive().SetModified(false);
    view->ShowPage(a);
    view->SetPageBackground(QColor(0, 0, 255), true, true);
    EXPECT_TRUE(doc.IsModified());
    for (CZTPageNode* p : {a, b, child}) {
        std::string_view prop;
        ASSERT_TRUE(doc.Archive().Core().GetExtItem(p->Ident(), zt::PageColors::kExtKind, prop)) << p->Title();
        EXPECT_EQ(zt::PageColors::Decode(prop).textBackground, 0xFF0000u);
    }
    view->ShowPage(child);
    EXPECT_EQ(view->PageBackground(), QColor(0, 0, 255));
}

TEST_F(TextView, ForcedSaveGoesToTheScratchRecord) {
    view->ShowPage(a);
    Type(QStringLiteral("Entwurf"));
    EXPECT_TRUE(view->SavePageText(0));
    EXPECT_NE(view->ScratchText().find("Entwurf"), std::string::npos);
    EXPECT_EQ(view->ScratchText().find("ztxpict"), std::string::npos); // no twin pass
    EXPECT_TRUE(doc.PageText(a).empty());
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(TextView, ReadOnlyWithoutPageOrForReadOnlyDocument) {
    view->ShowPage(nullptr);
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_FALSE(view->acceptDrops());
    EXPECT_FALSE(view->IsEnabled(ID_CHAR_BOLD));
    bool editable = false;
    view->documentEditable = [&] { return editable; };
    view->ShowPage(a);
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_FALSE(view->IsEnabled(ID_CHAR_BOLD));
    EXPECT_TRUE(view->IsEnabled(ID_EDIT_SELECT_ALL));
    editable = true;
    view->ShowPage(b);
    EXPECT_FALSE(view->isReadOnly());
    EXPECT_TRUE(view->acceptDrops());
    EXPECT_TRUE(view->IsEnabled(ID_CHAR_BOLD));
    view->SetActive(false); // another view is active
    EXPECT_FALSE(view->IsEnabled(ID_CHAR_BOLD));
    bool checked = false;
    EXPECT_TRUE(view->IsEnabled(ID_WRAP_PRINTER, &checked)); // needs no page
    EXPECT_TRUE(checked);
}

TEST_F(TextView, DeletedPageIsNotSaved) {
    view->ShowPage(a);
    Type(QStringLiteral("weg"));
    doc.DeletePage(a, false);
    EXPECT_EQ(view->CurrentIdent(), 0);
    view->ShowPage(b);
    EXPECT_TRUE(doc.PageText(b).empty());
}

TEST_F(TextView, PictureIsInsertedAndStoredWithTwin) {
    zt::test::TempDir dir;
    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(Qt::green);
    const QString path = QString::fromStdString(dir.path() + "/p.png");
    ASSERT_TRUE(img.save(path));
    view->ShowPage(a);
    Type(QStringLiteral("Bild: "));
    ASSERT_TRUE(view->InsertPictureFile(path));
    EXPECT_FALSE(view->InsertPictureFile(QString::fromStdString(dir.path() + "/missing.png")));
    bool image = false;
    for (QTextBlock bl = view->document()->begin(); bl.isValid(); bl = bl.next())
        for (auto it = bl.begin(); !it.atEnd(); ++it) image |= it.fragment().charFormat().isImageFormat();
    EXPECT_TRUE(image);
    // A pasted bitmap becomes a picture too.
    QImage pasted(4, 4, QImage::Format_RGB32);
    pasted.fill(Qt::red);
    QApplication::clipboard()->setImage(pasted);
    const int before = view->document()->characterCount();
    view->Execute(ID_EDIT_PASTE);
    EXPECT_EQ(view->document()->characterCount(), before + 1);
    EXPECT_TRUE(SelectionCharFormats(Select(*view->document(), before - 1, before)).front().isImageFormat());
    view->ShowPage(b);
    const std::string stored = doc.PageText(a);
    EXPECT_NE(stored.find("{\\*\\ztxpict}"), std::string::npos);
    if (stored.find("\\pngblip") == std::string::npos) GTEST_SKIP() << "the RTF bridge does not write pictures yet";
    EXPECT_NE(stored.find("{\\*\\ztxpng\\ztxwidth8\\ztxheight6 "), std::string::npos);
}

TEST_F(TextView, ComposeSubtreeWithTitles) {
    CZTPageNode* c1 = doc.AddPage(a, "Eins");
    CZTPageNode* c2 = doc.AddPage(a, "Zwei");
    doc.SetPageText(a, zt::TextToPageRtf("Text A", 10, false));
    doc.SetPageText(c1, zt::TextToPageRtf("Text 1", 10, false));
    doc.SetPageText(c2, zt::TextToPageRtf("Text 2", 10, false));
    doc.Archive().SetModified(false);
    view->ShowPage(b);
    ASSERT_TRUE(view->ComposePages(a, 1, true));
    EXPECT_FALSE(doc.IsModified());
    const QStringList want = {QStringLiteral("1 A"), QStringLiteral("1.1 Eins"), QStringLiteral("1.2 Zwei")};
    QStringList titles;
    for (QTextBlock bl = view->document()->begin(); bl.isValid(); bl = bl.next()) {
        if (!want.contains(bl.text())) continue;
        titles << bl.text();
        QTextCursor c(bl);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        const QTextCharFormat f = SelectionCharFormats(c).front();
        EXPECT_EQ(f.fontWeight(), QFont::Bold) << bl.text().toStdString();
        EXPECT_TRUE(f.fontUnderline());
        EXPECT_EQ(f.fontPointSize(), 18);
    }
    EXPECT_EQ(titles, want);
    const QString text = view->toPlainText();
    EXPECT_LT(text.indexOf(QStringLiteral("1 A")), text.indexOf(QStringLiteral("Text A")));
    EXPECT_LT(text.indexOf(QStringLiteral("Text A")), text.indexOf(QStringLiteral("1.1 Eins")));
    EXPECT_LT(text.indexOf(QStringLiteral("1.2 Zwei")), text.indexOf(QStringLiteral("Text 2")));
    ASSERT_EQ(view->CompositionRecord().size(), 3u);
    EXPECT_EQ(view->CompositionRecord()[1].heading, "1.1 Eins");
    EXPECT_LT(view->CompositionRecord()[0].endOffset, view->CompositionRecord()[1].endOffset);
}

TEST_F(TextView, InsertModeAndCaretInTheStatusPanes) {
    QLabel caret, over;
    view->AttachStatusPanes(&caret, &over);
    view->ShowPage(a);
    Type(QStringLiteral("ab"));
    EXPECT_EQ(caret.text(), QStringLiteral("(1,2)"));
    QTest::keyClick(view->viewport(), Qt::Key_Insert);
    EXPECT_FALSE(view->InsertMode());
    EXPECT_EQ(over.text(), QStringLiteral("ÜB"));
    QTest::keyClick(view->viewport(), Qt::Key_Insert);
    EXPECT_EQ(over.text(), QString());
}

TEST_F(TextView, TextFilesAtTheCaret) {
    TempDir dir;
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(QString::fromStdString(dir / name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    view->ShowPage(a);
    EXPECT_TRUE(view->InsertTextFile(write("t.txt", "Zeile eins\nzwei")));
    prompter.answers = {false};
    EXPECT_TRUE(view->InsertTextFile(write("b.bin", QByteArray("x\0y", 3)))); // asked, skipped
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_NE(prompter.questions[0].find("scheint in einem Binär-Format zu sein."), std::string::npos);
    EXPECT_FALSE(view->InsertTextFile(QString::fromStdString(dir / "missing.txt")));
    EXPECT_EQ(view->toPlainText(), QStringLiteral("Zeile eins\nzwei"));
}

TEST_F(TextView, RulerSetsIndentsAndTabStops) {
    view->ShowPage(a);
    Type(QStringLiteral("Absatz"));
    CZTRulerBar* ruler = view->Ruler();
    ASSERT_NE(ruler, nullptr);
    // The left marker's lower square moves both markers; positions snap to
    // the unit (inch: 90 twips).
    EXPECT_EQ(ruler->Press(0, CZTRulerBar::kHeight - 3), CZTRulerBar::Hit::Left);
    ruler->Drag(700, CZTRulerBar::kHeight - 3);
    ruler->Release();
    tq::ParaIndents p = tq::GetIndents(view->textCursor().blockFormat());
    EXPECT_EQ(p.start, 720);
    EXPECT_EQ(p.offset, 0);
    // The first-line marker alone: the left indent stays.
    EXPECT_EQ(ruler->Press(720, 2), CZTRulerBar::Hit::FirstLine);
    ruler->Drag(1000, 2);
    ruler->Release();
    p = tq::GetIndents(view->textCursor().blockFormat());
    EXPECT_EQ(p.start, 990);
    EXPECT_EQ(p.offset, -270);
    // A new tab stop, then one dragged off the ruler.
    EXPECT_EQ(ruler->Press(3000, 10), CZTRulerBar::Hit::NewTab);
    ruler->Release();
    EXPECT_EQ(UniformTabStops(view->textCursor()), std::vector<int>{2970});
    EXPECT_EQ(ruler->Press(2970, 10), CZTRulerBar::Hit::Tab);
    ruler->Drag(2970, 100);
    ruler->Release();
    EXPECT_EQ(UniformTabStops(view->textCursor()), std::vector<int>{});
}

TEST_F(TextView, ContextMenuEntries) {
    view->ShowPage(a);
    std::unique_ptr<QMenu> menu(view->CreateContextMenu(nullptr));
    EXPECT_EQ(menu->objectName(), QStringLiteral("EditRclick"));
    std::function<QString(QMenu*)> shape = [&](QMenu* m) {
        QStringList items;
        for (QAction* a : m->actions()) {
            if (a->isSeparator()) continue;
            items << (a->menu() ? a->text() + "(" + shape(a->menu()) + ")" : a->text());
        }
        return items.join(QStringLiteral("|"));
    };
    EXPECT_EQ(shape(menu.get()),
              QStringLiteral("Fettschrift|Kursivschrift|Unterstrichen|Mehr...(Durchgestrichen|Hochgestellt|Tiefgestellt|"
                             "Großbuchstaben|Kleinbuchstaben)|Aufzählen|Einzug vergrößern|Einzug verkleinern|"
                             "Linksbündig|Zentriert|Rechtsbündig|Textfarbe(Verwenden...|Ausschalten)|"
                             "Texthintergrundfarbe(Verwenden...|Ausschalten)|Ausschneiden|Kopieren|Einfügen|"
                             "Alles markieren|Datum && Zeit einfügen|Seitenansicht...|Importieren(Text)|"
                             "Link verfolgen|Zurück|Rückgängig"));
    // Entries run through the command route.
    std::vector<int> ran;
    view->runCommand = [&](int id) { ran.push_back(id); };
    view->commandEnabled = [](int) { return true; };
    menu.reset(view->CreateContextMenu(nullptr));
    menu->actions().front()->trigger();
    EXPECT_EQ(ran, std::vector<int>{ID_CHAR_BOLD});
}

TEST_F(TextView, PasteKeepsTheFormatBeforeIt) {
    view->ShowPage(a);
    QApplication::clipboard()->setText(QStringLiteral("eingefügt"));
    Type(QStringLiteral("a"));
    view->Execute(ID_CHAR_BOLD); // the insertion format is bold
    view->Execute(ID_EDIT_PASTE);
    EXPECT_TRUE(view->toPlainText().endsWith(QStringLiteral("eingefügt")));
    EXPECT_TRUE(view->currentCharFormat().fontWeight() >= QFont::Bold);
}

TEST_F(TextView, FontBarFollowsTheSelection) {
    QComboBox faces, sizes;
    faces.addItems({QStringLiteral("Arial"), QStringLiteral("Courier New")});
    for (int s : {10, 12, 20}) sizes.addItem(QString::number(s));
    view->AttachFontBar(&faces, &sizes);
    view->ShowPage(a);
    Type(QStringLiteral("abc"));
    view->UpdateFontBar();
    EXPECT_TRUE(faces.isEnabled());
    EXPECT_EQ(faces.currentText(), QStringLiteral("Arial"));
    EXPECT_EQ(sizes.currentText(), QStringLiteral("12"));
    view->selectAll();
    sizes.setCurrentIndex(2);
    emit sizes.activated(2);
    EXPECT_EQ(GetSelectionFont(view->textCursor()).points, 20);
    view->SetActive(false);
    EXPECT_FALSE(faces.isEnabled());
}

// A face that is not installed is named in the box while it is the
// selection's face, and the extra entry goes when the face changes.
TEST_F(TextView, FontBoxNamesAFaceThatIsNotInstalled) {
    QComboBox faces, sizes;
    faces.addItems({QStringLiteral("Arial"), QStringLiteral("Courier New")});
    sizes.addItem(QStringLiteral("12"));
    view->AttachFontBar(&faces, &sizes);
    view->ShowPage(a);
    Type(QStringLiteral("abc"));
    view->selectAll();
    QTextCharFormat missing;
    missing.setFontFamilies({QStringLiteral("Nirgends Grotesk")});
    view->textCursor().mergeCharFormat(missing);
    view->UpdateFontBar();
    EXPECT_EQ(faces.currentText(), QStringLiteral("Nirgends Grotesk"));
    EXPECT_EQ(faces.count(), 3);
    view->UpdateFontBar(); // asked again: still one extra entry
    EXPECT_EQ(faces.count(), 3);
    QTextCharFormat arial;
    arial.setFontFamilies({QStringLiteral("Arial")});
    view->textCursor().mergeCharFormat(arial);
    view->UpdateFontBar();
    EXPECT_EQ(faces.currentText(), QStringLiteral("Arial"));
    EXPECT_EQ(faces.count(), 2);
}

// ---- in the main window

TEST(TextViewWindow, SaveWritesTheCurrentPageAndReopens) {
    CZTSettings::Open()->clear();
    CZTSettings settings;
    settings.Load();
    ScriptedPrompter prompter;
    CMainFrame frame(settings);
    frame.SetPrompter(&prompter);
    frame.show();
    CZettrixView* view = frame.TextView();
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->CurrentIdent(), 0);
    view->setFocus();
    view->SetActive(true);
    QTest::keyClicks(view->viewport(), QStringLiteral("Notiz"));
    frame.UpdateCommandUI();
    EXPECT_TRUE(frame.Action(ID_CHAR_BOLD)->isEnabled());
    EXPECT_TRUE(frame.IsCommandEnabled(ID_PAGE_BACKGROUND));
    view->selectAll();
    frame.Execute(ID_CHAR_BOLD);
    EXPECT_TRUE(HasEffectUniformly(view->textCursor(), CharEffect::Bold));
    EXPECT_TRUE(frame.Action(ID_CHAR_BOLD)->isChecked());
    frame.SetReadOnly(true);
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_FALSE(frame.Action(ID_CHAR_BOLD)->isEnabled());
    EXPECT_FALSE(frame.IsCommandEnabled(ID_PAGE_BACKGROUND));
    frame.SetReadOnly(false);
    EXPECT_FALSE(view->isReadOnly());
    zt::test::TempDir dir;
    const QString path = QString::fromStdString(dir.path() + "/n.ztd");
    ASSERT_TRUE(frame.SaveDocumentTo(path));
    EXPECT_FALSE(frame.Document().IsModified());
    ASSERT_TRUE(frame.OpenDocument(path));
    EXPECT_EQ(frame.TextView()->toPlainText(), QStringLiteral("Notiz"));
    EXPECT_FALSE(frame.Document().IsModified());
    frame.Document().Archive().SetModified(false);
}

} // namespace

// The view keeps the documents of pages it showed; one is shown again only
// while the page's stored text is still the one it was read from.
TEST_F(TextView, PagesShownBeforeComeBackOnlyWithTheirStoredText) {
    doc.SetPageText(a, zt::TextToPageRtf("eins", 12, false));
    doc.SetPageText(b, zt::TextToPageRtf("zwei", 12, false));
    view->ShowPage(a);
    view->ShowPage(b);
    view->ShowPage(a);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("eins"));
    // Changed behind the view's back (a replace, a script): read again.
    doc.SetPageText(b, zt::TextToPageRtf("zwei neu", 12, false));
    view->ShowPage(b);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("zwei neu"));
    // Edited in the view: stored on leaving, and what comes back is the store's.
    QTextCursor c = view->textCursor();
    c.movePosition(QTextCursor::End);
    view->setTextCursor(c);
    Type(QStringLiteral("!"));
    view->ShowPage(a);
    view->ShowPage(b);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("zwei neu!"));
    EXPECT_FALSE(view->document()->isUndoAvailable());
    // A page deleted and its ident used again never shows the old document.
    view->ShowPage(a);
    doc.DeletePage(b, true);
    CZTPageNode* c2 = doc.AddPage(nullptr, "C");
    doc.SetPageText(c2, zt::TextToPageRtf("drei", 12, false));
    view->ShowPage(c2);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("drei"));
}
