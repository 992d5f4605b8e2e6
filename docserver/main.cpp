// zettrix-server: the document server of Zettrix.
//
//   zettrix-server --db FILE|postgresql://... [--listen ADDR:PORT] [--cert PEM --key PEM]
//                  [--path ztweb/ztDB.php] [--lease SECONDS] [--inline-files BYTES]
//                  [--max-request BYTES] [--threads N] [--workers N]
//   zettrix-server --db ... adduser NAME [--level N]
//   zettrix-server --db ... deluser NAME | passwd NAME | list
//
// Passwords come from the environment variable ZT_PASSWORD or are asked for on
// the terminal. Serving prints "listening ADDR:PORT" on standard output once
// the port is bound and one line per request on standard error.
#include "admission.h"
#include "handler.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "security/protocol.h"
#include "server/envelope.h"
#include "server/wire.h"

#include <httplib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>

using namespace zt;
using namespace zt::docsrv;

namespace {

struct Options {
    std::string db;
    std::string listen = "127.0.0.1:8080";
    std::string cert, key;
    std::string path = std::string(srv::kDefaultScriptPath);
    ServerConfig config;
    size_t maxRequest = size_t(256) << 20;
    int threads = 64;
    int workers = 0; // requests worked on at once; 0: one more than the processors
    std::vector<std::string> command;
    int level = 1;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: zettrix-server --db FILE|postgresql://... [--listen ADDR:PORT] [--cert PEM --key PEM]\n"
                 "                      [--path PATH] [--lease SECONDS] [--inline-files BYTES]\n"
                 "                      [--max-request BYTES] [--threads N] [--workers N]\n"
                 "       zettrix-server --db ... adduser NAME [--level N] | deluser NAME | passwd NAME | list\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        auto number = [&](int64_t& out) {
            std::string v;
            if (!value(v)) return false;
            auto n = srv::ParseInt(v);
            if (!n || *n < 0) return false;
            out = *n;
            return true;
        };
        int64_t n = 0;
        if (a == "--db") {
            if (!value(o.db)) return false;
        } else if (a == "--listen") {
            if (!value(o.listen)) return false;
        } else if (a == "--cert") {
            if (!value(o.cert)) return false;
        } else if (a == "--key") {
            if (!value(o.key)) return false;
        } else if (a == "--path") {
            if (!value(o.path)) return false;
        } else if (a == "--lease") {
            if (!number(o.config.leaseSeconds) || o.config.leaseSeconds < 1) return false;
        } else if (a == "--inline-files") {
            if (!number(o.config.inlineFileLimit)) return false;
        } else if (a == "--freshness") {
            if (!number(o.config.freshnessSeconds)) return false;
        } else if (a == "--max-request") {
            if (!number(n) || n < 1024) return false;
            o.maxRequest = size_t(n);
        } else if (a == "--threads") {
            if (!number(n) || n < 1 || n > 1024) return false;
            o.threads = int(n);
        } else if (a == "--workers") {
            if (!number(n) || n < 1 || n > 1024) return false;
            o.workers = int(n);
        } else if (a == "--level") {
            if (!number(n) || n < 1 || n > 4) return false;
            o.level = int(n);
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else {
            o.command.push_back(a);
        }
    }
    return !o.db.empty() && (o.cert.empty() == o.key.empty());
}

