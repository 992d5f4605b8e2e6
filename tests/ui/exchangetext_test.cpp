// The HTML site and text file commands of the main window: the dialogs
// answered as a user would, the files they write, the pages and text they
// read in, cancelling, and the messages for files that cannot be read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTextCharFormat>
#include <QTextCursor>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "exchange/exchange.h"
#include "exchange/textfiles.h"
#include "support/pageshape.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/commands.h"
#include "ui/exchangetextui.h"
#include "ui/exchangeui.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"
#include "ui/textview.h"

using namespace zt::ui;
using zt::test::OnNextModal;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;
namespace fs = std::filesystem;

namespace {

using zt::test::Shape;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The entry of the dialog filter that stands for a row of the format table.
QString FilterFor(int row, bool forWriting) {
    const QStringList entries = QString::fromStdString(zt::BuildQtFilter(forWriting)).split(QStringLiteral(";;"));
    for (int i = 0; i < entries.size(); ++i)
        if (zt::FormatOfFilter(i, forWriting) == row) return entries[i];
    return {};
}

// Every name below `dir`, relative, sorted.
std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

class ExchangeText : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        CZTDocument& doc = frame->Document();
        projects = doc.Tree().FirstRootPage();
        doc.RenamePage(projects, "Projekte");
        doc.SetPageText(projects, "{\\rtf1\\ansi Oben}");
        memo = doc.AddPage(projects, "Memo");
        doc.SetPageText(memo, "{\\rtf1\\ansi Hallo Gr\\'fc\\'dfe}");
        zt::StoreFile(doc, memo, "daten.bin", std::string(5000, 'd'), 1700000000);
        doc.AddPage(nullptr, "Ende");
        doc.Archive().SetModified(false);
        frame->TreeView()->SelectPage(projects);
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    std::string TreeShape() { return Shape(frame->Document().Tree().RootPages()); }
    CZTExchangeUi& X() { return *frame->Exchange(); }
    void Run(int id) {
        frame->UpdateCommandUI();
        frame->Execute(id);
        QApplication::processEvents();
    }
    std::string PlainText(const CZTPageNode* page) {
        std::string out;
        EXPECT_TRUE(zt::PageTextInFormat(frame->Document(), page->Ident(), zt::kFormatText, out));
        return zt::Cp1252ToUtf8(out);
    }

    ScriptedPrompter prompter;
    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    CZTPageNode* projects = nullptr;
    CZTPageNode* memo = nullptr;
    TempDir t;
};

} // namespace

