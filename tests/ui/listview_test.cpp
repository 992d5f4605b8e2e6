// The files list in the real main window: import with name conflicts and
// directory trees, rename, delete, new file, export, opening with a stand-in
// program (waiting and watching), temporary copies, the program lookup.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QUrl>
#include <QPushButton>
#include <QSettings>
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/archive.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "text/pagecolors.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "ui/backgrounddialog.h"
#include "ui/textview.h"
#include "ui/commands.h"
#include "ui/filedialogs.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/openwith.h"
#include "ui/settings.h"

using namespace zt::ui;
using zt::test::ReadFile;
using zt::test::OnNextModal;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;
using zt::test::WriteFile;

namespace {


void Click(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text) {
            b->click();
            return;
        }
    ADD_FAILURE() << "no button " << text.toStdString();
}

// Answers the "Frage..." dialog with "&Öffnen", the program replaced when given.
void OpenWith(const QString& program = {}) {
    OnNextModal<CZTOpenFileDialog>([program](CZTOpenFileDialog* d) {
        if (!program.isEmpty()) d->programEdit->setText(program);
        Click(d, QStringLiteral("&Öffnen"));
    });
}

void WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0700);
}

// A fake desktop: `xdg-mime` first on PATH names zt-fake.desktop, whose Exec
// runs `script` on the file.
class FakeDesktop {
public:
    FakeDesktop(const std::string& script) {
        oldPath_ = qEnvironmentVariable("PATH");
        WriteScript(bin_ / "xdg-mime", "echo zt-fake.desktop\n");
        const QString apps = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
        QDir().mkpath(apps);
        desktop_ = apps + QStringLiteral("/zt-fake.desktop");
        WriteFile(desktop_.toStdString(),
                  "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + script + " --edit %f\n[Other]\nExec=wrong\n");
        qputenv("PATH", QString::fromStdString(bin_.path() + ":").toUtf8() + oldPath_.toUtf8());
    }
    ~FakeDesktop() {
        qputenv("PATH", oldPath_.toUtf8());
        QFile::remove(desktop_);
    }

private:
    TempDir bin_;
    QString oldPath_, desktop_;
};

class ScriptedAsker : public zt::ConflictAsker {
public:
    std::deque<zt::ConflictAnswer> script;
    int asked = 0;
    zt::ConflictAnswer Ask(std::string&, const std::string&) override {
        ++asked;
        if (script.empty()) return zt::ConflictAnswer::Cancel;
        auto a = script.front();
        script.pop_front();
        return a;
    }
};

class FilesView : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        QApplication::setActiveWindow(frame.get());
        QTest::qWaitForWindowExposed(frame.get());
        list = frame->FilesView();
        page = frame->TreeView()->CurrentPage();
        ASSERT_NE(page, nullptr);
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    CZTDocument& Doc() { return frame->Document(); }
    std::string Content(CZTPageNode* p, const std::string& name) {
        CZTFileRecord r = Doc().Archive().GetFile(p->Ident(), name);
        const std::string* t = r.valid ? r.GetText() : nullptr;
        return t ? *t : "<none>";
    }
    void SelectAll() { list->selectAll(); }
    void Add(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(zt::StoreFile(Doc(), page, name, bytes, 100));
        list->Refresh();
    }

    CZTSettings settings;
    ScriptedPrompter prompter;
    std::unique_ptr<CMainFrame> frame;
    CZTListView* list = nullptr;
    CZTPageNode* page = nullptr;
    TempDir dir;
};

} // namespace

TEST_F(FilesView, ColumnsAndSorting) {
    ASSERT_EQ(list->columnCount(), 4);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Dateiname"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Größe"));
    // The widths grow with the font and never clip a date or a column title.
    EXPECT_GE(list->columnWidth(0), 120);
    EXPECT_GE(list->columnWidth(1), 60);
    const QFontMetrics fm(list->font());
    for (int c : {CZTListView::ModifiedColumn, CZTListView::CreatedColumn}) {
        EXPECT_GT(list->columnWidth(c), fm.horizontalAdvance(QStringLiteral("10.12.2026 00:00:00"))) << c;
        EXPECT_GT(list->columnWidth(c), QFontMetrics(list->header()->font()).horizontalAdvance(
                                            list->headerItem()->text(c))) << c;
    }
    EXPECT_TRUE(list->header()->stretchLastSection());
    Add("b.txt", "12345");
    Add("B.txt", "1");
    Add("a.txt", std::string(100, 'x'));
    // Byte order: upper case before lower case.
    EXPECT_EQ(list->Names(), (QStringList{"B.txt", "a.txt", "b.txt"}));
    list->sortByColumn(CZTListView::SizeColumn, Qt::AscendingOrder);
    EXPECT_EQ(list->Names(), (QStringList{"B.txt", "b.txt", "a.txt"}));
    list->sortByColumn(CZTListView::SizeColumn, Qt::DescendingOrder);
    EXPECT_EQ(list->Names(), (QStringList{"a.txt", "b.txt", "B.txt"}));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("100"));
}

