// Faults between the program and the server: answers that are cut short,
// tampered with, unsealed or naming what was not sent, a slow server and a
// cancel, the server gone in the middle of a save. Each leaves the cached
// document as it was.
#include "fixture.h"

#include "base/messages.h"

#include <chrono>
#include <thread>

using namespace zt;
using namespace zt::test;
using remote::CRemoteDocument;
using Mode = CAnswerProxy::Mode;

namespace {

class RemoteFaults : public RemoteTest {
protected:
    void SetUp() override {
        RemoteTest::SetUp();
        StartServer();
        ident_ = MakeDocument("F", 4);
        proxy_ = std::make_unique<CAnswerProxy>(server_->Port(), "alice", "alice-pw");
        link_ = Link("alice", proxy_->Port());
        doc_ = std::make_unique<CRemoteDocument>(*link_);
        ASSERT_TRUE(doc_->Open("F", ident_, true));
        ASSERT_EQ(TextOf(doc_->GetPage(1)), "Seite 1");
    }
    void TearDown() override {
        doc_.reset();
        proxy_.reset();
        RemoteTest::TearDown();
    }
    std::string ident_;
    std::unique_ptr<CAnswerProxy> proxy_;
    std::unique_ptr<remote::CServerLink> link_;
    std::unique_ptr<CRemoteDocument> doc_;
};

} // namespace

// A page whose answer cannot be trusted stays unfetched and is not editable;
// the pages fetched before keep their bodies.
TEST_F(RemoteFaults, BadPageAnswersLeaveTheCacheAlone) {
    struct Case {
        Mode mode;
        const char* what;
    } cases[] = {{Mode::CutShort, "cut short"}, {Mode::Tamper, "tampered"}, {Mode::Unsealed, "unsealed"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        proxy_->only = "A_GETPAGE";
        proxy_->mode = c.mode;
        prompter_.messages.clear();
        CZTPageRecord r = doc_->GetPage(3);
        EXPECT_FALSE(r.valid);
        EXPECT_FALSE(doc_->PageLoaded(3));
        EXPECT_EQ(doc_->Entry(3).failure, MessageText(Msg::RemoteXmlDataError));
        // Shown read-only: a store would write an empty page over the server's.
        EXPECT_FALSE(doc_->PutPage(3, RecordWith("überschrieben")));
        EXPECT_EQ(TextOf(doc_->GetPage(1)), "Seite 1");
        EXPECT_FALSE(doc_->IsModified());
    }
    proxy_->mode = Mode::Pass;
    EXPECT_EQ(TextOf(doc_->GetPage(3)), "Seite 3");
    EXPECT_TRUE(doc_->Entry(3).failure.empty());
}

// The server stored each of these saves, but the program never saw the
// answer: everything stays changed, the lock stays held, and the repeated
// save finds the page it made before instead of making it again.
TEST_F(RemoteFaults, BadSaveAnswersKeepEverythingChanged) {
    ASSERT_TRUE(doc_->PutPage(1, RecordWith("geändert")));
    int added = doc_->AppendPage("Neu", "n");
    ASSERT_GT(added, 0);
    for (Mode m : {Mode::CutShort, Mode::Tamper, Mode::Unsealed}) {
        proxy_->only = "A_SAVEDOC";
        proxy_->mode = m;
        prompter_.messages.clear();
        EXPECT_FALSE(doc_->Save());
        EXPECT_EQ(prompter_.messages.size(), 1u);
        EXPECT_TRUE(doc_->IsModified());
        EXPECT_TRUE(doc_->Entry(1).changed);
        EXPECT_TRUE(doc_->Entry(added).ident.empty());
        EXPECT_EQ(TextOf(doc_->GetPage(1)), "geändert");
    }
    // The temporary ident stays the same from one attempt to the next.
    std::string temp = doc_->Entry(added).tempIdent;
    EXPECT_EQ(temp.size(), 32u);
    proxy_->mode = Mode::Pass;
    ASSERT_TRUE(doc_->Save());
    EXPECT_FALSE(doc_->IsModified());
    EXPECT_TRUE(doc_->Writable());
    // Another session sees the new page once.
    auto other = Link("alice");
    CRemoteDocument check(*other);
    ASSERT_TRUE(check.Open("F", ident_, false));
    ASSERT_EQ(check.PageCount(), 5);
    EXPECT_EQ(check.Entry(5).title, "Neu");
    EXPECT_EQ(TextOf(check.GetPage(1)), "geändert");
}

// The server stored the upload; the program refuses its answer, and the
// next save sends the file again without a second copy on the server.
TEST_F(RemoteFaults, AnUploadAnswerNamingAnotherFileIsRefused) {
    ASSERT_TRUE(doc_->PutFile(1, FileWith("neu.txt", "neu")));
    proxy_->only = "A_SETPAGEFILE";
    proxy_->mode = Mode::Rewrite;
    proxy_->rewrite = [](std::string& text) {
        auto k = text.find("<KEY>");
        if (k != std::string::npos) text.replace(k + 5, 32, std::string(32, 'F'));
    };
    prompter_.messages.clear();
    EXPECT_FALSE(doc_->Save());
    EXPECT_EQ(prompter_.messages, std::vector<std::string>{MessageText(Msg::RemoteXmlDataError)});
    ASSERT_EQ(doc_->Entry(1).files.size(), 1u);
    EXPECT_TRUE(doc_->Entry(1).files[0].changed);
    EXPECT_TRUE(doc_->Entry(1).files[0].ident.empty());
    EXPECT_TRUE(doc_->IsModified());
    proxy_->mode = Mode::Pass;
    ASSERT_TRUE(doc_->Save());
    EXPECT_FALSE(doc_->Entry(1).files[0].ident.empty());
    EXPECT_FALSE(doc_->IsModified());
    auto other = Link("alice");
    CRemoteDocument check(*other);
    ASSERT_TRUE(check.Open("F", ident_, false));
    EXPECT_EQ(check.FileNames(1), std::vector<std::string>{"neu.txt"});
    EXPECT_EQ(*check.GetFile(1, "neu.txt").GetText(), "neu");
}

TEST_F(RemoteFaults, ServerGoneInTheMiddleOfASave) {
    ASSERT_TRUE(doc_->PutPage(2, RecordWith("Text bleibt")));
    ASSERT_TRUE(doc_->PutFile(2, FileWith("neu.bin", "Datei bleibt")));
    // The tree is saved, then the server stops before the file arrives.
    proxy_->afterRequest = proxy_->forwarded + 1;
    proxy_->after = [this] { server_->Stop(); };
    prompter_.messages.clear();
    EXPECT_FALSE(doc_->Save());
    EXPECT_EQ(prompter_.messages.size(), 1u);
    EXPECT_TRUE(doc_->IsModified());
    bool found = false;
    for (const auto& f : doc_->Entry(2).files)
        if (f.name == "neu.bin") found = f.changed && f.loaded;
    EXPECT_TRUE(found);
    EXPECT_EQ(*doc_->GetFile(2, "neu.bin").GetText(), "Datei bleibt");
    EXPECT_EQ(TextOf(doc_->GetPage(2)), "Text bleibt");
    // A further attempt fails the same way, the changes stay.
    prompter_.messages.clear();
    EXPECT_FALSE(doc_->Save());
    EXPECT_EQ(prompter_.messages.size(), 1u);
    EXPECT_TRUE(doc_->IsModified());
    doc_.reset(); // releasing the lock fails quietly
}

namespace {

// Runs the transfer on a worker thread, as the program does behind its
// progress dialog; "Abbrechen" is pressed after `cancelAfter`.
class ThreadRunner : public remote::TransferRunner {
public:
    std::chrono::milliseconds cancelAfter{300};
    bool Run(remote::CHttpTransport& transport, const std::function<bool()>& work) override {
        bool result = false;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            result = work();
            done = true;
        });
        auto start = std::chrono::steady_clock::now();
        while (!done) {
            if (std::chrono::steady_clock::now() - start > cancelAfter) transport.Cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        worker.join();
        return result;
    }
};

} // namespace