TEST_F(ExchangeText, HtmlExportDialogWritesTheSiteAndKeepsItsSettings) {
    const std::string web = t / "web";
    fs::create_directories(web);
    bool stayedOpen = false;
    OnNextModal<CZTHtmlExportDialog>([&](CZTHtmlExportDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("HTML-Export"));
        EXPECT_TRUE(d->titleLine->isChecked());
        EXPECT_TRUE(d->linkHead->isChecked());
        EXPECT_TRUE(d->linkFoot->isChecked());
        EXPECT_TRUE(d->flat->isChecked()) << "without directory levels by default";
        d->accept(); // no folder yet
        stayedOpen = d->isVisible();
        d->chooseFolder = [&] { return QString::fromStdString(web); };
        for (QPushButton* b : d->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("&Durchsuchen")) QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(d->folder->text().toStdString(), web);
        d->head1->setText(QStringLiteral("<b>Kopf</b>"));
        d->levels->setChecked(true);
        d->linkFoot->setChecked(false);
        d->accept();
    });
    Run(ID_EXPORT_HTML);
    EXPECT_TRUE(stayedOpen);
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.front(), "Sie müssen zuerst einen Ordner auswählen.");

    const fs::path site = fs::path(web) / "HTML-Unbenannt";
    ASSERT_TRUE(fs::is_regular_file(site / "ztContent.htm"));
    const std::string page = Slurp(site / "Projekte/Memo/zt-Memo.htm");
    EXPECT_NE(page.find("<b>Kopf</b>"), std::string::npos);
    EXPECT_NE(page.find("Hallo"), std::string::npos);
    EXPECT_NE(page.find("href=\"../../ztContent.htm\""), std::string::npos) << "the way up from two levels";
    EXPECT_EQ(fs::file_size(site / "Projekte/Memo/ztf-daten.bin"), 5000u);
    EXPECT_TRUE(fs::is_regular_file(site / "Projekte/Memo/ztfContent.htm"));
    EXPECT_TRUE(fs::is_regular_file(site / "Ende/zt-Ende.htm"));
    EXPECT_FALSE(frame->Document().IsModified()) << "an export changes nothing in the document";

    // The dialog's values became the stored settings.
    EXPECT_EQ(settings.prefs.htmlDir, 0);
    EXPECT_EQ(settings.prefs.htmlLinkFoot, 0);
    {
        auto store = CZTSettings::Open();
        store->beginGroup(QStringLiteral("Preferences"));
        EXPECT_EQ(store->value(QStringLiteral("HtmlHead1")).toString(), QStringLiteral("<b>Kopf</b>"));
        EXPECT_EQ(store->value(QStringLiteral("HtmlDir")).toInt(), 0);
        EXPECT_EQ(store->value(QStringLiteral("HtmlLinkFoot")).toInt(), 0);
    }

    // The next run starts from them; Cancel writes nothing and keeps them.
    const std::vector<std::string> before = Listing(web);
    OnNextModal<CZTHtmlExportDialog>([&](CZTHtmlExportDialog* d) {
        EXPECT_EQ(d->head1->text(), QStringLiteral("<b>Kopf</b>"));
        EXPECT_TRUE(d->levels->isChecked());
        EXPECT_FALSE(d->linkFoot->isChecked());
        EXPECT_EQ(d->folder->text().toStdString(), web) << "the folder stays while the program runs";
        d->head1->setText(QStringLiteral("anders"));
        d->reject();
    });
    Run(ID_EXPORT_HTML);
    EXPECT_EQ(Listing(web), before);
    EXPECT_EQ(settings.prefs.htmlHead1, QStringLiteral("<b>Kopf</b>"));

    // A folder that cannot hold the site: the message, nothing written.
    zt::test::WriteFile(t / "datei", "x");
    prompter.messages.clear();
    OnNextModal<CZTHtmlExportDialog>([&](CZTHtmlExportDialog* d) {
        d->folder->setText(QString::fromStdString(t / "datei"));
        d->accept();
    });
    Run(ID_EXPORT_HTML);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].rfind("Fehler beim Erzeugen des Hauptverzeichnisses\n", 0), 0u)
        << prompter.messages[0];
    EXPECT_EQ(Listing(web), before);
}