TEST_F(FilesView, ImportTwiceThroughTheConflictDialog) {
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteFile(dir / n, std::string("first ") + n);
    const QStringList paths{QString::fromStdString(dir / "a.txt"), QString::fromStdString(dir / "b.txt"),
                            QString::fromStdString(dir / "c.txt")};
    EXPECT_EQ(list->ImportPaths(paths), 3);
    EXPECT_EQ(list->Names(), (QStringList{"a.txt", "b.txt", "c.txt"}));

    for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteFile(dir / n, std::string("second ") + n);
    int dialogs = 0;
    OnNextModal<CZTFileConflictDialog>([&](CZTFileConflictDialog* d) {
        ++dialogs;
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Datei existiert bereits"));
        EXPECT_EQ(d->Name(), QStringLiteral("a.txt"));
        OnNextModal<CZTFileConflictDialog>([&](CZTFileConflictDialog* d2) {
            ++dialogs;
            EXPECT_EQ(d2->Name(), QStringLiteral("b.txt"));
            Click(d2, QStringLiteral("Alle übers&chreiben"));
        });
        Click(d, QStringLiteral("&Eindeutig"));
    });
    EXPECT_EQ(list->ImportPaths(paths), 3);
    EXPECT_EQ(dialogs, 2); // c.txt is overwritten without asking
    EXPECT_EQ(list->Names(), (QStringList{"a (#1).txt", "a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(Content(page, "a.txt"), "first a.txt");
    EXPECT_EQ(Content(page, "a (#1).txt"), "second a.txt");
    EXPECT_EQ(Content(page, "c.txt"), "second c.txt");
}

TEST_F(FilesView, ImportADirectoryTreeAsPages) {
    namespace fs = std::filesystem;
    fs::create_directories(dir / "Ordner/Eins");
    fs::create_directories(dir / "Ordner/Zwei");
    WriteFile(dir / "Ordner/Eins/e.txt", "e");
    WriteFile(dir / "Ordner/Zwei/z1.txt", "z1");
    WriteFile(dir / "Ordner/Zwei/z2.txt", "z2");
    list->ImportPaths({QString::fromStdString(dir / "Ordner")});
    ASSERT_EQ(page->ChildCount(), 1u);
    CZTPageNode* folder = page->FirstChild();
    EXPECT_EQ(folder->Title(), "Ordner");
    ASSERT_EQ(folder->ChildCount(), 2u);
    EXPECT_EQ(folder->Child(0)->Title(), "Eins");
    EXPECT_EQ(Content(folder->Child(1), "z2.txt"), "z2");
    EXPECT_TRUE(list->Names().isEmpty()); // the current page got no files
    EXPECT_TRUE(Doc().IsModified());
}

TEST_F(FilesView, RenameInPlaceAndRefusals) {
    Add("a.txt", "A");
    Add("b.txt", "B");
    list->SelectFile(QStringLiteral("a.txt"));
    EXPECT_FALSE(list->RenameFile("a.txt", QStringLiteral("b.txt")));
    EXPECT_FALSE(list->RenameFile("a.txt", QStringLiteral("   ")));
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0], "Der Name wird bereits verwendet.");
    EXPECT_EQ(prompter.messages[1], "Der gewählte Name ist leer.");
    EXPECT_EQ(Content(page, "a.txt"), "A");

    // The editor of the list, with blanks around the new name.
    list->setFocus();
    frame->Execute(ID_FILES_RENAME);
    auto* editor = list->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("  Übersicht.txt "));
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::qWait(20);
    EXPECT_EQ(list->Names(), (QStringList{"b.txt", "Übersicht.txt"}));
    EXPECT_EQ(Content(page, "\xDC" "bersicht.txt"), "A");
    EXPECT_EQ(list->SelectedFiles(), std::vector<std::string>{"\xDC" "bersicht.txt"});
}

