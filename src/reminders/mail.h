// Sending mail: SMTP through libcurl with the settings of section "Mail".
// A mail job carries one recipient, subject, body and at most one attached
// file; the message is built with curl's MIME interface.
#pragma once

#include <string>

namespace zt {

enum class MailTls { StartTls = 0, Tls = 1, None = 2 };

struct CZTMailSettings {
    std::string server;   // host name; mail is available when it is set
    int port = 0;         // 0: 587 for STARTTLS, 465 for TLS, 25 without
    MailTls tls = MailTls::StartTls;
    std::string user;     // empty: no login
    std::string sender;   // the From address
    bool Available() const { return !server.empty(); }
    int EffectivePort() const;
    // "STARTTLS", "TLS", "none" and back (unknown texts read as STARTTLS).
    static const char* TlsName(MailTls tls);
    static MailTls TlsFromName(const std::string& name);
};

// One message. Texts are UTF-8.
struct CZTMailJob {
    std::string attachmentPath; // temporary file to attach, empty for none
    std::string attachmentName; // the name shown; a message has an attachment exactly when it is set
    bool deleteAttachment = false;
    std::string address;        // recipient address ("SMTP:" prefix allowed)
    std::string name;           // recipient display name
    std::string subject;
    std::string body;

    CZTMailJob() = default;
    CZTMailJob(const CZTMailJob&) = delete;
    CZTMailJob& operator=(const CZTMailJob&) = delete;
    // Deletes the attachment when the job owns it.
    ~CZTMailJob();
};

struct CZTMailResult {
    bool ok = false;
    bool loginRefused = false; // the server refused the user name or password
    std::string error;         // UTF-8, for the user
};

// The bare address: an "SMTP:" or "mailto:" prefix is dropped.
std::string BareAddress(const std::string& address);

// Sends at once on the calling thread. `password` is used when the settings
// name a user.
CZTMailResult SendMail(const CZTMailJob& job, const CZTMailSettings& settings, const std::string& password);

} // namespace zt