TEST_F(ExchangeText, DocumentTextExportThroughTheSaveDialog) {
    // The real save dialog: "Document" ticked and disabled, titles asked for.
    const std::string out = t / "alles.txt";
    bool sawBoxes = false;
    OnNextModal<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(d->defaultSuffix(), QStringLiteral("rtf"));
        EXPECT_EQ(d->nameFilters().join(QStringLiteral(";;")), QString::fromStdString(zt::BuildQtFilter(true)));
        QCheckBox *document = nullptr, *titles = nullptr;
        for (QCheckBox* b : d->findChildren<QCheckBox*>()) {
            if (b->text() == QStringLiteral("Document")) document = b;
            if (b->text() == QString::fromUtf8("Titel einfügen")) titles = b;
        }
        if (!document || !titles) {
            d->reject();
            return;
        }
        sawBoxes = true;
        EXPECT_TRUE(document->isChecked());
        EXPECT_FALSE(document->isEnabled());
        EXPECT_FALSE(titles->isChecked());
        titles->setChecked(true);
        d->selectNameFilter(FilterFor(zt::kFormatText, true));
        d->selectFile(QString::fromStdString(out));
        QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection); // as the Save button does
    });
    Run(ID_EXPORT_TEXT);
    ASSERT_TRUE(sawBoxes);
    ASSERT_TRUE(fs::is_regular_file(out));
    const std::string text = zt::Cp1252ToUtf8(Slurp(out));
    EXPECT_NE(text.find("1 Projekte"), std::string::npos) << text;
    EXPECT_NE(text.find("1.1 Memo"), std::string::npos) << text;
    EXPECT_NE(text.find("Hallo Grüße"), std::string::npos) << text;
    EXPECT_NE(text.find("2 Ende"), std::string::npos) << text;
    EXPECT_TRUE(X().lastTitles) << "the titles choice is kept for the next export";

    // Cancel writes nothing.
    const std::vector<std::string> before = Listing(t.path());
    OnNextModal<QFileDialog>([&](QFileDialog* d) { d->reject(); });
    Run(ID_EXPORT_TEXT);
    EXPECT_EQ(Listing(t.path()), before);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ExchangeText, PageTextExportByFilterAndBoxes) {
    std::vector<bool> wholeDocument;
    TextExportChoice answer;
    X().chooseTextExport = [&](bool whole, TextExportChoice& choice) {
        wholeDocument.push_back(whole);
        choice = answer;
        return !answer.path.isEmpty();
    };
    auto position = [](int row) { return zt::FilterPosition(FilterFor(row, true).toStdString(), true); };
    struct Case {
        const char* name;
        int row;
        bool subtree;
        std::string expectIn, expectOut;
    };
    const Case cases[] = {
        // The subtree of the selected page as RTF: both pages.
        {"teil.rtf", zt::kFormatRtf, true, "Hallo", ""},
        // The page alone: not its child.
        {"seite.txt", zt::kFormatText, false, "Oben", "Hallo"},
        // MS-DOS text of the subtree: the code page 850 and CR LF.
        {"dos.txt", zt::kFormatDosText, true, "Hallo Gr\x81\xE1" "e", "\xFC"},
        // The name decides over the filter: ".rtf" stays RTF.
        {"name.rtf", zt::kFormatText, false, "{\\rtf1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answer = {QString::fromStdString(t / c.name), position(c.row), c.subtree, false};
        Run(ID_EXPORT_TEXT_PAGES);
        const std::string bytes = Slurp(t / c.name);
        EXPECT_NE(bytes.find(c.expectIn), std::string::npos) << bytes;
        if (!c.expectOut.empty()) EXPECT_EQ(bytes.find(c.expectOut), std::string::npos) << bytes;
    }
    EXPECT_NE(Slurp(t / "dos.txt").find("\r\n"), std::string::npos);
    EXPECT_EQ(Slurp(t / "teil.rtf").rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(wholeDocument, std::vector<bool>(4, false));
    EXPECT_TRUE(prompter.messages.empty());

    // Cancel: nothing written.
    const std::vector<std::string> before = Listing(t.path());
    answer = {};
    Run(ID_EXPORT_TEXT_PAGES);
    EXPECT_EQ(Listing(t.path()), before);

    // A target that cannot be written: the message names it, nothing is left behind.
    answer = {QString::fromStdString(t / "fehlt/x.rtf"), position(zt::kFormatRtf), true, false};
    Run(ID_EXPORT_TEXT_PAGES);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].find(t / "fehlt/x.rtf"), std::string::npos) << prompter.messages[0];
    EXPECT_EQ(Listing(t.path()), before);
}

