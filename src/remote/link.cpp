#include "remote/link.h"

#include "base/messages.h"
#include "base/xml.h"
#include "security/protocol.h"
#include "server/envelope.h"

#include <chrono>
#include <ctime>
#include <unistd.h>

namespace zt::remote {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::atomic<int> gSessionCounter{0};

} // namespace

std::optional<TypedAddress> ParseTypedAddress(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    TypedAddress a;
    auto scheme = text.find("://");
    if (scheme != std::string_view::npos) {
        a.otherScheme = !EqualNoCase(text.substr(0, scheme), "http");
        text.remove_prefix(scheme + 3);
    }
    auto slash = text.find('/');
    a.hostPort = std::string(text.substr(0, slash));
    if (slash != std::string_view::npos) a.scriptPath = std::string(text.substr(slash + 1));
    if (a.hostPort.empty()) return std::nullopt;
    return a;
}

CServerLink::CServerLink(Prompter& p, Connection c) : prompter(p), connection(std::move(c)) {
    // The server tells write locks apart by user and ident: two sessions
    // opened within one second, in this process or in another one of the
    // same user, still need distinct idents.
    ident = srv::NewSessionIdent();
    int n = ++gSessionCounter;
    ident += " #" + std::to_string(long(::getpid())) + "." + std::to_string(n);
}

CServerLink::~CServerLink() = default;

void CServerLink::Show(const std::string& text) { prompter.Message(text, Prompter::Icon::Error); }

std::string CServerLink::OutcomeText(const srv::AnswerResult& r, bool alive) {
    switch (r.code) {
    case srv::AnswerResult::Ok:
        return {};
    case srv::AnswerResult::NoData:
        return MessageText(alive ? Msg::RemoteAliveNoData : Msg::RemoteNoData);
    case srv::AnswerResult::ServerError:
        return FormatMessage(alive ? Msg::RemoteAliveXmlDataErrorServer : Msg::RemoteXmlDataErrorServer, {r.text});
    case srv::AnswerResult::UnknownVersion:
        return MessageText(Msg::UnknownFormatVersion);
    case srv::AnswerResult::Malformed:
        break;
    }
    return MessageText(alive ? Msg::RemoteAliveXmlDataError : Msg::RemoteXmlDataError);
}

std::string CServerLink::RequestText(const srv::RequestBody& body, bool declaration) const {
    srv::Request r;
    r.head.ztident = ident;
    r.head.zttime = int64_t(std::time(nullptr));
    r.head.user = connection.user;
    {
        SecureBytes h = Hauth(connection.user, connection.password);
        r.head.hauth = std::string(std::string_view(h));
    }
    r.head.declaration = declaration;
    r.body = body;
    std::string text = srv::BuildRequestText(r);
    std::fill(r.head.hauth.begin(), r.head.hauth.end(), '\0');
    return text;
}

CServerLink::Exchanged CServerLink::Exchange(const srv::RequestBody& body, xml::Document& answer, bool quiet,
                                             const std::string* openWith) {
    Exchanged ex;
    const bool content = std::holds_alternative<srv::GetContentRequest>(body);
    std::string text = RequestText(body, !content);
    std::string envelope = srv::BuildEnvelope(text, ident, connection.user, connection.password);
    PostRequest req;
    req.hostPort = connection.hostPort;
    req.scriptPath = connection.scriptPath;
    req.encrypted = connection.ssl;
    req.silent = silent;
    req.body = std::move(envelope);
    req.headers = {"Content-type: text/xml", "Zettrix: XML2"};
    PostResult res = transport_.Post(req);
    certificateRefused_ = res.certificateRefused;
    auto fail = [&](Result r, std::string message) {
        ex.result = r;
        ex.message = std::move(message);
        if (!quiet && !ex.message.empty()) Show(ex.message);
        return ex;
    };
    if (!res.ok) {
        connected_ = false;
        if (res.cancelled || res.certificateRefused) return fail(Result::TransferFailed, {});
        if (res.status > 299 && !res.headers.empty()) {
            auto line = res.headers.find("HTTP/");
            auto end = res.headers.find_first_of("\r\n", line == std::string::npos ? 0 : line);
            std::string status = line == std::string::npos ? std::string() : res.headers.substr(line, end - line);
            return fail(Result::TransferFailed, FormatMessage(Msg::RemoteServerError, {status}));
        }
        return fail(Result::TransferFailed, FormatMessage(Msg::RemoteSendError, {res.error}));
    }
    connected_ = true;
    srv::OpenedAnswer opened;
    if (!srv::OpenAnswer(res.body, res.headers, connection.user, openWith ? *openWith : connection.password,
                         opened)) {
        if (opened.serverError) {
            ex.errnum = opened.errnum;
            return fail(Result::ServerError, FormatMessage(Msg::RemoteXmlDataErrorServer, {opened.error}));
        }
        // Not sealed, not ours, or damaged: nothing of it is used.
        return fail(Result::Refused, MessageText(Msg::RemoteXmlDataError));
    }
    answer = std::move(opened.document);
    ex.result = Result::Ok;
    return ex;
}

