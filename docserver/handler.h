// The request handling of zettrix-server: opens the envelope, reads the
// request strictly, applies the server's rules in one database transaction and
// seals the answer.
#pragma once

#include "docstore.h"
#include "security/securebytes.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zt::docsrv {

struct ServerConfig {
    int64_t leaseSeconds = 300;       // write lock lease
    int64_t inlineFileLimit = 65536;  // compressed size up to which files travel with their page
    int64_t freshnessSeconds = 300;   // how far ZTTIME may be from the server's time
};

// The time the rules use: the database's clock plus an offset that tests can
// set through the file named by ZT_SERVER_CLOCK_FILE (a number of seconds).
class CServerClock {
  public:
    CServerClock();
    int64_t Offset() const;

  private:
    std::string file_;
};

struct Outcome {
    std::string body;     // the answer text to send
    std::string user;     // for the log line
    std::string kind;
    std::string doc;
    int errnum = 0;       // 0 for success
    bool internal = false; // a database failure: answer HTTP 500
};

class CDocServer {
  public:
    CDocServer(CSqlDb& db, ServerConfig config);
    Outcome Handle(std::string_view envelope);

    struct Ctx;

  private:
    void HandleOpened(Ctx& ctx, const std::string& plain, Outcome& out);
    bool FreshNonce(const std::string& mac, int64_t realNow);
    // The PSK for (short form, CADD): CADD changes once a second, so most
    // requests of a client find the derivation of their predecessor.
    SecureBytes PskFor(const std::string& shortPsk, const std::string& cadd);

    CSqlDb& db_;
    CDocStore store_;
    ServerConfig config_;
    CServerClock clock_;
    bool memoryNonces_;
    std::mutex nonceMutex_;
    std::unordered_map<std::string, int64_t> nonces_;
    std::deque<std::pair<int64_t, std::string>> nonceOrder_;
    std::mutex pskMutex_;
    std::unordered_map<std::string, SecureBytes> pskCache_;
};

} // namespace zt::docsrv