TEST_F(RemoteFaults, CancelOfASlowServer) {
    ThreadRunner runner;
    link_->runner = &runner;
    proxy_->only = "A_GETPAGE";
    proxy_->mode = Mode::Slow;
    prompter_.messages.clear();
    auto start = std::chrono::steady_clock::now();
    CZTPageRecord r = doc_->GetPage(4);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.valid);
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_FALSE(doc_->PageLoaded(4));
    // A cancel is the user's own doing: no message.
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_EQ(TextOf(doc_->GetPage(1)), "Seite 1");
    // The next request goes through.
    proxy_->mode = Mode::Pass;
    runner.cancelAfter = std::chrono::seconds(60);
    EXPECT_EQ(TextOf(doc_->GetPage(4)), "Seite 4");
}

TEST_F(RemoteFaults, UnsealedAnswersAreRefusedButTheCompatibleContentList) {
    proxy_->only = "A_GETCONTENT";
    proxy_->mode = Mode::Unsealed;
    srv::GetContentAnswer list;
    prompter_.messages.clear();
    EXPECT_FALSE(link_->LoadContentList(list));
    EXPECT_EQ(prompter_.messages, std::vector<std::string>{MessageText(Msg::RemoteXmlDataError)});
    // A server of the compatible form: the sealed attempt fails as a
    // transfer, the second is read as it comes.
    proxy_->only.clear();
    proxy_->forwarded = 0;
    proxy_->mode = Mode::Fail500;
    prompter_.messages.clear();
    ASSERT_TRUE(link_->LoadContentList(list)) << (prompter_.messages.empty() ? "" : prompter_.messages[0]);
    EXPECT_EQ(list.user, "alice");
    EXPECT_TRUE(prompter_.messages.empty());
}