TEST_F(FilesView, DeleteNewFileAndReadOnly) {
    frame->Execute(ID_FILES_NEW);
    frame->Execute(ID_FILES_NEW);
    EXPECT_EQ(list->Names(), (QStringList{"Neue Datei (#1).txt", "Neue Datei.txt"}));
    EXPECT_EQ(Content(page, "Neue Datei.txt"), "");

    SelectAll();
    prompter.answers = {false};
    frame->Execute(ID_FILES_DELETE);
    EXPECT_EQ(list->Names().size(), 2);
    prompter.answers = {true};
    frame->Execute(ID_FILES_DELETE);
    EXPECT_TRUE(list->Names().isEmpty());
    ASSERT_EQ(prompter.questions.size(), 2u);
    EXPECT_EQ(prompter.questions[1], "Sind Sie sicher, die Datei(en) zu löschen ?");

    Add("x.txt", "x");
    list->SelectFile(QStringLiteral("x.txt"));
    frame->SetReadOnly(true);
    for (int id : {ID_FILES_NEW, ID_FILES_IMPORT, ID_FILES_DELETE, ID_FILES_RENAME})
        EXPECT_FALSE(frame->IsCommandEnabled(id)) << id;
    for (int id : {ID_FILES_OPEN, ID_FILES_EXPORT, ID_FILES_PROPERTIES, ID_FILES_SELECT_ALL})
        EXPECT_TRUE(frame->IsCommandEnabled(id)) << id;
    EXPECT_FALSE(frame->IsCommandEnabled(ID_FILES_INSERT_TEXT)); // the text cannot change
}

TEST_F(FilesView, ExportSeveralIntoAFolderWithConflicts) {
    Add("a.txt", "A");
    Add("b.txt", "B");
    Add("c:d.txt", "CD");
    const std::string out = dir / "out";
    std::filesystem::create_directory(out);
    WriteFile(out + "/a.txt", "old");
    WriteFile(out + "/b.txt", "old");
    ScriptedAsker asker;
    asker.script = {zt::ConflictAnswer::Unique, zt::ConflictAnswer::Skip};
    list->conflictAsker = &asker;
    list->chooseFolder = [&] { return QString::fromStdString(out); };
    SelectAll();
    frame->Execute(ID_FILES_EXPORT);
    EXPECT_EQ(asker.asked, 2);
    EXPECT_EQ(ReadFile(out + "/a.txt"), "old");
    EXPECT_EQ(ReadFile(out + "/a (#1).txt"), "A");
    EXPECT_EQ(ReadFile(out + "/b.txt"), "old");
    EXPECT_EQ(ReadFile(out + "/c-d.txt"), "CD");

    // One file: the save dialog proposes the safe name.
    QString proposed;
    list->chooseSavePath = [&](const QString& s) {
        proposed = s;
        return QString::fromStdString(out + "/single.bin");
    };
    list->SelectFile(QStringLiteral("c:d.txt"));
    frame->Execute(ID_FILES_EXPORT);
    EXPECT_EQ(proposed, QStringLiteral("c-d.txt"));
    EXPECT_EQ(ReadFile(out + "/single.bin"), "CD");
}

TEST_F(FilesView, DoubleClickWaitsAndReadsTheChangeBack) {
    const std::string editor = dir / "editor.sh";
    WriteScript(editor, "[ \"$1\" = --edit ] || exit 3\nprintf 'edited' > \"$2\"\n");
    FakeDesktop desktop(editor);
    Add("notiz.txt", "original");
    Doc().Tree().ApplyMark(page, CZTMarkEvent::Reset);
    QTreeWidgetItem* item = list->topLevelItem(0);

    // Cancel keeps the old content.
    prompter.answers = {false};
    OpenWith();
    emit list->itemDoubleClicked(item, 0);
    EXPECT_EQ(Content(page, "notiz.txt"), "original");
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], "Soll die veränderte Datei wieder eingelesen werden ?");
    EXPECT_TRUE(list->TempFiles().Paths().empty());

    prompter.answers = {true};
    OpenWith();
    emit list->itemDoubleClicked(list->topLevelItem(0), 0);
    EXPECT_EQ(Content(page, "notiz.txt"), "edited");
    EXPECT_EQ(page->Mark(), 2);
    EXPECT_TRUE(list->TempFiles().Paths().empty()); // the copy is gone

    // A read-only document is never asked to read a file back.
    frame->SetReadOnly(true);
    Doc().Archive().SetModified(false);
    OpenWith();
    emit list->itemDoubleClicked(list->topLevelItem(0), 0);
    EXPECT_EQ(prompter.questions.size(), 2u);
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_TRUE(list->TempFiles().Paths().empty());
}