TEST_F(ExchangeText, TextFilesImportedAsPages) {
    zt::test::WriteFile(t / "a.txt", "Gr\xFC\xDF" "e aus K\xF6ln");
    zt::test::WriteFile(t / "b.rtf", "{\\rtf1\\ansi {\\b fett}}");
    QString filterSeen;
    QStringList chosen;
    X().chooseFiles = [&](const QString& filter) {
        filterSeen = filter;
        return chosen;
    };
    std::vector<int> asked;
    int binaryAnswer = 1;
    X().answerChoice = [&](int q) {
        asked.push_back(q);
        return binaryAnswer;
    };

    // Cancel in the file dialog: nothing.
    Run(ID_IMPORT_TEXT_PAGES);
    EXPECT_EQ(filterSeen.toStdString(), zt::BuildQtFilter(false));
    EXPECT_EQ(TreeShape(), "Projekte(Memo) Ende");
    EXPECT_FALSE(frame->Document().IsModified());

    // Two files: the binary question, Cancel there ends the command.
    chosen = {QString::fromStdString(t / "a.txt"), QString::fromStdString(t / "b.rtf")};
    binaryAnswer = -1;
    Run(ID_IMPORT_TEXT_PAGES);
    EXPECT_EQ(asked, std::vector<int>{1});
    EXPECT_EQ(TreeShape(), "Projekte(Memo) Ende");
    EXPECT_FALSE(frame->Document().IsModified());

    // Answered: the pages arrive in order after the selected page.
    binaryAnswer = 1;
    Run(ID_IMPORT_TEXT_PAGES);
    EXPECT_EQ(TreeShape(), "Projekte(Memo) a.txt b.rtf Ende");
    EXPECT_TRUE(frame->Document().IsModified());
    const CZTPageNode* a = frame->Document().Tree().RootPages()[1];
    const CZTPageNode* b = frame->Document().Tree().RootPages()[2];
    EXPECT_NE(PlainText(a).find("Grüße aus Köln"), std::string::npos) << PlainText(a);
    EXPECT_NE(frame->Document().PageText(b).find("\\b"), std::string::npos) << "RTF stays RTF";
    EXPECT_EQ(frame->TreeView()->CurrentPage(), b);
    EXPECT_TRUE(prompter.messages.empty());

    // One file that cannot be read (gone since it was chosen): the message
    // names it, the document is left alone.
    frame->Document().Archive().SetModified(false);
    chosen = {QString::fromStdString(t / "weg.txt")};
    asked.clear();
    Run(ID_IMPORT_TEXT_PAGES);
    EXPECT_TRUE(asked.empty()) << "one file: no binary question";
    EXPECT_EQ(TreeShape(), "Projekte(Memo) a.txt b.rtf Ende");
    EXPECT_FALSE(frame->Document().IsModified());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].rfind("Fehler beim Laden der Datei:\n" + t / "weg.txt", 0), 0u)
        << prompter.messages[0];
}

TEST_F(ExchangeText, TextFilesInsertedAtTheCaret) {
    frame->TreeView()->SelectPage(memo);
    CZettrixView* view = frame->TextView();
    view->setFocus();
    view->SetActive(true);
    QTextCursor c = view->textCursor();
    c.movePosition(QTextCursor::End);
    view->setTextCursor(c);
    const QString start = view->toPlainText();
    ASSERT_EQ(start, QStringLiteral("Hallo Grüße"));

    zt::test::WriteFile(t / "dos.txt", " Gr\x81\xE1" "e\r\n"); // code page 850
    zt::test::WriteFile(t / "f.rtf", "{\\rtf1\\ansi { \\b fett}}");
    zt::test::WriteFile(t / "bin.dat", std::string("x\0y\0z", 5));
    QString filterSeen;
    QStringList chosen;
    QString chosenFilter;
    view->chooseTextFiles = [&](const QString& filter, QString& picked) {
        filterSeen = filter;
        picked = chosenFilter;
        return chosen;
    };

    // Cancel: nothing changes.
    Run(ID_IMPORT_TEXT);
    EXPECT_EQ(filterSeen.toStdString(), zt::BuildQtFilter(false)) << "the reading filter of the format table";
    EXPECT_EQ(view->toPlainText(), start);

    // The MS-DOS filter converts from the OEM code page; RTF comes in as RTF.
    chosenFilter = FilterFor(zt::kFormatDosText, false);
    chosen = {QString::fromStdString(t / "dos.txt"), QString::fromStdString(t / "f.rtf")};
    Run(ID_IMPORT_TEXT);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("Hallo Grüße Grüße\n fett"));
    QTextCursor bold = view->textCursor();
    bold.movePosition(QTextCursor::End);
    bold.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor);
    EXPECT_GE(bold.charFormat().fontWeight(), QFont::Bold);
    EXPECT_TRUE(prompter.messages.empty());

    // A binary file asks; No skips it. A file that cannot be read is told.
    const QString after = view->toPlainText();
    chosenFilter = FilterFor(zt::kFormatText, false);
    chosen = {QString::fromStdString(t / "bin.dat"), QString::fromStdString(t / "fehlt.txt")};
    prompter.answers = {false};
    Run(ID_IMPORT_TEXT);
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_NE(prompter.questions[0].find("scheint in einem Binär-Format zu sein."), std::string::npos);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].rfind("Fehler beim Laden der Datei:\n" + t / "fehlt.txt", 0), 0u)
        << prompter.messages[0];
    EXPECT_EQ(view->toPlainText(), after);
}