bool CServerLink::RunLocked(const std::function<bool()>& work) {
    if (!busy_.try_lock_for(std::chrono::seconds(60))) return false;
    std::lock_guard<std::timed_mutex> hold(busy_, std::adopt_lock);
    transport_.ResetCancel();
    bool ok = runner ? runner->Run(transport_, work) : work();
    return ok && !transport_.Cancelled();
}

bool CServerLink::LoadContentList(srv::GetContentAnswer& out) {
    bool ok = false;
    RunLocked([&] {
        xml::Document doc;
        Exchanged ex = Exchange(srv::GetContentRequest{}, doc, true);
        if (ex.result == Result::TransferFailed && !transport_.Cancelled() && !certificateRefused_) {
            // The compatible form: with the declaration, answered unsealed
            // under the older marker.
            std::string text = RequestText(srv::GetContentRequest{}, true);
            PostRequest req;
            req.hostPort = connection.hostPort;
            req.scriptPath = connection.scriptPath;
            req.encrypted = connection.ssl;
            req.body = srv::BuildEnvelope(text, ident, connection.user, connection.password);
            req.headers = {"Content-type: text/xml", "Zettrix: XML2"};
            PostResult res = transport_.Post(req);
            if (!res.ok) {
                connected_ = false;
                if (!res.cancelled && !res.certificateRefused) Show(ex.message);
                return false;
            }
            connected_ = true;
            if (res.headers.find("ZTXML\r\n") == std::string::npos) {
                Show(MessageText(Msg::RemoteXmlDataError));
                return false;
            }
            doc = xml::Parse(res.body);
        } else if (ex.result != Result::Ok) {
            if (!ex.message.empty()) Show(ex.message);
            return false;
        }
        srv::AnswerResult r = srv::ReadGetContentAnswer(doc, out);
        if (!r.ok()) {
            Show(OutcomeText(r));
            return false;
        }
        ok = true;
        return true;
    });
    return ok;
}

bool CServerLink::Admin(const srv::AdminRequest& request, srv::AdminAnswer& out, const std::string* openWith) {
    bool ok = false;
    RunLocked([&] {
        xml::Document doc;
        Exchanged ex = Exchange(request, doc, false, openWith);
        if (ex.result != Result::Ok) return false;
        srv::AnswerResult r = srv::ReadAdminAnswer(doc, request, out);
        if (!r.ok()) {
            Show(OutcomeText(r));
            return false;
        }
        ok = true;
        return true;
    });
    return ok;
}

bool CServerLink::CreateDocument(const std::string& name) {
    srv::AdminRequest r;
    r.command = srv::AdminCommand::DocAdd;
    r.docName = name;
    srv::AdminAnswer a;
    return Admin(r, a);
}

bool CServerLink::DeleteDocument(const std::string& name, const std::string& docIdent) {
    srv::AdminRequest r;
    r.command = srv::AdminCommand::DocDel;
    r.docName = name;
    r.docIdent = docIdent;
    srv::AdminAnswer a;
    return Admin(r, a) && a.docIdent == docIdent;
}

bool CServerLink::ReadDocumentUsers(const std::string& name, const std::string& docIdent,
                                    std::vector<srv::UserRight>& users, std::vector<std::string>& allUsers) {
    srv::AdminRequest r;
    r.command = srv::AdminCommand::ChgDocPre;
    r.docName = name;
    r.docIdent = docIdent;
    srv::AdminAnswer a;
    if (!Admin(r, a)) return false;
    users = a.docUsers;
    allUsers = a.allUsers;
    return true;
}

bool CServerLink::ChangeDocument(const std::string& name, const std::string& docIdent, const std::string& newName,
                                 const std::vector<srv::UserRight>& users) {
    srv::AdminRequest r;
    r.command = srv::AdminCommand::ChgDocPost;
    r.docName = name;
    r.docIdent = docIdent;
    r.docNameNew = newName;
    r.users = users;
    srv::AdminAnswer a;
    return Admin(r, a) && a.docIdent == docIdent;
}

bool CServerLink::ChangePassword(const std::string& newPassword) {
    srv::AdminRequest r;
    r.command = srv::AdminCommand::ChgPwd;
    {
        SecureBytes psk = ProtocolPsk("", connection.user, newPassword);
        SecureBytes h = Hauth(connection.user, newPassword);
        r.pskNew = std::string(std::string_view(psk));
        r.hauthNew = std::string(std::string_view(h));
    }
    srv::AdminAnswer a;
    bool ok = Admin(r, a, &newPassword);
    std::fill(r.pskNew.begin(), r.pskNew.end(), '\0');
    std::fill(r.hauthNew.begin(), r.hauthNew.end(), '\0');
    if (ok) connection.password = newPassword;
    return ok;
}

} // namespace zt::remote