TEST_F(FilesView, AProgramThatReturnsAtOnceIsWatched) {
    const std::string editor = dir / "handoff.sh";
    // Hands the file to "another instance" that writes it a moment later.
    WriteScript(editor, "(sleep 0.3; printf 'later' > \"$2\") >/dev/null 2>&1 &\nexit 0\n");
    FakeDesktop desktop(editor);
    Add("notiz.txt", "original");
    prompter.answers = {true};
    OpenWith();
    ASSERT_TRUE(list->OpenFile("notiz.txt", true));
    EXPECT_TRUE(prompter.questions.empty());
    ASSERT_EQ(list->WatchedFiles().size(), 1u);
    const std::string copy = list->WatchedFiles()[0];
    EXPECT_TRUE(QTest::qWaitFor([&] { return !prompter.questions.empty(); }, 5000));
    EXPECT_EQ(Content(page, "notiz.txt"), "later");

    // Closing the document deletes the copy.
    frame->NewDocument();
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_TRUE(list->WatchedFiles().empty());
}

TEST_F(FilesView, SameNamedFilesGetTheirOwnCopies) {
    CZTPageNode* other = Doc().AddPage(nullptr, "Andere");
    ASSERT_TRUE(zt::StoreFile(Doc(), page, "same.txt", "one", 5));
    ASSERT_TRUE(zt::StoreFile(Doc(), other, "same.txt", "two", 5));
    list->ShowPage(page);
    OpenWith(QStringLiteral("true"));
    ASSERT_TRUE(list->OpenFile("same.txt", false));
    list->ShowPage(other);
    OpenWith(QStringLiteral("true"));
    ASSERT_TRUE(list->OpenFile("same.txt", false));
    const auto paths = list->TempFiles().Paths();
    ASSERT_EQ(paths.size(), 2u); // from the menu the copies stay until the document closes
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_EQ(ReadFile(paths[0]), "one");
    EXPECT_EQ(ReadFile(paths[1]), "two");
    EXPECT_FALSE(list->TempFiles().Directory(false).empty());
}

TEST_F(FilesView, EncryptedDocumentsCopyIntoAPrivateRuntimeDirectory) {
    ASSERT_TRUE(Doc().Archive().KeyRing().CreateEncryption(CredentialsFromUtf8("ich", "geheim")));
    ASSERT_TRUE(Doc().Archive().IsEncrypted());
    Add("geheim.txt", "secret");
    OpenWith(QStringLiteral("true"));
    ASSERT_TRUE(list->OpenFile("geheim.txt", false));
    ASSERT_EQ(list->TempFiles().Paths().size(), 1u);
    const std::string path = list->TempFiles().Paths()[0];
    const std::string privateDir = list->TempFiles().Directory(true);
    EXPECT_EQ(path.rfind(qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString() + "/", 0), 0u);
    struct stat st;
    ASSERT_EQ(::stat(privateDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    list->DocumentClosing();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(privateDir));
}

TEST_F(FilesView, SaveInsteadOfOpening) {
    Add("a.txt", "A");
    list->chooseSavePath = [&](const QString&) { return QString::fromStdString(dir / "saved.txt"); };
    OnNextModal<CZTOpenFileDialog>([](CZTOpenFileDialog* d) { Click(d, QStringLiteral("&Speichern")); });
    EXPECT_TRUE(list->OpenFile("a.txt", false));
    EXPECT_EQ(ReadFile(dir / "saved.txt"), "A");
    EXPECT_TRUE(list->TempFiles().Paths().empty());
    EXPECT_FALSE(list->OpenFile("missing.txt", false));
    EXPECT_EQ(prompter.messages.back(), "Datei 'missing.txt' nicht gefunden.");
}

TEST_F(FilesView, InsertIntoTheText) {
    struct Target : ITextInsertTarget {
        std::vector<std::pair<std::string, bool>> texts;
        std::vector<QByteArray> pictures;
        bool InsertText(const std::string& b, bool rtf) override {
            texts.emplace_back(b, rtf);
            return true;
        }
        bool InsertPicture(const QByteArray& b) override {
            pictures.push_back(b);
            return true;
        }
    } target;
    list->SetInsertTarget(&target);
    Add("a.rtf", "{\\rtf1 x}");
    Add("b.bin", std::string("\0\1", 2));
    Add("c.txt", "Gr\xC3\xBC\xC3\x9F" "e");
    SelectAll();
    prompter.answers = {false};
    frame->Execute(ID_FILES_INSERT_TEXT);
    ASSERT_EQ(target.texts.size(), 2u);
    EXPECT_EQ(target.texts[0], std::make_pair(std::string("{\\rtf1 x}"), true));
    EXPECT_EQ(target.texts[1], std::make_pair(std::string("Gr\xC3\xBC\xC3\x9F" "e"), false));
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], "Die Datei\nb.bin\nscheint in einem Binär-Format zu sein.\nTrotzdem öffnen ?");
    list->SelectFile(QStringLiteral("b.bin"));
    frame->Execute(ID_FILES_INSERT_PICTURE);
    ASSERT_EQ(target.pictures.size(), 1u);
    EXPECT_EQ(target.pictures[0], QByteArray("\0\1", 2));
    EXPECT_TRUE(list->TempFiles().Paths().empty());
    list->SetInsertTarget(nullptr);
}

