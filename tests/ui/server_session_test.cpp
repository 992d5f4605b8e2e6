// The server session of the main window against zettrix-server on loopback:
// "&Verbinden..." with its dialogs, the server document shown, edited, saved
// back and reloaded, the question before another document replaces it, a
// page that cannot be fetched, and the lock released when the window closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "fixture.h"
#include "harness.h"
#include "remote/remotedoc.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/commands.h"
#include "ui/mainframe.h"
#include "ui/servercommands.h"
#include "ui/serverdialogs.h"
#include "ui/leftview.h"
#include "ui/settings.h"
#include "ui/textview.h"

using namespace zt::ui;
using zt::test::OnNextModal;
using zt::test::ScriptedPrompter;

namespace {

class ServerSession : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<zt::test::CServerProcess>(dir / "zt.db", dir.path());
        ASSERT_TRUE(server->AddUser("alice", "alice-pw", 2));
        ASSERT_TRUE(server->Start()) << server->LogText();
        // A document of three pages side by side, the second with a file.
        auto link = Link();
        ASSERT_TRUE(link->CreateDocument("Buch"));
        zt::srv::GetContentAnswer list;
        ASSERT_TRUE(link->LoadContentList(list));
        ASSERT_EQ(list.docs.size(), 1u);
        ident = list.docs[0].ident;
        zt::remote::CRemoteDocument doc(*link);
        ASSERT_TRUE(doc.Open("Buch", ident, true));
        for (int i = 1; i <= 3; ++i) {
            int p = doc.AppendPage("Seite " + std::to_string(i), "n");
            ASSERT_TRUE(doc.PutPage(p, zt::test::RecordWith("Text " + std::to_string(i))));
        }
        ASSERT_TRUE(doc.PutFile(2, zt::test::FileWith("a.txt", "Inhalt")));
        ASSERT_TRUE(doc.Save());
        doc.Close();

        CZTSettings::Open()->clear();
        settings.Load();
        settings.help.ssl = 0; // plain HTTP to the test server
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override {
        if (frame) {
            frame->Document().Archive().SetModified(false);
            frame->close();
            frame.reset();
        }
        server.reset();
    }

    std::unique_ptr<zt::remote::CServerLink> Link(int port = 0) {
        zt::remote::Connection c;
        c.user = "alice";
        c.password = "alice-pw";
        c.hostPort = "127.0.0.1:" + std::to_string(port ? port : server->Port());
        c.scriptPath = "ztweb/ztDB.php";
        return std::make_unique<zt::remote::CServerLink>(quiet, c);
    }

