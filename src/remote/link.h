// The server link of one account: the connection values, the transport, and
// the exchange of one request and its answer (built, sealed, posted, opened
// and checked). Answers must come sealed and authenticated under the
// account's keys; only the compatible form of the content request is read
// without an envelope. Also the content list and the administration requests.
#pragma once

#include "base/prompter.h"
#include "remote/transport.h"
#include "server/answers.h"
#include "server/requests.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zt::xml {
class Document;
}

namespace zt::remote {

struct Connection {
    std::string user, password;
    std::string hostPort;   // host or host:port
    std::string scriptPath; // "ztweb/ztDB.php" by default
    bool ssl = false;
    bool operator==(const Connection&) const = default;
};

// An address as the user types it: optional "http://", host and port, then
// optionally "/" and the script path. `otherScheme` is set for a scheme that
// is not http (the caller asks whether to go on without it).
struct TypedAddress {
    std::string hostPort, scriptPath;
    bool otherScheme = false;
};
std::optional<TypedAddress> ParseTypedAddress(std::string_view text);

// Runs a transfer function: on the calling thread (ztd, tests), or on a
// worker thread behind a modal progress display with cancel (the program).
// `title` names the item ("" for page bodies, the file name for files);
// `requestLength` is the length of the request text.
class TransferRunner {
public:
    virtual ~TransferRunner() = default;
    virtual bool Run(CHttpTransport& transport, const std::function<bool()>& work) { return work(); }
    // A new item of a batch starts (the progress display restarts its counters).
    virtual void NextItem(const std::string& title, size_t requestLength) {}
};

class CServerLink {
public:
    CServerLink(Prompter& prompter, Connection connection);
    ~CServerLink();

    Prompter& prompter;
    Connection connection;
    std::string ident;      // ZTIDENT of this session
    TransferRunner* runner = nullptr; // null: on the calling thread
    // No certificate questions: only a trusted certificate is accepted (the
    // keep-alive thread has no user to ask).
    bool silent = false;
    CHttpTransport& Transport() { return transport_; }

    // The busy mark shared with the keep-alive thread: user requests wait for
    // it at most 60 s, the keep-alive as long as needed.
    std::timed_mutex& Busy() { return busy_; }
    // Whether the last transfer of a fetch, save or content request succeeded.
    bool Connected() const { return connected_; }

    // The request text of `body` for this session (before sealing).
    std::string RequestText(const srv::RequestBody& body, bool declaration = true) const;

    enum class Result { Ok, TransferFailed, Refused, ServerError };
    struct Exchanged {
        Result result = Result::TransferFailed;
        int errnum = -1;          // of a server's ERROR_MSG
        std::string message;      // what was shown (or would have been, when quiet)
    };
    // Seals and sends one request and opens its answer into `answer`, which
    // must be sealed under the account's keys. Shows the message of a
    // refusal unless `quiet`; `openWith` opens the answer under another
    // password (the password change). Runs on the calling thread.
    Exchanged Exchange(const srv::RequestBody& body, xml::Document& answer, bool quiet = false,
                       const std::string* openWith = nullptr);
    // Runs `work` through the runner with the busy mark held. False when the
    // mark could not be had in 60 s or `work` failed.
    bool RunLocked(const std::function<bool()>& work);

    // The content list; the compatible form is tried when the first transfer
    // itself fails.
    bool LoadContentList(srv::GetContentAnswer& out);

    // Administration.
    bool CreateDocument(const std::string& name);
    bool DeleteDocument(const std::string& name, const std::string& ident);
    bool ReadDocumentUsers(const std::string& name, const std::string& ident, std::vector<srv::UserRight>& users,
                           std::vector<std::string>& allUsers);
    bool ChangeDocument(const std::string& name, const std::string& ident, const std::string& newName,
                        const std::vector<srv::UserRight>& users);
    // On success the link keeps the new password.
    bool ChangePassword(const std::string& newPassword);

    // Shows a message from the message table through the prompter.
    void Show(const std::string& text);
    // The text of a reader's outcome ("XML Data Error", "Keine Daten
    // empfangen", with the server's text for ERROR_MSG).
    static std::string OutcomeText(const srv::AnswerResult& r, bool alive = false);

private:
    bool Admin(const srv::AdminRequest& request, srv::AdminAnswer& out, const std::string* openWith = nullptr);
    CHttpTransport transport_;
    std::timed_mutex busy_;
    bool connected_ = false;
    bool certificateRefused_ = false;
};

} // namespace zt::remote
