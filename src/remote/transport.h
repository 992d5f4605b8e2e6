// The HTTP transport of the server link: one POST of a protocol text to the
// server script, answered by a text. libcurl carries it (OpenSSL for HTTPS);
// the server's certificate is not checked against any authority but handed
// to our own trust check against the list of certificates the user trusted.
// Progress and cancel go through the transfer callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt::remote {

// "host" or "host:port"; the port defaults to 443 with HTTPS, else 80.
struct HostPort {
    std::string host;
    int port = 80;
};
std::optional<HostPort> SplitHostPort(std::string_view text, bool encrypted);

// The trusted server certificates as the settings keep them: one DER
// SEQUENCE whose elements are the DER certificates, in the order they were
// trusted. Elements that are no X.509 certificate are skipped on reading.
std::vector<std::string> DecodeTrustedList(std::string_view der);
std::string EncodeTrustedList(const std::vector<std::string>& certs);
// A short readable description of a DER certificate (subject, issuer,
// validity, SHA-256 fingerprint), UTF-8; empty when it does not parse.
std::string DescribeCertificate(std::string_view der);

// Where the trusted list lives (the settings in the program, a file for ztd).
class TrustStore {
public:
    virtual ~TrustStore() = default;
    virtual std::string Load() = 0;
    virtual void Save(const std::string& der) = 0;
};

// The user's decision on a certificate that is not trusted.
enum class TrustDecision { Trust, Refuse };

// Asked on the thread that sends the request (the GUI marshals it to its own
// thread). `der` is the leaf certificate; empty when none could be had.
using TrustQuestion = std::function<TrustDecision(const std::string& der)>;
// Asked when no certificate could be taken: true continues.
using MissingCertQuestion = std::function<bool()>;

// Progress of one transfer: bytes sent and received so far, and the totals
// when known (0 otherwise). Called on the transfer's thread.
using ProgressCallback = std::function<void(int64_t sent, int64_t sentTotal, int64_t received, int64_t receivedTotal)>;

struct PostRequest {
    std::string hostPort;   // host or host:port
    std::string scriptPath; // the server script, without a leading "/"
    std::string body;
    std::vector<std::string> headers; // "Name: value"
    bool encrypted = false;
    bool silent = false;    // no certificate questions
    long timeoutSeconds = 0; // 0: no limit (cancel still works)
};

struct PostResult {
    bool ok = false;           // status below 300, no cancel, no transport error
    int status = 0;            // 500 when none could be read
    std::string headers;       // raw: the status line and the headers, CR LF separated
    std::string body;
    int64_t contentLength = -1; // from "ZTContent-length: "
    bool cancelled = false;
    bool certificateRefused = false;
    std::string error;         // the transport's reason when it failed
};

// One transfer at a time per object; Cancel() may be called from any thread.
class CHttpTransport {
public:
    CHttpTransport();
    ~CHttpTransport();
    CHttpTransport(const CHttpTransport&) = delete;
    CHttpTransport& operator=(const CHttpTransport&) = delete;

    TrustStore* trust = nullptr;
    TrustQuestion askTrust;
    MissingCertQuestion askMissing;
    ProgressCallback progress;

    PostResult Post(const PostRequest& request);
    void Cancel() { cancel_ = true; }
    void ResetCancel() { cancel_ = false; }
    bool Cancelled() const { return cancel_; }

    // The count of POSTs sent (for the benchmarks and tests).
    int64_t RequestCount() const { return requests_; }

private:
    bool CheckCertificate(const std::string& der, bool silent);
    std::atomic<bool> cancel_{false};
    std::atomic<int64_t> requests_{0};
};

} // namespace zt::remote
