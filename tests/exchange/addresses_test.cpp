// Addresses of pages and files in document files, resolved against a document
// written to disk by the test and against the open document.
#include "exchange/addresses.h"

#include <gtest/gtest.h>

#include "base/messages.h"
#include "base/urlcode.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

namespace {

using zt::AddressContext;
using zt::ResolveAddress;

const char* kRtf = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0 Hello {\\b W\\'f6rld}\\par}";

// Pages: Scripts(Util) and "Kap.2"; Util has the text above and "lib.js".
void Fill(CZTDocument& doc) {
    doc.New();
    CZTPageNode* scripts = doc.AddPage(nullptr, "Scripts");
    CZTPageNode* util = doc.AddPage(scripts, "Util");
    CZTPageNode* kap = doc.AddPage(nullptr, "Kap.2");
    ASSERT_TRUE(doc.SetPageText(util, kRtf));
    ASSERT_TRUE(doc.SetPageText(kap, "plain text page"));
    CZTFileRecord f = CZTFileRecord::New("lib x.js", "test");
    ASSERT_TRUE(f.SetContent("var x = 1;\n", "test"));
    ASSERT_NE(doc.AttachFile(util, f), 0);
}

struct AddressTest : ::testing::Test {
    zt::test::TempDir dir;
    std::string other; // a document file on disk
    void SetUp() override {
        std::filesystem::create_directory(dir / "my docs");
        other = dir / "my docs/other.ztd";
        zt::test::ScriptedPrompter p;
        CZTDocument doc(p);
        Fill(doc);
        ASSERT_TRUE(doc.Save(other));
    }
    // The document part of an address for `path`: encoded, without the
    // leading "/" that "zt:/" already gives.
    static std::string Part(const std::string& path) {
        std::string encoded;
        for (char c : path) encoded += c == '/' ? std::string("/") : zt::UrlFormEncode(std::string(1, c));
        return encoded.substr(1);
    }
    zt::AddressResult Resolve(const std::string& address, CZTDocument* open = nullptr,
                              zt::Prompter* prompter = nullptr) {
        AddressContext c;
        c.openDocument = open;
        c.prompter = prompter;
        return ResolveAddress(address, c);
    }
};

TEST_F(AddressTest, PagesAndFilesOfAnotherDocument) {
    const std::string before = zt::test::ReadFile(other);
    const std::pair<std::string, std::string> cases[] = {
        {"zt:/" + Part(other) + "?/Scripts/Util", "Hello W\xC3\xB6rld\n"},
        {"ZT:/" + Part(other) + ";/Scripts/Util", "Hello W\xC3\xB6rld\n"},
        {"zt:/" + other + "?/Kap%2E2", "plain text page"},  // "zt://tmp/..." works as well
        {"ztf:/" + Part(other) + "?/Scripts/Util/lib+x.js", "var x = 1;\n"},
        {"ztf:/" + Part(other) + ";Scripts/Util/lib%20x.js", "var x = 1;\n"},
    };
    for (const auto& [address, content] : cases) {
        const auto r = Resolve(address);
        EXPECT_TRUE(r.ok) << address << ": " << r.error;
        EXPECT_EQ(r.content, content) << address;
    }
    AddressContext c;
    c.textMode = zt::RtfTextMode::Text;
    EXPECT_EQ(ResolveAddress("zt:/" + Part(other) + "?/Scripts/Util", c).content, "Hello W\xF6rld\n");
    EXPECT_EQ(zt::test::ReadFile(other), before);  // only read
}

TEST_F(AddressTest, ErrorTexts) {
    zt::test::WriteFile(dir / "damaged.ztd", "ZT05 this is no document at all");
    const std::pair<std::string, std::string> cases[] = {
        {"zt:/ab?/Scripts", "No valid archive name."},
        {"zt:/c|?/Scripts", "No valid archive name."},
        {"ztf:/" + Part(other) + "?lib.js", "No archive page name."},
        {"ztf:/" + Part(other) + "?/lib.js", "No archive page name."},
        {"ztf:/" + Part(other), "No archive page name."},
        {"zt:/" + Part(dir / "missing.ztd") + "?/Scripts", "File not found '" + dir / "missing.ztd" + "'"},
        {"zt:/a.z?/Scripts", "File not found '/a.z'"},  // three characters name a file like any other
        {"zt:/" + Part(other) + "?/Nope", "Page not found '/Nope'"},
        {"zt:/" + Part(other), "Page not found ''"},
        {"ztf:/" + Part(other) + "?/Scripts/Util/nope.js", "File not found 'nope.js'"},
        {"zt:/" + Part(dir / "my docs") + "?/Scripts", "File not found '" + dir / "my docs" + "'"},
        {"zt:/?/Scripts", "No valid archive name."},  // no open document
        {"file:/dev/zero", "File not found '/dev/zero'"},
        {"file:" + dir.path(), "File not found '" + dir.path() + "'"},
        {"http://x.de/a.js", "File not found 'http://x.de/a.js'"},
    };
    for (const auto& [address, error] : cases) {
        const auto r = Resolve(address);
        EXPECT_FALSE(r.ok) << address;
        EXPECT_EQ(r.error, error) << address;
    }
    // The reader's own message.
    const auto r = Resolve("zt:/" + Part(dir / "damaged.ztd") + "?/Scripts");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind(zt::MessageText(zt::Msg::FileDamaged), 0), 0u) << r.error;
}

TEST_F(AddressTest, TheOpenDocumentIsUsedAsItIsInMemory) {
    zt::test::ScriptedPrompter p;
    CZTDocument open(p);
    ASSERT_TRUE(open.Open(other));
    CZTPageNode* kap = zt::ResolvePath(open.Tree(), nullptr, "/Kap.2");
    ASSERT_TRUE(kap);
    ASSERT_TRUE(open.SetPageText(kap, "changed, not saved"));
    for (const std::string& address : std::vector<std::string>{"zt:/?/Kap.2", "zt:/;/Kap.2", "zt:/" + Part(other) + "?/Kap.2",
                                       "zt:/" + dir.path() + "/my+docs/../my+docs/other.ztd?/Kap.2"}) {
        const auto r = Resolve(address, &open);
        EXPECT_TRUE(r.ok) << address << ": " << r.error;
        EXPECT_EQ(r.content, "changed, not saved") << address;
    }
    EXPECT_EQ(Resolve("ztf:/?/Scripts/Util/lib%20x.js", &open).content, "var x = 1;\n");

    // An untitled document answers to the empty document part only.
    zt::test::ScriptedPrompter q;
    CZTDocument untitled(q);
    Fill(untitled);
    EXPECT_EQ(Resolve("zt:/?/Kap.2", &untitled).content, "plain text page");
    const std::string tempDir = untitled.Archive().FilePath();
    if (!tempDir.empty())
        EXPECT_FALSE(Resolve("zt:/" + Part(tempDir) + "?/Kap.2", &untitled).ok) << tempDir;
}

TEST_F(AddressTest, EncryptedDocumentsAskForCredentials) {
    const std::string secret = dir / "secret.ztd";
    {
        zt::test::ScriptedPrompter p;
        CZTDocument doc(p);
        Fill(doc);
        ASSERT_TRUE(doc.Archive().KeyRing().CreateEncryption(CredentialsFromUtf8("Alice", "pw")));
        ASSERT_TRUE(doc.Save(secret));
    }
    const std::string address = "ztf:/" + Part(secret) + "?/Scripts/Util/lib+x.js";
    zt::test::ScriptedPrompter p;
    p.credentials.push_back(std::make_pair(std::string("Alice"), std::string("pw")));
    auto r = Resolve(address, nullptr, &p);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.content, "var x = 1;\n");
    EXPECT_EQ(p.credentialQuestions.size(), 1u);
    EXPECT_TRUE(p.messages.empty());

    r = Resolve(address, nullptr, &p);  // cancelled
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, zt::MessageText(zt::Msg::DocumentEncrypted));
    r = Resolve(address);  // nobody to ask
    EXPECT_EQ(r.error, zt::MessageText(zt::Msg::DocumentEncrypted));
}

TEST_F(AddressTest, FilesOfTheFileSystem) {
    zt::test::WriteFile(dir / "a b.js", "print(1)");
    zt::test::WriteFile(dir / "empty.js", "");
    auto r = Resolve("file:/" + (dir / "a b.js").substr(1));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.content, "print(1)");
    r = Resolve("FILE:/" + dir / "empty.js");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.content, "");
}

} // namespace
