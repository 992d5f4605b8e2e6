// Fixtures of the server link tests: a zettrix-server on loopback with a few
// accounts, links and documents made through the program's own side, and a
// proxy that forwards to the server and can delay, cut, tamper with or
// rewrite the answers (opened and sealed again under the account's keys).
#pragma once

#include "harness.h"
#include "remote/link.h"
#include "remote/remotedoc.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zt::test {

class CAnswerProxy {
public:
    enum class Mode { Pass, Slow, CutShort, Tamper, Unsealed, Rewrite, Fail500 };
    CAnswerProxy(int serverPort, std::string user, std::string password);
    ~CAnswerProxy();
    int Port() const { return port_; }
    std::atomic<Mode> mode{Mode::Pass};
    // Rewrite: edits the opened answer text before it is sealed again.
    std::function<void(std::string&)> rewrite;
    // Applies only to answers whose text holds this element (empty: all).
    std::string only;
    std::atomic<int> forwarded{0};
    // Called after the answer to request number `afterRequest` came back
    // (counted from 1), before it is passed on.
    int afterRequest = 0;
    std::function<void()> after;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0, serverPort_;
    std::string user_, password_;
};

// An in-memory trusted list.
class MemoryTrust : public remote::TrustStore {
public:
    std::string der;
    std::string Load() override { return der; }
    void Save(const std::string& d) override { der = d; }
};

class RemoteTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void StartServer(const std::vector<std::string>& extra = {"--inline-files", "1000"});

    remote::Connection Conn(const std::string& user, int port = 0) const;
    std::unique_ptr<remote::CServerLink> Link(const std::string& user, int port = 0);
    // Creates a document through the link and returns its ident.
    std::string Create(remote::CServerLink& link, const std::string& name);
    // A document of `pages` pages (page i has text "Seite i", page 2 a file
    // "a.txt") saved through the program's side; returns its ident.
    std::string MakeDocument(const std::string& name, int pages);

    TempDir dir_;
    std::unique_ptr<CServerProcess> server_;
    ScriptedPrompter prompter_;
};

// The page text of a record ("" when none).
std::string TextOf(const CZTPageRecord& r);
// A page record holding `text`.
CZTPageRecord RecordWith(const std::string& text);
// A file record named `name` holding `content`.
CZTFileRecord FileWith(const std::string& name, const std::string& content);

} // namespace zt::test
