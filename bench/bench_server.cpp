// Load on zettrix-server over loopback, SQLite storage: 50 concurrent
// clients, each holding its own document open for writing and reading a
// shared one, fetch and save pages of 10 KB for a bounded time and number of
// requests. Reports requests per second, latency percentiles, that every
// acknowledged save reads back intact and that each document had exactly one
// writer; and the server's processor time per page request against the raw
// cost of opening, checking and sealing the same request and its answer in
// this process (the limit the server's work is set against).
// Prints Markdown (bench/run.sh collects it into BENCHMARKS.md).
#include "core/compress.h"
#include "security/protocol.h"
#include "server/answers.h"
#include "server/envelope.h"
#include "server/requests.h"

#include <httplib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

using namespace zt;
using namespace zt::srv;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClients = 50;
constexpr double kSeconds = 8.0;
constexpr int kMaxRequests = 40000;
constexpr size_t kPageBytes = 10 * 1024;

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd, int errFd) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (outFd >= 0) dup2(outFd, 1);
    if (errFd >= 0) dup2(errFd, 2);
    for (const auto& e : env) putenv(strdup(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int devnull = open("/dev/null", O_WRONLY);
    pid_t pid = Spawn(argv, env, devnull, devnull);
    close(devnull);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

double ProcessCpuSeconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t p = s.rfind(')');
    if (p == std::string::npos) return 0;
    std::vector<std::string> fields;
    size_t i = p + 2;
    while (i < s.size()) {
        size_t j = s.find(' ', i);
        if (j == std::string::npos) j = s.size();
        fields.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    double ticks = double(sysconf(_SC_CLK_TCK));
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticks; // utime, stime
}

// A page body of about 10 KB of RTF, different for every seed.
std::string PageText(uint32_t seed) {
    std::string s = "{\\rtf1\\ansi ";
    const char* words[] = {"Notiz", "Projekt", "Termin", "Besprechung", "Kapitel", "Anhang", "Liste", "Idee"};
    while (s.size() < kPageBytes - 2) {
        seed = seed * 1103515245u + 12345u;
        s += words[(seed >> 16) % 8];
        s += ' ';
        s += std::to_string(seed % 100000);
        s += (seed & 0x100) ? "\\par " : " ";
    }
    s.resize(kPageBytes - 1);
    return s + "}";
}

// One client session that keeps its PSK per CADD (it changes once a second)
// instead of deriving it twice per request.
class CSession {
  public:
    CSession(int port, std::string user, std::string password)
        : http_("127.0.0.1", port), user_(std::move(user)), password_(std::move(password)) {
        static std::atomic<int> n{0};
        ident_ = NewSessionIdent() + " #" + std::to_string(++n);
        hauth_ = std::string(std::string_view(Hauth(user_, password_)));
        http_.set_keep_alive(true);
        http_.set_tcp_nodelay(true);
        http_.set_read_timeout(30, 0);
    }

    std::string Text(const RequestBody& body) {
        Request r;
        r.head = {ident_, int64_t(std::time(nullptr)), user_, hauth_, body.index() != 0};
        r.body = body;
        return BuildRequestText(r);
    }

    const SecureBytes& Psk(const std::string& cadd) {
        if (cadd != cadd_) {
            cadd_ = cadd;
            psk_ = ProtocolPskFromShort(cadd, ProtocolPsk("", user_, password_));
        }
        return psk_;
    }

    std::string Seal(const std::string& text) {
        std::string cadd = CtimeText(int64_t(std::time(nullptr)), true);
        return BuildEnvelopeWithPsk(text, ident_, user_, Psk(cadd), cadd, true);
    }

    // Sends and opens; false when the transfer or the envelope failed.
    bool Send(const RequestBody& body, xml::Document& out, double* ms = nullptr) {
        std::string env = Seal(Text(body));
        auto t0 = Clock::now();
        auto res = http_.Post(("/" + std::string(kDefaultScriptPath)).c_str(), {{"Zettrix", "XML2"}}, env,
                              "text/xml");
        if (ms) *ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (!res || res->status != 200) return false;
        EnvelopeParts parts;
        xml::Document outer = xml::Parse(res->body);
        auto crypto = xml::FindElements(outer.Root(), "CRYPTO", -1);
        if (crypto.size() != 1) return false;
        auto text = [&](const char* name) {
            auto n = xml::FindElements(*crypto[0], name, -1);
            return n.size() == 1 ? xml::TextOf(*n[0]) : std::string();
        };
        parts.cadd = text("CADD");
        parts.crand = text("CRAND");
        parts.cipher = text("CIPHER");
        parts.mrand = text("MRAND");
        parts.mac = text("MAC");
        const SecureBytes& psk = Psk(parts.cadd);
        if (!VerifyEnvelope(parts, user_, psk)) return false;
        auto plain = OpenEnvelope(parts, psk);
        if (!plain) return false;
        out = xml::Parse(*plain);
        return true;
    }

    const std::string& user() const { return user_; }

  private:
    httplib::Client http_;
    std::string user_, password_, ident_, hauth_, cadd_;
    SecureBytes psk_;
};

int ErrnoIn(const xml::Document& doc, Kind kind) {
    for (const xml::Node* a : xml::FindElements(doc.Root(), AnswerElement(kind), -1))
        for (const xml::Node* e : xml::FindElements(*a, "ERROR_MSG", 0))
            return int(ParseInt(xml::AttributeOf(*e, "errno")).value_or(-1));
    return 0;
}

struct DocState {
    std::string name, ident, page;
    DocHeader header;
};

SaveDocRequest SaveOf(const DocState& d, const std::string& user, const std::string& ident, bool temp,
                      const std::string& body) {
    SaveDocRequest r;
    r.docName = d.header.docName;
    r.docIdent = d.header.docIdent;
    r.docMuser = user;
    r.docCtime = d.header.ctime;
    r.docMtime = int64_t(std::time(nullptr));
    r.docTime = d.header.docTime;
    r.docTitle = d.name;
    SaveNode n;
    n.ident = ident;
    n.identIsTemp = temp;
    n.title = "Seite";
    n.hasContent = true;
    n.time = n.ctime = int64_t(std::time(nullptr));
    n.cuser = n.muser = user;
    n.length = int64_t(body.size());
    n.content = CompressBuffer(body);
    n.filesLoaded = true;
    r.nodes = {n};
    return r;
}

double Percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    size_t k = std::min(v.size() - 1, size_t(p * double(v.size())));
    std::nth_element(v.begin(), v.begin() + long(k), v.end());
    return v[k];
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/ztbench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string db = dir + "/bench.db";
    for (int i = 0; i < kClients; ++i)
        Run({ZT_SERVER_BIN, "--db", db, "adduser", "u" + std::to_string(i), "--level", "2"},
            {"ZT_PASSWORD=pw" + std::to_string(i)});
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return 1;
    int devnull = open(std::getenv("ZT_BENCH_SERVER_LOG") ? std::getenv("ZT_BENCH_SERVER_LOG") : "/dev/null",
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<std::string> serverArgs{ZT_SERVER_BIN, "--db", db, "--listen", "127.0.0.1:0", "--threads", "96"};
    if (const char* w = std::getenv("ZT_BENCH_SERVER_WORKERS")) serverArgs.insert(serverArgs.end(), {"--workers", w});
    pid_t server = Spawn(serverArgs, {}, fds[1], devnull);
    close(fds[1]);
    std::string line;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    close(fds[0]);
    int port = std::atoi(line.c_str() + line.rfind(':') + 1);
    if (port <= 0) {
        std::fprintf(stderr, "server did not start\n");
        return 1;
    }

    // Set-up: every client creates its own document with one page; u0 creates
    // the shared one and gives every user WRITE on it.
    std::vector<std::unique_ptr<CSession>> sessions;
    for (int i = 0; i < kClients; ++i)
        sessions.push_back(std::make_unique<CSession>(port, "u" + std::to_string(i), "pw" + std::to_string(i)));
    auto addDoc = [&](CSession& s, const std::string& name) {
        AdminRequest r;
        r.command = AdminCommand::DocAdd;
        r.docName = name;
        xml::Document d;
        AdminAnswer a;
        if (!s.Send(r, d) || !ReadAdminAnswer(d, r, a).ok()) std::abort();
        return a.docIdent;
    };
    DocState shared{"shared", addDoc(*sessions[0], "shared"), "", {}};
    {
        AdminRequest r;
        r.command = AdminCommand::ChgDocPost;
        r.docName = r.docNameNew = "shared";
        r.docIdent = shared.ident;
        r.users.push_back({"u0", kGrantGrant});
        for (int i = 1; i < kClients; ++i) r.users.push_back({"u" + std::to_string(i), kWrite});
        xml::Document d;
        AdminAnswer a;
        if (!sessions[0]->Send(r, d) || !ReadAdminAnswer(d, r, a).ok()) std::abort();
    }
    std::vector<DocState> own(kClients);
    std::vector<std::string> lastSaved(kClients);
    std::string sharedSaved;
    std::atomic<int> sharedWriters{0}, violations{0};
    int sharedWriter = -1;
    for (int i = 0; i < kClients; ++i) {
        own[i].name = "doc" + std::to_string(i);
        own[i].ident = addDoc(*sessions[i], own[i].name);
    }
    // Everybody asks for write access to the shared document at once.
    std::vector<std::thread> ts;
    std::vector<GetDocAnswer> sharedOpen(kClients);
    for (int i = 0; i < kClients; ++i)
        ts.emplace_back([&, i] {
            GetDocRequest r{true, shared.ident, "shared", 0};
            xml::Document d;
            if (sessions[i]->Send(r, d) && ReadGetDocAnswer(d, r, sharedOpen[i]).ok() && sharedOpen[i].write)
                ++sharedWriters;
        });
    for (auto& t : ts) t.join();
    ts.clear();
    for (int i = 0; i < kClients; ++i)
        if (sharedOpen[i].write) sharedWriter = i;
    if (sharedWriter >= 0) {
        shared.header = sharedOpen[sharedWriter].header;
        std::string body = PageText(999);
        auto r = SaveOf(shared, sessions[sharedWriter]->user(), "P", true, body);
        xml::Document d;
        SaveDocAnswer a;
        if (!sessions[sharedWriter]->Send(r, d) || !ReadSaveDocAnswer(d, r, a).ok()) std::abort();
        shared.header = a.header;
        shared.page = a.identn.at(0).val;
        sharedSaved = body;
    }
    for (int i = 0; i < kClients; ++i) {
        GetDocRequest r{true, own[i].ident, own[i].name, 0};
        xml::Document d;
        GetDocAnswer a;
        if (!sessions[i]->Send(r, d) || !ReadGetDocAnswer(d, r, a).ok() || !a.write) ++violations;
        own[i].header = a.header;
        std::string body = PageText(uint32_t(i));
        auto s = SaveOf(own[i], sessions[i]->user(), "P", true, body);
        SaveDocAnswer sa;
        if (!sessions[i]->Send(s, d) || !ReadSaveDocAnswer(d, s, sa).ok()) std::abort();
        own[i].header = sa.header;
        own[i].page = sa.identn.at(0).val;
        lastSaved[i] = body;
    }

    // The load: page fetches of the own and the shared document, saves of the
    // own (and, for its writer, the shared) document, and now and then a
    // keep-alive on the shared one, which must be refused to all but its writer.
    std::atomic<int> requests{0}, failures{0}, saves{0};
    std::mutex latMutex;
    std::vector<double> latencies;
    latencies.reserve(kMaxRequests + kClients * 4);
    auto begin = Clock::now();
    double cpu0 = ProcessCpuSeconds(server);
    auto deadline = begin + std::chrono::duration<double>(kSeconds);
    for (int i = 0; i < kClients; ++i)
        ts.emplace_back([&, i] {
            CSession& s = *sessions[i];
            std::vector<double> mine;
            uint32_t step = 0;
            while (Clock::now() < deadline && requests.fetch_add(1) < kMaxRequests) {
                xml::Document d;
                double ms = 0;
                ++step;
                bool ok = true;
                if (step % 4 == 1 || step % 4 == 3) {
                    bool sh = step % 4 == 3;
                    DocState& doc = sh ? shared : own[i];
                    GetPageRequest r{doc.name, doc.header.docTime, doc.ident, doc.page, 0};
                    GetPageAnswer a;
                    ok = s.Send(r, d, &ms) && ReadGetPageAnswer(d, r, a).ok() && a.page.hasContent;
                } else if (step % 16 == 2 && i != sharedWriter) {
                    AliveRequest r{true, "shared", shared.ident, shared.header.docTime};
                    ok = s.Send(r, d, &ms);
                    if (ok && ErrnoIn(d, Kind::Alive) != kErrLocked) ++violations;
                } else {
                    bool sh = i == sharedWriter && step % 8 == 0;
                    DocState& doc = sh ? shared : own[i];
                    std::string body = PageText(uint32_t(i * 100000 + step));
                    auto r = SaveOf(doc, s.user(), doc.page, false, body);
                    SaveDocAnswer a;
                    ok = s.Send(r, d, &ms) && ReadSaveDocAnswer(d, r, a).ok();
                    if (ok) {
                        doc.header = a.header;
                        (sh ? sharedSaved : lastSaved[i]) = body;
                        ++saves;
                    }
                }
                if (!ok) ++failures;
                mine.push_back(ms);
            }
            std::lock_guard<std::mutex> g(latMutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    for (auto& t : ts) t.join();
    ts.clear();
    double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    double loadCpu = ProcessCpuSeconds(server) - cpu0;
    size_t done = latencies.size();

    // Every acknowledged save reads back intact.
    int intact = 0, checked = 0;
    auto readBack = [&](CSession& s, const DocState& doc, const std::string& expected) {
        GetPageRequest r{doc.name, doc.header.docTime, doc.ident, doc.page, 0};
        xml::Document d;
        GetPageAnswer a;
        std::string body;
        ++checked;
        if (s.Send(r, d) && ReadGetPageAnswer(d, r, a).ok() && DecompressBuffer(a.page.content, body) &&
            body == expected)
            ++intact;
    };
    for (int i = 0; i < kClients; ++i) readBack(*sessions[i], own[i], lastSaved[i]);
    if (sharedWriter >= 0) readBack(*sessions[0], shared, sharedSaved);

    // Server processor time per page request: one client fetches pages alone.
    constexpr int kPageRequests = 1500;
    CSession& probe = *sessions[1];
    GetPageRequest pr{own[1].name, own[1].header.docTime, own[1].ident, own[1].page, 0};
    double c0 = ProcessCpuSeconds(server);
    for (int k = 0; k < kPageRequests; ++k) {
        xml::Document d;
        probe.Send(pr, d);
    }
    double serverPerPage = (ProcessCpuSeconds(server) - c0) / kPageRequests;

    // The raw cost of the same request in this process: open and check the
    // request envelope (PSK for its CADD, MAC, decryption), read the text
    // strictly, build and seal the answer carrying the 10 KB page.
    std::string shortPsk(std::string_view(ProtocolPsk("", "u1", "pw1")));
    std::string requestEnv = probe.Seal(probe.Text(pr));
    GetPageAnswer answer;
    answer.docName = own[1].name;
    answer.page.hasContent = true;
    answer.page.content = CompressBuffer(lastSaved[1]);
    auto r0 = Clock::now();
    for (int k = 0; k < kPageRequests; ++k) {
        EnvelopeParts parts;
        std::string err;
        ReadRequestEnvelope(requestEnv, parts, err);
        SecureBytes psk = ProtocolPskFromShort(parts.cadd, shortPsk);
        if (!VerifyEnvelope(parts, parts.user, psk)) std::abort();
        auto plain = OpenEnvelope(parts, psk);
        Request req;
        if (!ReadRequestText(*plain, req, err)) std::abort();
        std::string text = BuildAnswerText({parts.ztident, 1}, answer);
        std::string sealed = BuildEnvelopeWithPsk(text, parts.ztident, parts.user, psk, parts.cadd, true);
        if (sealed.empty()) std::abort();
    }
    double rawPerPage = std::chrono::duration<double>(Clock::now() - r0).count() / kPageRequests;

    kill(server, SIGTERM);
    int st = 0;
    waitpid(server, &st, 0);
    std::filesystem::remove_all(dir);

    double load1 = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load1) != 1) load1 = 0;
        std::fclose(f);
    }
    std::printf("Loopback, SQLite, %d concurrent clients (one thread and keep-alive connection each), pages of "
                "%zu bytes; the clients run on the same %u cores as the server. The machine is shared with other "
                "engineers (load average %.2f at the end), so the rates are lower bounds.\n\n",
                kClients, kPageBytes, std::thread::hardware_concurrency(), load1);
    std::printf("| figure | value | goal |\n|---|---|---|\n");
    std::printf("| requests (bounded: %.0f s or %d requests) | %zu in %.2f s | |\n", kSeconds, kMaxRequests, done,
                wall);
    std::printf("| requests per second | %.0f | at least 1500 |\n", double(done) / wall);
    std::printf("| latency p50 / p99 / max | %.1f / %.1f / %.1f ms | p99 at most 50 ms |\n",
                Percentile(latencies, 0.50), Percentile(latencies, 0.99), Percentile(latencies, 1.0));
    std::printf("| failed requests | %d | 0 |\n", failures.load());
    std::printf("| acknowledged saves | %d | |\n", saves.load());
    std::printf("| last acknowledged save of every document read back intact | %d of %d | all |\n", intact, checked);
    std::printf("| writers granted on the shared document (50 asked at once) | %d | 1 |\n", sharedWriters.load());
    std::printf("| keep-alives of non-writers not refused with errno 40 | %d | 0 |\n", violations.load());
    std::printf("| server processor time during the load, per request | %.3f ms | |\n", 1000 * loadCpu / double(done));
    std::printf("| server processor time per page request (alone) | %.3f ms | |\n", 1000 * serverPerPage);
    std::printf("| raw open + check + seal of that request and answer | %.3f ms | |\n", 1000 * rawPerPage);
    std::printf("| ratio server / raw | %.2f | at most 2 |\n", serverPerPage / rawPerPage);
    return 0;
}