// The password from ZT_PASSWORD, else asked twice on the terminal without echo.
bool ReadPassword(std::string& out) {
    if (const char* p = std::getenv("ZT_PASSWORD")) {
        out = Utf8ToCp1252(p);
        return true;
    }
    auto ask = [](std::string& line) {
        std::fputs(MessageText(Msg::SrvPasswordPrompt), stderr);
        termios old{};
        bool tty = tcgetattr(STDIN_FILENO, &old) == 0;
        if (tty) {
            termios quiet = old;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
        bool ok = bool(std::getline(std::cin, line));
        if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fputc('\n', stderr);
        return ok;
    };
    std::string a, b;
    if (!ask(a) || !ask(b)) return false;
    if (a != b) {
        std::fprintf(stderr, "%s\n", MessageText(Msg::SrvPasswordMismatch));
        return false;
    }
    out = Utf8ToCp1252(a);
    return true;
}

int RunCommand(CDocStore& store, const Options& o) {
    const std::string& cmd = o.command[0];
    if (cmd == "list" && o.command.size() == 1) {
        auto users = InTransaction(store.Db(), false, [&] { return store.Users(); });
        for (const auto& u : users) std::printf("%s\t%d\n", Cp1252ToUtf8(u.name).c_str(), u.level);
        return 0;
    }
    if (o.command.size() != 2) return Usage();
    std::string name = Utf8ToCp1252(o.command[1]);
    std::string shown = o.command[1];
    if (cmd == "deluser") {
        bool done = InTransaction(store.Db(), true, [&] { return store.DeleteUser(name); });
        if (!done) {
            std::fprintf(stderr, "%s\n", FormatMessage(Msg::SrvNoSuchUser, {shown}).c_str());
            return 1;
        }
        std::printf("%s\n", FormatMessage(Msg::SrvUserDeleted, {shown}).c_str());
        return 0;
    }
    if (cmd != "adduser" && cmd != "passwd") return Usage();
    if (name.empty()) return Usage();
    std::string password;
    if (!ReadPassword(password)) return 1;
    UserRow u;
    u.name = name;
    u.psk = std::string(std::string_view(ProtocolPsk("", name, password)));
    u.hauth = std::string(std::string_view(Hauth(name, password)));
    u.level = o.level;
    WipeString(password);
    if (cmd == "adduser") {
        try {
            InTransaction(store.Db(), true, [&] { store.AddUser(u); });
        } catch (const SqlError& e) {
            if (!e.unique) throw;
            std::fprintf(stderr, "%s\n", FormatMessage(Msg::SrvNameTaken, {shown}).c_str());
            return 1;
        }
        std::printf("%s\n", FormatMessage(Msg::SrvUserAdded, {shown}).c_str());
        return 0;
    }
    bool found = InTransaction(store.Db(), true, [&] {
        auto row = store.FindUser(name);
        if (row) store.SetUserSecrets(row->id, u.psk, u.hauth);
        return bool(row);
    });
    if (!found) {
        std::fprintf(stderr, "%s\n", FormatMessage(Msg::SrvNoSuchUser, {shown}).c_str());
        return 1;
    }
    std::printf("%s\n", FormatMessage(Msg::SrvPasswordChanged, {shown}).c_str());
    return 0;
}

std::string NowText() {
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

int Serve(CSqlDb& db, const Options& o) {
    CDocServer server(db, o.config);
    std::unique_ptr<httplib::Server> http;
    if (!o.cert.empty()) {
        auto ssl = std::make_unique<httplib::SSLServer>(o.cert.c_str(), o.key.c_str());
        if (!ssl->is_valid()) {
            std::fprintf(stderr, "zettrix-server: cannot use certificate %s and key %s\n", o.cert.c_str(),
                         o.key.c_str());
            return 1;
        }
        http = std::move(ssl);
    } else {
        http = std::make_unique<httplib::Server>();
    }
    int threads = o.threads;
    http->new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    http->set_payload_max_length(o.maxRequest);
    http->set_tcp_nodelay(true);
    http->set_keep_alive_max_count(1000);
    http->set_keep_alive_timeout(10);
    http->set_read_timeout(60, 0);
    std::string path = o.path;
    if (path.empty() || path[0] != '/') path = "/" + path;
    std::mutex logMutex;
    // Connections each have a thread, but only a few requests are worked on
    // at once, in the order they came: one more than there are processors, so
    // that a request waiting for the disk leaves none idle. Dozens of requests
    // sharing the processors at once make each of them slow and some of them
    // very slow.
    const size_t workers = o.workers > 0 ? size_t(o.workers) : size_t(std::thread::hardware_concurrency()) + 1;
    CAdmission gate(workers);

    http->Post(path, [&](const httplib::Request& req, httplib::Response& res) {
        auto start = std::chrono::steady_clock::now();
        Outcome out;
        std::string contentType = req.get_header_value("Content-Type");
        bool headersOk = contentType.rfind(std::string(srv::kRequestContentType), 0) == 0 &&
                         req.get_header_value(std::string(srv::kRequestMarkerHeader)) == srv::kRequestMarkerValue;
        if (!headersOk) {
            out.errnum = srv::kErrMalformed;
            out.kind = "-";
            out.body = srv::BuildErrorEnvelope("", srv::kErrMalformed,
                                               Utf8ToCp1252(FormatMessage(Msg::SrvMalformed, {"headers"})));
        } else {
            CAdmission::Ticket ticket(gate);
            out = server.Handle(req.body);
        }
        if (out.internal) {
            res.status = 500;
            res.set_content(Utf8ToCp1252(MessageText(Msg::SrvInternal)), "text/plain");
        } else {
            res.set_header(std::string(srv::kAnswerMarkerHeader), std::string(srv::kAnswerMarkerValue));
            res.set_header("ZTContent-length", std::to_string(out.body.size()));
            res.set_content(out.body, "text/xml; charset=ISO-8859-1");
        }
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        char line[1024];
        std::snprintf(line, sizeof line, "%s %s user=%s kind=%s doc=%s result=%s%s time=%.1fms\n",
                      NowText().c_str(), req.remote_addr.c_str(), Cp1252ToUtf8(out.user).c_str(),
                      out.kind.empty() ? "-" : out.kind.c_str(), Cp1252ToUtf8(out.doc).c_str(),
                      out.internal ? "internal" : out.errnum ? "errno=" : "ok",
                      out.internal ? (" " + out.body).c_str() : out.errnum ? std::to_string(out.errnum).c_str() : "",
                      ms);
        std::lock_guard<std::mutex> g(logMutex);
        std::fputs(line, stderr);
    });
    http->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 413) res.set_content(Utf8ToCp1252(MessageText(Msg::SrvTooLarge)), "text/plain");
    });

    size_t colon = o.listen.rfind(':');
    if (colon == std::string::npos) return Usage();
    std::string host = o.listen.substr(0, colon);
    auto port = srv::ParseInt(o.listen.substr(colon + 1));
    if (!port || *port < 0 || *port > 65535) return Usage();
    int bound = *port == 0 ? http->bind_to_any_port(host.c_str()) : (http->bind_to_port(host.c_str(), int(*port))
                                                                           ? int(*port)
                                                                           : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "zettrix-server: cannot listen on %s\n", o.listen.c_str());
        return 1;
    }
    std::printf("listening %s:%d\n", host.c_str(), bound);
    std::fflush(stdout);

    // SIGINT and SIGTERM stop the server; the signals are taken by one thread.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&set, &sig);
        http->stop();
    });
    stopper.detach();
    http->listen_after_bind();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) return Usage();
    // Block the stop signals in every thread; the stopper thread waits for them.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        auto db = OpenSqlDb(o.db);
        CDocStore store(*db);
        store.CreateSchema();
        if (!o.command.empty()) return RunCommand(store, o);
        return Serve(*db, o);
    } catch (const SqlError& e) {
        std::fprintf(stderr, "zettrix-server: %s\n", e.what());
        return 1;
    }
}
