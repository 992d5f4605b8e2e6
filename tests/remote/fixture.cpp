#include "fixture.h"

#include "base/xml.h"
#include "core/compress.h"
#include "security/protocol.h"
#include "server/envelope.h"

#include <httplib.h>

#include <chrono>

namespace zt::test {

namespace {
std::atomic<bool> gProxyStopping{false};
}

CAnswerProxy::CAnswerProxy(int serverPort, std::string user, std::string password)
    : server_(std::make_unique<httplib::Server>()), serverPort_(serverPort), user_(std::move(user)),
      password_(std::move(password)) {
    gProxyStopping = false;
    server_->Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        int number = ++forwarded;
        Mode m = mode;
        httplib::Client cli("127.0.0.1", serverPort_);
        cli.set_read_timeout(30, 0);
        httplib::Headers h;
        if (req.has_header("Zettrix")) h.emplace("Zettrix", req.get_header_value("Zettrix"));
        auto r = cli.Post(req.path.c_str(), h, req.body, "text/xml");
        if (!r) {
            res.status = 502;
            return;
        }
        if (after && number == afterRequest) after();
        std::string marker = r->get_header_value("Zettrix");
        std::string body = r->body;
        std::string raw = "Zettrix: " + marker + "\r\n";
        srv::OpenedAnswer opened;
        bool open = srv::OpenAnswer(body, raw, user_, password_, opened);
        auto applies = [&] {
            if (only.empty()) return true;
            // Identify the answer kind by opening it.
            if (!open) return false;
            return !xml::FindElements(opened.document.Root(), only, -1).empty();
        };
        if (m != Mode::Pass && m != Mode::Fail500 && !applies()) m = Mode::Pass;
        auto plainText = [&]() -> std::string {
            // Decrypt once more to get the exact text.
            srv::EnvelopeParts parts;
            xml::Document outer = xml::Parse(body);
            auto c = xml::FindElements(outer.Root(), "CRYPTO", -1);
            if (c.empty()) return {};
            auto text = [&](const char* n) {
                auto e = xml::FindElements(*c[0], n, -1);
                return e.empty() ? std::string() : xml::TextOf(*e[0]);
            };
            parts.cadd = text("CADD");
            parts.crand = text("CRAND");
            parts.cipher = text("CIPHER");
            SecureBytes psk = ProtocolPsk(parts.cadd, user_, password_);
            auto p = srv::OpenEnvelope(parts, psk);
            return p ? *p : std::string();
        };
        res.status = r->status;
        switch (m) {
        case Mode::Pass:
            break;
        case Mode::Slow:
            for (int i = 0; i < 200 && !gProxyStopping; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            break;
        case Mode::CutShort:
            body = body.substr(0, body.size() / 2);
            break;
        case Mode::Tamper: {
            auto pos = body.find("<CIPHER>");
            if (pos != std::string::npos) {
                char& ch = body[pos + 8 + 20];
                ch = ch == 'A' ? 'B' : 'A';
            }
            break;
        }
        case Mode::Unsealed:
            body = plainText();
            break;
        case Mode::Rewrite: {
            std::string text = plainText();
            if (rewrite) rewrite(text);
            body = srv::BuildEnvelope(text, "ZT: proxy", user_, password_);
            break;
        }
        case Mode::Fail500:
            if (forwarded % 2 == 1) {
                res.status = 500;
                res.set_content("no", "text/plain");
                return;
            }
            body = plainText();
            marker = "ZTXML";
            break;
        }
        res.set_header("Zettrix", marker);
        res.set_content(body, "text/xml");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

CAnswerProxy::~CAnswerProxy() {
    gProxyStopping = true;
    server_->stop();
    thread_.join();
}

void RemoteTest::SetUp() {
    server_ = std::make_unique<CServerProcess>(dir_ / "zt.db", dir_.path());
    ASSERT_TRUE(server_->AddUser("alice", "alice-pw", 2));
    ASSERT_TRUE(server_->AddUser("bob", "bob-pw", 1));
    ASSERT_TRUE(server_->AddUser("root", "root-pw", 4));
}

void RemoteTest::TearDown() { server_.reset(); }

void RemoteTest::StartServer(const std::vector<std::string>& extra) {
    ASSERT_TRUE(server_->Start(extra)) << server_->LogText();
}

remote::Connection RemoteTest::Conn(const std::string& user, int port) const {
    remote::Connection c;
    c.user = user;
    c.password = user + "-pw";
    c.hostPort = "127.0.0.1:" + std::to_string(port ? port : server_->Port());
    c.scriptPath = std::string(srv::kDefaultScriptPath);
    return c;
}

std::unique_ptr<remote::CServerLink> RemoteTest::Link(const std::string& user, int port) {
    return std::make_unique<remote::CServerLink>(prompter_, Conn(user, port));
}

std::string RemoteTest::Create(remote::CServerLink& link, const std::string& name) {
    EXPECT_TRUE(link.CreateDocument(name));
    srv::GetContentAnswer list;
    EXPECT_TRUE(link.LoadContentList(list));
    for (const auto& d : list.docs)
        if (d.name == name) return d.ident;
    return {};
}

std::string RemoteTest::MakeDocument(const std::string& name, int pages) {
    auto link = Link("alice");
    std::string ident = Create(*link, name);
    remote::CRemoteDocument doc(*link);
    EXPECT_TRUE(doc.Open(name, ident, true));
    for (int i = 1; i <= pages; ++i) {
        int p = doc.AppendPage("Seite " + std::to_string(i), i % 3 == 2 ? "c" : i % 3 == 0 ? "n" : "p");
        EXPECT_TRUE(doc.PutPage(p, RecordWith("Seite " + std::to_string(i))));
        if (i == 2) EXPECT_TRUE(doc.PutFile(p, FileWith("a.txt", "Inhalt von a")));
    }
    EXPECT_TRUE(doc.Save());
    doc.Close();
    return ident;
}

std::string TextOf(const CZTPageRecord& r) {
    const std::string* t = r.GetText();
    return t ? *t : std::string();
}

CZTPageRecord RecordWith(const std::string& text) {
    CZTPageRecord r = CZTPageRecord::New("alice");
    r.SetText(text, "alice");
    return r;
}

CZTFileRecord FileWith(const std::string& name, const std::string& content) {
    CZTFileRecord f = CZTFileRecord::New(name, "alice");
    f.SetContent(content, "alice");
    return f;
}

} // namespace zt::test