    // Answers the connect dialog and the document choice, then runs the
    // command; `choiceSeen` receives the choice list's entries.
    void ConnectAndOpen(int port, bool readWrite, QStringList* choiceSeen = nullptr, QString docName = {}) {
        OnNextModal<CZTConnectDialog>([=](CZTConnectDialog* d) {
            d->findChild<QComboBox*>(QStringLiteral("address"))
                ->setEditText(QStringLiteral("127.0.0.1:%1/ztweb/ztDB.php").arg(port));
            d->findChild<QLineEdit*>(QStringLiteral("user"))->setText(QStringLiteral("alice"));
            d->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("alice-pw"));
            OnNextModal<CZTDocChoiceDialog>([=](CZTDocChoiceDialog* c) {
                auto* list = c->findChild<QListWidget*>(QStringLiteral("documents"));
                if (choiceSeen)
                    for (int i = 0; i < list->count(); ++i) choiceSeen->append(list->item(i)->text());
                if (!docName.isEmpty())
                    for (int i = 0; i < list->count(); ++i)
                        if (list->item(i)->text().startsWith(docName + QLatin1Char(' '))) list->setCurrentRow(i);
                c->findChild<QCheckBox*>(QStringLiteral("readWrite"))->setChecked(readWrite);
                c->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
            d->accept();
        });
        frame->Execute(ID_CONNECT);
    }

    // A document of `count` pages side by side ("Text n" each), page 5 with
    // a file, saved in one request.
    void MakeLargeDocument(const std::string& name, int count) {
        auto link = Link();
        ASSERT_TRUE(link->CreateDocument(name));
        zt::srv::GetContentAnswer list;
        ASSERT_TRUE(link->LoadContentList(list));
        std::string id;
        for (const auto& d : list.docs)
            if (d.name == name) id = d.ident;
        ASSERT_FALSE(id.empty());
        zt::remote::CRemoteDocument doc(*link);
        ASSERT_TRUE(doc.Open(name, id, true));
        for (int i = 1; i <= count; ++i) {
            int p = doc.AppendPage("Seite " + std::to_string(i), "n");
            ASSERT_TRUE(doc.PutPage(p, zt::test::RecordWith("Text " + std::to_string(i))));
        }
        ASSERT_TRUE(doc.PutFile(5, zt::test::FileWith("b.txt", "Datei fuenf")));
        ASSERT_TRUE(doc.Save());
        doc.Close();
        largeIdent = id;
    }
    int LoadedPages() {
        zt::remote::CRemoteDocument* doc = frame->Server().Document();
        int n = 0;
        for (int p = 1; p <= doc->PageCount(); ++p) n += doc->PageLoaded(p) ? 1 : 0;
        return n;
    }
    int64_t Requests() { return frame->Server().Link()->Transport().RequestCount(); }

    CZTPageNode* Page(int n) {
        CZTPageNode* p = frame->Document().Tree().FirstRootPage();
        for (int i = 1; i < n && p; ++i) p = p->NextSibling();
        return p;
    }

    zt::test::TempDir dir;
    std::unique_ptr<zt::test::CServerProcess> server;
    std::string ident, largeIdent;
    zt::SilentPrompter quiet;
    ScriptedPrompter prompter;
    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

TEST_F(ServerSession, ConnectOpenEditSaveReloadAndClose) {
    QStringList seen;
    ConnectAndOpen(server->Port(), true, &seen);
    EXPECT_EQ(seen, QStringList{QStringLiteral("Buch (rwgg)")});
    ASSERT_TRUE(frame->Server().Active()) << (prompter.messages.empty() ? "" : prompter.messages[0]);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(frame->IsEditable());
    EXPECT_TRUE(frame->windowTitle().contains(QStringLiteral("Buch")));
    EXPECT_EQ(frame->Server().StatusText(), QString::fromUtf8(zt::MessageText(zt::Msg::RemoteConnected)));
    EXPECT_EQ(settings.prefs.hosts.value(0), QStringLiteral("127.0.0.1:%1/ztweb/ztDB.php").arg(server->Port()));
    ASSERT_TRUE(Page(1) && Page(2) && Page(3));
    EXPECT_EQ(Page(1)->Title(), "Seite 1");
    EXPECT_EQ(frame->Document().PageText(Page(1)), "Text 1");
    EXPECT_EQ(frame->Document().PageText(Page(2)), "Text 2");
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_TRUE(frame->IsCommandEnabled(ID_RELOAD));

    // Edited in the window and saved: the server has it, and only the
    // changed page went (the tree with one body).
    ASSERT_TRUE(frame->Document().SetPageText(Page(3), "Text 3 neu"));
    ASSERT_TRUE(frame->Document().RenamePage(Page(1), "Erste"));
    ASSERT_TRUE(frame->Document().IsModified());
    const int64_t before = frame->Server().Link()->Transport().RequestCount();
    frame->Execute(zt::ui::ID_FILE_SAVE);
    EXPECT_EQ(frame->Server().Link()->Transport().RequestCount() - before, 1);
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0];
    {
        auto link = Link();
        zt::remote::CRemoteDocument check(*link);
        ASSERT_TRUE(check.Open("Buch", ident, false));
        EXPECT_EQ(check.Entry(1).title, "Erste");
        EXPECT_EQ(zt::test::TextOf(check.GetPage(3)), "Text 3 neu");
        EXPECT_EQ(zt::test::TextOf(check.GetPage(2)), "Text 2");
        EXPECT_EQ(check.FileNames(2), std::vector<std::string>{"a.txt"});
        // The window holds the lock.
        zt::remote::CRemoteDocument writer(*link);
        ASSERT_TRUE(writer.Open("Buch", ident, true));
        EXPECT_FALSE(writer.Writable());
    }

    // Unchanged on the server: the reload keeps the window as it is.
    CZTPageNode* first = Page(1);
    frame->Execute(ID_RELOAD);
    EXPECT_EQ(Page(1), first);
    EXPECT_TRUE(prompter.messages.empty());

    // Before another document replaces it, unsaved changes are asked for;
    // "Abbrechen" keeps everything.
    ASSERT_TRUE(frame->Document().SetPageText(Page(2), "nicht gespeichert"));
    prompter.threeWayAnswers = {zt::Prompter::Answer::Cancel};
    ConnectAndOpen(server->Port(), true);
    EXPECT_EQ(prompter.questions.size(), 1u);
    EXPECT_TRUE(frame->Server().Active());
    EXPECT_TRUE(frame->Document().IsModified());
    EXPECT_EQ(frame->Document().PageText(Page(2)), "nicht gespeichert");

    // Closing the window (changes discarded) releases the lock.
    prompter.threeWayAnswers = {zt::Prompter::Answer::No};
    frame->close();
    frame.reset();
    auto link = Link();
    zt::remote::CRemoteDocument after(*link);
    ASSERT_TRUE(after.Open("Buch", ident, true));
    EXPECT_TRUE(after.Writable());
    EXPECT_EQ(zt::test::TextOf(after.GetPage(2)), "Text 2");
    after.Close();
}

// A page whose answer cannot be trusted leaves the copy incomplete: it is
// shown read-only, and saving is refused instead of writing an empty page.
TEST_F(ServerSession, FetchFailureShowsTheDocumentReadOnly) {
    zt::test::CAnswerProxy proxy(server->Port(), "alice", "alice-pw");
    proxy.only = "A_GETPAGE";
    proxy.mode = zt::test::CAnswerProxy::Mode::Tamper;
    ConnectAndOpen(proxy.Port(), true);
    ASSERT_TRUE(frame->Server().Active());
    // The first page shown could not be fetched: it is read-only, empty in
    // the window, and refuses changes.
    EXPECT_TRUE(frame->TextView()->isReadOnly());
    EXPECT_TRUE(frame->Document().Archive().Core().Pending(Page(1)->Ident()));
    EXPECT_FALSE(frame->Document().SetPageText(Page(1), "darf nicht"));
    EXPECT_FALSE(prompter.messages.empty());
    proxy.mode = zt::test::CAnswerProxy::Mode::Pass;
    prompter.messages.clear();
    frame->Execute(zt::ui::ID_FILE_SAVE);
    auto link = Link();
    zt::remote::CRemoteDocument check(*link);
    ASSERT_TRUE(check.Open("Buch", ident, false));
    EXPECT_EQ(zt::test::TextOf(check.GetPage(1)), "Text 1");
}

// "Speichern unter" makes the shown server document a local file: the
// server document is let go and its lock released.
TEST_F(ServerSession, SaveAsMakesItALocalFile) {
    ConnectAndOpen(server->Port(), true);
    ASSERT_TRUE(frame->Server().Active());
    ASSERT_TRUE(frame->Document().SetPageText(Page(1), "lokal weiter"));
    const QString file = QString::fromStdString((dir / "Buch.ztd"));
    frame->chooseFile = [&](bool, const QString&) { return file; };
    frame->Execute(ID_FILE_SAVE_AS);
    EXPECT_FALSE(frame->Server().Active());
    EXPECT_TRUE(frame->IsEditable());
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_EQ(frame->DocumentPath(), file);
    CZTDocument back(quiet);
    ASSERT_TRUE(back.Open(file.toStdString()));
    EXPECT_EQ(back.PageText(back.Tree().FirstRootPage()), "lokal weiter");
    auto link = Link();
    zt::remote::CRemoteDocument after(*link);
    ASSERT_TRUE(after.Open("Buch", ident, true));
    EXPECT_TRUE(after.Writable());
    EXPECT_EQ(zt::test::TextOf(after.GetPage(1)), "Text 1");
    after.Close();
}

// A large server document opens with its page list alone; a page's body
// comes when the page is shown, and a save sends only the changed page.
// A page that cannot be fetched stays read-only and is never written back.
TEST_F(ServerSession, PagesArriveWhenShownAndOnlyChangedOnesGoBack) {
    MakeLargeDocument("Gross", 300);
    zt::test::CAnswerProxy proxy(server->Port(), "alice", "alice-pw");
    proxy.only = "A_GETPAGE";
    ConnectAndOpen(proxy.Port(), true, nullptr, QStringLiteral("Gross"));
    ASSERT_TRUE(frame->Server().Active()) << (prompter.messages.empty() ? "" : prompter.messages[0]);
    ASSERT_EQ(frame->Server().Document()->Name(), "Gross");
    EXPECT_TRUE(frame->IsEditable());
    // The document list, the page list, and the body of the page shown.
    EXPECT_EQ(Requests(), 3);
    EXPECT_LE(LoadedPages(), 1);
    ASSERT_TRUE(Page(300));
    EXPECT_EQ(Page(300)->Title(), "Seite 300");
    // The tree marks a page with files without fetching it.
    EXPECT_EQ(frame->Document().Archive().FileCount(Page(5)->Ident()), 1);
    EXPECT_EQ(Requests(), 3);

    // Showing a page not fetched yet: one round trip; again: none.
    int64_t before = Requests();
    frame->TreeView()->SelectPage(Page(150));
    EXPECT_EQ(Requests() - before, 1);
    EXPECT_EQ(frame->Document().PageText(Page(150)), "Text 150");
    EXPECT_FALSE(frame->TextView()->isReadOnly());
    frame->TreeView()->SelectPage(Page(1));
    before = Requests();
    frame->TreeView()->SelectPage(Page(150));
    EXPECT_EQ(Requests(), before);
    // Its files come with it when it is read.
    before = Requests();
    CZTFileRecord file = frame->Document().Archive().GetFile(Page(5)->Ident(), "b.txt");
    ASSERT_TRUE(file.valid && file.GetText());
    EXPECT_EQ(*file.GetText(), "Datei fuenf");
    // The page, and the file unless its answer brought it.
    EXPECT_GE(Requests() - before, 1);
    EXPECT_LE(Requests() - before, 2);

    // Edited and saved: one request with the changed page; the pages never
    // fetched keep their text on the server.
    ASSERT_TRUE(frame->Document().SetPageText(Page(150), "Text 150 neu"));
    before = Requests();
    frame->Execute(ID_FILE_SAVE);
    EXPECT_EQ(Requests() - before, 1);
    EXPECT_FALSE(frame->Document().IsModified());
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0];
    EXPECT_LE(LoadedPages(), 4);