TEST_F(FilesView, DroppedTextBecomesANewFile) {
    QMimeData text;
    text.setText(QStringLiteral("Hallo Welt"));
    EXPECT_TRUE(list->TakeMimeData(&text));
    EXPECT_TRUE(list->TakeMimeData(&text));
    EXPECT_EQ(list->Names(), (QStringList{"Neue Datei (#1).txt", "Neue Datei.txt"}));
    EXPECT_EQ(Content(page, "Neue Datei.txt"), "Hallo Welt");

    WriteFile(dir / "dropped.txt", "d");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "dropped.txt"))});
    EXPECT_TRUE(list->TakeMimeData(&files));
    EXPECT_EQ(Content(page, "dropped.txt"), "d");
}

TEST(ProgramLookup, ExecFieldCodesAndQuoting) {
    EXPECT_EQ(ExecArguments(QStringLiteral("gedit %U")), QStringList{"gedit"});
    EXPECT_EQ(ExecArguments(QStringLiteral("\"/opt/my app/run\" --new-window %f")),
              (QStringList{"/opt/my app/run", "--new-window"}));
    EXPECT_EQ(ExecArguments(QStringLiteral("prog --icon %i %c %k --rate=100%% %F")),
              (QStringList{"prog", "--icon", "--rate=100%"}));
    // In the file a quote inside quotes is written with two backslashes.
    EXPECT_EQ(ExecArguments(QString::fromUtf8(R"(sh -c "echo \\"x\\"")")), (QStringList{"sh", "-c", "echo \"x\""}));
    const QStringList words{"/opt/my app/run", "a\"b", "plain"};
    EXPECT_EQ(QProcess::splitCommand(JoinCommand(words)), words);
}

TEST(ProgramLookup, FakeDesktopFileIsFound) {
    TempDir d;
    const std::string script = d / "viewer";
    WriteScript(script, "exit 0\n");
    FakeDesktop desktop(script);
    WriteFile(d / "x.txt", "hello");
    const CZTAssociation a = FindAssociation(QString::fromStdString(d / "x.txt"));
    EXPECT_EQ(a.mimeType, QStringLiteral("text/plain"));
    EXPECT_FALSE(a.executable);
    EXPECT_EQ(a.command, QString::fromStdString(script + " --edit"));
    WriteFile(d / "run.sh", "#!/bin/sh\necho hi\n");
    EXPECT_TRUE(FindAssociation(QString::fromStdString(d / "run.sh")).executable);
}

TEST_F(FilesView, PasteAFileListFromTheClipboard) {
    WriteFile(dir / "p.txt", "pasted");
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "p.txt"))});
    QApplication::clipboard()->setMimeData(data);
    list->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->hasFocus(); }, 1000));
    EXPECT_TRUE(frame->IsCommandEnabled(ID_EDIT_PASTE));
    frame->Execute(ID_EDIT_PASTE);
    EXPECT_EQ(Content(page, "p.txt"), "pasted");
    const QMimeData* left = QApplication::clipboard()->mimeData();
    EXPECT_TRUE(!left || !left->hasUrls()); // emptied afterwards
    list->SelectFile(QStringLiteral("p.txt"));
    EXPECT_FALSE(frame->IsCommandEnabled(ID_EDIT_PASTE)); // only with nothing selected
}

