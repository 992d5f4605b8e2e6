#include "reminders/mail.h"

#include "base/messages.h"

#include <cctype>
#include <cstring>
#include <ctime>
#include <curl/curl.h>
#include <memory>
#include <unistd.h>

namespace zt {

namespace {

bool NeedsEncoding(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80 || c < 0x20) return true;
    return false;
}

// RFC 2047 encoded word in base64 where the text is not plain ASCII.
std::string HeaderText(const std::string& s) {
    if (!NeedsEncoding(s)) return s;
    static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out = "=?UTF-8?B?";
    size_t i = 0;
    for (; i + 2 < s.size(); i += 3) {
        const uint32_t v = uint32_t(uint8_t(s[i])) << 16 | uint32_t(uint8_t(s[i + 1])) << 8 | uint8_t(s[i + 2]);
        out += b64[(v >> 18) & 63];
        out += b64[(v >> 12) & 63];
        out += b64[(v >> 6) & 63];
        out += b64[v & 63];
    }
    if (i < s.size()) {
        uint32_t v = uint32_t(uint8_t(s[i])) << 16;
        if (i + 1 < s.size()) v |= uint32_t(uint8_t(s[i + 1])) << 8;
        out += b64[(v >> 18) & 63];
        out += b64[(v >> 12) & 63];
        out += i + 1 < s.size() ? b64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out + "?=";
}

// Header values never carry line breaks (no header injection).
std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

std::string Mailbox(const std::string& name, const std::string& address) {
    if (name.empty()) return "<" + address + ">";
    std::string quoted;
    if (NeedsEncoding(name)) {
        quoted = HeaderText(name);
    } else {
        quoted = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += "\"";
    }
    return quoted + " <" + address + ">";
}

bool PlainAddress(const std::string& a) {
    if (a.empty() || a.size() > 254) return false;
    for (unsigned char c : a)
        if (c <= 0x20 || c == '<' || c == '>' || c == '\r' || c == '\n' || c == ',' || c >= 0x7F) return false;
    return a.find('@') != std::string::npos;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

} // namespace

int CZTMailSettings::EffectivePort() const {
    if (port > 0) return port;
    return tls == MailTls::Tls ? 465 : tls == MailTls::StartTls ? 587 : 25;
}

const char* CZTMailSettings::TlsName(MailTls tls) {
    return tls == MailTls::Tls ? "TLS" : tls == MailTls::None ? "none" : "STARTTLS";
}

MailTls CZTMailSettings::TlsFromName(const std::string& name) {
    std::string n;
    for (char c : name) n += char(std::tolower(uint8_t(c)));
    if (n == "tls" || n == "ssl") return MailTls::Tls;
    if (n == "none" || n == "keine" || n == "0") return MailTls::None;
    return MailTls::StartTls;
}

CZTMailJob::~CZTMailJob() {
    if (deleteAttachment && !attachmentPath.empty()) unlink(attachmentPath.c_str());
}

std::string BareAddress(const std::string& address) {
    for (const char* prefix : {"SMTP:", "mailto:"}) {
        const size_t n = std::strlen(prefix);
        if (address.size() >= n && strncasecmp(address.c_str(), prefix, n) == 0) return address.substr(n);
    }
    return address;
}

CZTMailResult SendMail(const CZTMailJob& job, const CZTMailSettings& settings, const std::string& password) {
    CZTMailResult result;
    if (!settings.Available()) {
        result.error = MessageText(Msg::MailNotConfigured);
        return result;
    }
    const std::string to = BareAddress(job.address);
    const std::string from = BareAddress(settings.sender);
    if (!PlainAddress(to) || !PlainAddress(from)) {
        result.error = "Ungültige E-Mail-Adresse: " + (PlainAddress(to) ? from : to);
        return result;
    }
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    std::unique_ptr<CURL, CurlDeleter> curl(initialised ? curl_easy_init() : nullptr);
    if (!curl) {
        result.error = "libcurl";
        return result;
    }
    CURL* c = curl.get();
    const std::string url = std::string(settings.tls == MailTls::Tls ? "smtps://" : "smtp://") + settings.server +
                            ":" + std::to_string(settings.EffectivePort());
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (settings.tls == MailTls::StartTls) curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!settings.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    const std::string mailFrom = "<" + from + ">";
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.c_str());
    std::unique_ptr<curl_slist, ListDeleter> rcpt(curl_slist_append(nullptr, ("<" + to + ">").c_str()));
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 120L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);

    char date[64];
    const time_t now = time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S %z", &tm);
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, (std::string("Date: ") + date).c_str());
    headers = curl_slist_append(headers, ("From: " + Mailbox("", from)).c_str());
    headers = curl_slist_append(headers, ("To: " + Mailbox(OneLine(job.name), to)).c_str());
    headers = curl_slist_append(headers, ("Subject: " + HeaderText(OneLine(job.subject))).c_str());
    std::unique_ptr<curl_slist, ListDeleter> headerList(headers);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);

    std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(c));
    curl_mimepart* text = curl_mime_addpart(mime.get());
    curl_mime_data(text, job.body.data(), job.body.size());
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "quoted-printable");
    if (!job.attachmentName.empty() && !job.attachmentPath.empty()) {
        curl_mimepart* file = curl_mime_addpart(mime.get());
        if (curl_mime_filedata(file, job.attachmentPath.c_str()) != CURLE_OK) {
            result.error = MessageText(Msg::MailAttachFailed);
            return result;
        }
        curl_mime_filename(file, OneLine(job.attachmentName).c_str());
        curl_mime_type(file, "application/octet-stream");
        curl_mime_encoder(file, "base64");
    }
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);

    char errbuf[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_OK) {
        result.ok = true;
        return result;
    }
    result.loginRefused = rc == CURLE_LOGIN_DENIED;
    result.error = result.loginRefused ? std::string(MessageText(Msg::MailAuthFailed))
                                       : std::string(*errbuf ? errbuf : curl_easy_strerror(rc));
    return result;
}

} // namespace zt
