#include "remote/transport.h"

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstring>
#include <ctime>
#include <mutex>

namespace zt::remote {

namespace {

std::once_flag gCurlInit;

// DER length of a TLV at `p` (within `n` bytes): header size and content size.
bool ReadTlv(const unsigned char* p, size_t n, size_t& header, size_t& length) {
    if (n < 2) return false;
    size_t i = 1;
    size_t len = p[i++];
    if (len & 0x80) {
        size_t bytes = len & 0x7F;
        if (bytes == 0 || bytes > 4 || i + bytes > n) return false;
        len = 0;
        for (size_t k = 0; k < bytes; ++k) len = (len << 8) | p[i++];
    }
    if (len > n - i) return false;
    header = i;
    length = len;
    return true;
}

void AppendLength(std::string& out, size_t len) {
    if (len < 0x80) {
        out.push_back(char(len));
        return;
    }
    std::string bytes;
    while (len) {
        bytes.insert(bytes.begin(), char(len & 0xFF));
        len >>= 8;
    }
    out.push_back(char(0x80 | bytes.size()));
    out += bytes;
}

bool IsCertificate(std::string_view der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* x = d2i_X509(nullptr, &p, long(der.size()));
    if (!x) return false;
    bool whole = p == reinterpret_cast<const unsigned char*>(der.data()) + der.size();
    X509_free(x);
    return whole;
}

std::string Der(X509* cert) {
    unsigned char* buf = nullptr;
    int n = i2d_X509(cert, &buf);
    if (n <= 0) return {};
    std::string out(reinterpret_cast<char*>(buf), size_t(n));
    OPENSSL_free(buf);
    return out;
}

// "CN = host, O = maker" with the name's own characters (UTF-8), not the
// escaped "/CN=host/O=maker" form.
std::string NameText(X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    std::string out;
    if (X509_NAME_print_ex(bio, name, 0, (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT) >= 0) {
        char* data = nullptr;
        long n = BIO_get_mem_data(bio, &data);
        if (data && n > 0) out.assign(data, size_t(n));
    }
    BIO_free(bio);
    return out;
}

std::string TimeText(const ASN1_TIME* t) {
    struct tm tm {};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return "?";
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

// The transfer the handshake callback of this thread belongs to.
struct TransferState {
    CHttpTransport* transport = nullptr;
    bool silent = false;
    bool sawLeaf = false;
    bool refused = false;
    std::function<bool(const std::string&, bool)> check;
};
thread_local TransferState* tState = nullptr;

int VerifyCallback(int /*preverified*/, X509_STORE_CTX* ctx) {
    // Authorities are not consulted: the leaf alone decides, against the
    // user's own list.
    if (!tState) return 0;
    if (X509_STORE_CTX_get_error_depth(ctx) != 0) return 1;
    if (tState->sawLeaf) return tState->refused ? 0 : 1;
    tState->sawLeaf = true;
    X509* leaf = X509_STORE_CTX_get_current_cert(ctx);
    std::string der = leaf ? Der(leaf) : std::string();
    bool ok = tState->check(der, tState->silent);
    tState->refused = !ok;
    return ok ? 1 : 0;
}

CURLcode SslContext(CURL*, void* sslctx, void*) {
    SSL_CTX_set_verify(static_cast<SSL_CTX*>(sslctx), SSL_VERIFY_PEER, VerifyCallback);
    return CURLE_OK;
}

struct Sink {
    PostResult* result;
    CHttpTransport* transport;
};

size_t WriteBody(char* data, size_t size, size_t n, void* user) {
    auto* s = static_cast<Sink*>(user);
    if (s->transport->Cancelled()) return 0;
    s->result->body.append(data, size * n);
    return size * n;
}

size_t WriteHeader(char* data, size_t size, size_t n, void* user) {
    auto* s = static_cast<Sink*>(user);
    std::string_view line(data, size * n);
    // An interim answer (100 Continue) is replaced by the final one.
    if (line.substr(0, 5) == "HTTP/") s->result->headers.clear();
    s->result->headers.append(line);
    return size * n;
}

int Progress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal, curl_off_t ulNow) {
    auto* t = static_cast<CHttpTransport*>(user);
    if (t->Cancelled()) return 1;
    if (t->progress) t->progress(ulNow, ulTotal, dlNow, dlTotal);
    return 0;
}

} // namespace

std::optional<HostPort> SplitHostPort(std::string_view text, bool encrypted) {
    HostPort hp;
    auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        hp.host = std::string(text);
        hp.port = encrypted ? 443 : 80;
    } else {
        hp.host = std::string(text.substr(0, colon));
        std::string_view p = text.substr(colon + 1);
        if (p.empty() || p.size() > 5) return std::nullopt;
        int port = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return std::nullopt;
        hp.port = port;
    }
    if (hp.host.empty()) return std::nullopt;
    for (unsigned char c : hp.host)
        if (c <= ' ' || c == '/' || c == '@' || c == '?' || c == '#' || c >= 0x7F) return std::nullopt;
    return hp;
}

std::vector<std::string> DecodeTrustedList(std::string_view der) {
    std::vector<std::string> out;
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    size_t header = 0, length = 0;
    if (der.empty() || p[0] != 0x30 || !ReadTlv(p, der.size(), header, length)) return out;
    size_t pos = header, end = header + length;
    while (pos < end) {
        size_t h = 0, l = 0;
        if (!ReadTlv(p + pos, end - pos, h, l)) break;
        std::string_view element = der.substr(pos, h + l);
        if (IsCertificate(element)) out.emplace_back(element);
        pos += h + l;
    }
    return out;
}

std::string EncodeTrustedList(const std::vector<std::string>& certs) {
    std::string inner;
    for (const auto& c : certs) inner += c;
    std::string out(1, char(0x30));
    AppendLength(out, inner.size());
    return out + inner;
}

std::string DescribeCertificate(std::string_view der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* x = d2i_X509(nullptr, &p, long(der.size()));
    if (!x) return {};
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLen = 0;
    X509_digest(x, EVP_sha256(), md, &mdLen);
    std::string fp;
    static const char* hex = "0123456789ABCDEF";
    for (unsigned i = 0; i < mdLen; ++i) {
        if (i) fp += ':';
        fp += hex[md[i] >> 4];
        fp += hex[md[i] & 15];
    }
    std::string text = "Ausgestellt für: " + NameText(X509_get_subject_name(x)) +
                       "\nAusgestellt von: " + NameText(X509_get_issuer_name(x)) +
                       "\nGültig ab: " + TimeText(X509_get0_notBefore(x)) +
                       "\nGültig bis: " + TimeText(X509_get0_notAfter(x)) + "\nSHA-256: " + fp;
    X509_free(x);
    return text;
}

CHttpTransport::CHttpTransport() {
    std::call_once(gCurlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CHttpTransport::~CHttpTransport() = default;

bool CHttpTransport::CheckCertificate(const std::string& der, bool silent) {
    std::vector<std::string> trusted = trust ? DecodeTrustedList(trust->Load()) : std::vector<std::string>{};
    if (!der.empty()) {
        for (const auto& t : trusted)
            if (t == der) return true;
    }
    if (silent) return false;
    if (der.empty()) return askMissing ? askMissing() : false;
    if (!askTrust || askTrust(der) != TrustDecision::Trust) return false;
    if (trust) {
        // Read again: another transfer may have added one meanwhile.
        trusted = DecodeTrustedList(trust->Load());
        trusted.push_back(der);
        trust->Save(EncodeTrustedList(trusted));
    }
    return true;
}

PostResult CHttpTransport::Post(const PostRequest& request) {
    PostResult result;
    result.status = 500;
    if (cancel_) {
        result.cancelled = true;
        result.error = "cancelled";
        return result;
    }
    auto hp = SplitHostPort(request.hostPort, request.encrypted);
    if (!hp) {
        result.error = "bad server address";
        return result;
    }
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.error = "no transfer handle";
        return result;
    }
    std::string host = hp->host;
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    std::string url = std::string(request.encrypted ? "https://" : "http://") + host + ":" +
                      std::to_string(hp->port) + "/" + request.scriptPath;
    curl_slist* headers = nullptr;
    for (const auto& h : request.headers) headers = curl_slist_append(headers, h.c_str());
    headers = curl_slist_append(headers, "Expect:");
    headers = curl_slist_append(headers, "Accept: text/*");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");

    Sink sink{&result, this};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Zettrix");
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, WriteHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 4096L);
    if (request.timeoutSeconds > 0) curl_easy_setopt(curl, CURLOPT_TIMEOUT, request.timeoutSeconds);
    TransferState state;
    if (request.encrypted) {
        // Trust is decided by the user's list, not by authorities or names.
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, SslContext);
        state.transport = this;
        state.silent = request.silent;
        state.check = [this](const std::string& der, bool silent) { return CheckCertificate(der, silent); };
    }
    ++requests_;
    TransferState* saved = tState;
    tState = request.encrypted ? &state : nullptr;
    CURLcode rc = curl_easy_perform(curl);
    tState = saved;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    if (request.encrypted && state.sawLeaf && state.refused) result.certificateRefused = true;
    if (request.encrypted && !state.sawLeaf && rc == CURLE_OK) {
        // The server showed no certificate.
        if (request.silent || !askMissing || !askMissing()) {
            result.certificateRefused = true;
            result.error = "no server certificate";
            return result;
        }
    }
    auto pos = result.headers.find("ZTContent-length: ");
    if (pos != std::string::npos) {
        pos += 18;
        int64_t v = 0;
        bool any = false;
        while (pos < result.headers.size() && result.headers[pos] >= '0' && result.headers[pos] <= '9' &&
               v < (int64_t(1) << 50)) {
            v = v * 10 + (result.headers[pos++] - '0');
            any = true;
        }
        if (any) result.contentLength = v;
    }
    if (status > 0) result.status = int(status);
    if (cancel_ || rc == CURLE_ABORTED_BY_CALLBACK) {
        result.cancelled = true;
        result.error = "cancelled";
        return result;
    }
    if (rc != CURLE_OK) {
        result.error = result.certificateRefused ? "certificate refused" : curl_easy_strerror(rc);
        return result;
    }
    result.ok = result.status <= 299;
    if (!result.ok) {
        auto line = result.headers.find("HTTP/");
        auto end = result.headers.find_first_of("\r\n", line == std::string::npos ? 0 : line);
        result.error = line == std::string::npos ? "no status" : result.headers.substr(line, end - line);
    }
    return result;
}

} // namespace zt::remote