TEST_F(FilesView, PropertiesOfOneAndOfSeveralFiles) {
    Add("a.txt", "12345");
    Add("b.txt", "123");
    std::map<QString, QString> shown;
    auto read = [&](CZTFilePropertiesDialog* d) {
        shown.clear();
        for (QLineEdit* e : d->findChildren<QLineEdit*>()) shown[e->objectName()] = e->text();
        d->accept();
    };
    list->SelectFile(QStringLiteral("a.txt"));
    OnNextModal<CZTFilePropertiesDialog>(read);
    frame->Execute(ID_FILES_PROPERTIES);
    EXPECT_EQ(shown["Dateiname"], QStringLiteral("a.txt"));
    EXPECT_EQ(shown["Langer Name"], QString::fromStdString(zt::Cp1252ToUtf8(zt::PagePath(page))) + "/a.txt");
    EXPECT_TRUE(shown["Größe der Datei"].startsWith(QStringLiteral("5 Bytes (komprimiert ")));
    SelectAll();
    OnNextModal<CZTFilePropertiesDialog>(read);
    frame->Execute(ID_FILES_PROPERTIES);
    EXPECT_TRUE(shown["Dateiname"].isEmpty());
    EXPECT_TRUE(shown["Größe der Datei"].startsWith(QStringLiteral("8 Bytes (komprimiert ")));
}

TEST_F(FilesView, BackgroundColourForThePageAndItsSiblings) {
    CZTPageNode* sibling = Doc().AddPage(page->Parent(), "Nachbar");
    OnNextModal<CZTBackgroundDialog>([](CZTBackgroundDialog* d) {
        d->SetColour(QColor(0x10, 0x20, 0x30));
        d->siblings->setChecked(true);
        d->accept();
    });
    frame->Execute(ID_FILES_BACKGROUND);
    for (CZTPageNode* p : {page, sibling}) {
        std::string_view data;
        ASSERT_TRUE(Doc().Archive().GetExtItem(p->Ident(), zt::PageColors::kExtKind, data));
        EXPECT_EQ(zt::PageColors::Decode(data).filesBackground, 0x302010u);
    }
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(0x10, 0x20, 0x30));
    frame->TreeView()->SelectPage(sibling);
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(0x10, 0x20, 0x30));
    Doc().AddPage(nullptr, "Ohne");
    frame->TreeView()->SelectPage(Doc().Tree().RootPages().back());
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(Qt::white));
}

// The files list and the text view together: a text file of the page goes
// into the page text at the caret and is stored with the page.
TEST_F(FilesView, InsertATextFileIntoThePageText) {
    ASSERT_EQ(list->InsertTarget(), static_cast<ITextInsertTarget*>(frame->TextView()));
    Add("gruss.txt", "Gr\xC3\xBC\xC3\x9F" "e aus der Datei\r\nZeile zwei");
    Doc().Archive().SetModified(false);
    list->SelectFile(QStringLiteral("gruss.txt"));
    ASSERT_TRUE(frame->IsCommandEnabled(ID_FILES_INSERT_TEXT));
    frame->Execute(ID_FILES_INSERT_TEXT);
    EXPECT_TRUE(frame->TextView()->toPlainText().contains(QStringLiteral("Grüße aus der Datei\nZeile zwei")));
    EXPECT_TRUE(Doc().Archive().IsModified());
    std::string text;
    zt::RtfToText(Doc().PageText(page), zt::RtfTextMode::Utf8, text);
    EXPECT_NE(text.find("Grüße aus der Datei"), std::string::npos) << text;

    // A file that is no picture is reported and the text stays as it is.
    list->SelectFile(QStringLiteral("gruss.txt"));
    const QString before = frame->TextView()->toPlainText();
    prompter.messages.clear();
    frame->Execute(ID_FILES_INSERT_PICTURE);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "Das Bild gruss.txt konnte nicht eingefügt werden.");
    EXPECT_EQ(frame->TextView()->toPlainText(), before);
}