    // A fetch that fails: the page stays read-only, changes to it are
    // refused, and a save leaves the server's text alone.
    prompter.messages.clear();
    proxy.mode = zt::test::CAnswerProxy::Mode::Tamper;
    frame->TreeView()->SelectPage(Page(200));
    EXPECT_TRUE(frame->TextView()->isReadOnly());
    EXPECT_TRUE(frame->Document().Archive().Core().FetchFailure(Page(200)->Ident()));
    EXPECT_FALSE(prompter.messages.empty());
    EXPECT_FALSE(frame->Document().SetPageText(Page(200), "leer"));
    proxy.mode = zt::test::CAnswerProxy::Mode::Pass;
    ASSERT_TRUE(frame->Document().SetPageText(Page(2), "Text 2 neu"));
    prompter.messages.clear();
    frame->Execute(ID_FILE_SAVE);
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0];
    {
        auto link = Link();
        zt::remote::CRemoteDocument check(*link);
        ASSERT_TRUE(check.Open("Gross", largeIdent, false));
        ASSERT_EQ(check.PageCount(), 300);
        EXPECT_EQ(zt::test::TextOf(check.GetPage(150)), "Text 150 neu");
        EXPECT_EQ(zt::test::TextOf(check.GetPage(2)), "Text 2 neu");
        EXPECT_EQ(zt::test::TextOf(check.GetPage(200)), "Text 200");
        EXPECT_EQ(zt::test::TextOf(check.GetPage(299)), "Text 299");
        EXPECT_EQ(check.FileNames(5), std::vector<std::string>{"b.txt"});
    }

    // A command that reads every page fetches what is missing first, under
    // one transfer; afterwards nothing is pending.
    before = Requests();
    EXPECT_TRUE(frame->Server().PrepareCommand(ID_EXPORT_HTML));
    EXPECT_FALSE(frame->Document().Archive().Core().AnyPending());
    EXPECT_GT(Requests() - before, 0);
    EXPECT_EQ(frame->Document().PageText(Page(250)), "Text 250");
}
