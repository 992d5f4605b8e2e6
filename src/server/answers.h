// The answer texts of the document server protocol: one struct per answer
// kind, the builder the server answers with and the reader the program
// accepts them with.
#pragma once

#include "server/requests.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace zt::xml {
class Document;
}

namespace zt::srv {

struct AnswerHead {
    std::string ztident; // the request's session ident
    int64_t zttime = 0;
};

// A refusal inside the answer element: ERROR_MSG with its errno.
struct ErrorAnswer {
    int errnum = kErrMalformed;
    std::string text;
};

struct ContentDoc {
    std::string name, ident;
    int right = kRead;
};
struct GetContentAnswer {
    std::string user;
    int level = 1;
    std::vector<ContentDoc> docs;
};

// The document header as the open, save and upload answers carry it.
struct DocHeader {
    std::string docName, docIdent;
    int64_t docTime = 0;
    std::string docTitle, muser, cuser;
    int64_t ctime = 1, mtime = 1;
};

struct TreeNode {
    std::string ident, title;
    int64_t nfiles = 0;
    std::vector<TreeNode> children;
};

struct GetDocAnswer {
    DocHeader header;
    bool write = false;
    std::vector<TreeNode> nodes;
};

struct FileInfo {
    std::string name, ident;
    int64_t length = 0, lengthCompr = 0;
    std::string cuser, muser;
    int64_t mtime = 1, ctime = 1, stime = 1;
    bool hasContent = false;
    std::string content; // the compressed buffer
};

struct PageInfo {
    std::string title;
    int64_t time = 1, ctime = 1;
    std::string cuser, muser;
    bool hasContent = false;
    std::string content; // the compressed buffer
};

struct GetPageAnswer {
    std::string docName, docIdent;
    int64_t docTime = 0;
    std::string nodeIdent;
    PageInfo page;
    std::vector<FileInfo> files;
};

struct GetPageFileAnswer {
    std::string docName, docIdent;
    int64_t docTime = 0;
    FileInfo file;
};

struct IdentPair {
    std::string key, val;
    bool operator==(const IdentPair&) const = default;
};

struct SaveDocAnswer {
    DocHeader header;
    std::vector<IdentPair> identn;
};

struct SetPageFileAnswer {
    DocHeader header;
    std::vector<IdentPair> identn;
};

struct AliveAnswer {
    std::string docName, docIdent;
    bool write = false;
};

struct AdminAnswer {
    AdminCommand command = AdminCommand::DocAdd;
    std::string docName, docIdent;
    // eChgDocPre: the document's users and every user of the server.
    std::vector<UserRight> docUsers;
    std::vector<std::string> allUsers;
};

using AnswerBody = std::variant<GetContentAnswer, GetDocAnswer, GetPageAnswer, GetPageFileAnswer, SaveDocAnswer,
                                SetPageFileAnswer, AliveAnswer, AdminAnswer>;

// The answer text (before sealing).
std::string BuildAnswerText(const AnswerHead& head, const AnswerBody& body);
// A sealed refusal: the answer element of `kind` holding ERROR_MSG (for
// Q_ADMIN with the command's COMMAND attribute).
std::string BuildErrorAnswerText(const AnswerHead& head, Kind kind, const ErrorAnswer& error,
                                 AdminCommand command = AdminCommand::DocAdd);

// The outcome of reading an answer on the program's side.
struct AnswerResult {
    enum Code { Ok, NoData, Malformed, ServerError, UnknownVersion } code = Ok;
    int errnum = -1;  // of a server's ERROR_MSG
    std::string text; // the server's text, or what was wrong
    bool ok() const { return code == Ok; }
};

// Readers of the opened answer document. Each finds its answer element,
// checks its version and the envelope root, refuses an ERROR_MSG, and checks
// the elements against the request that was sent.
AnswerResult ReadGetContentAnswer(const xml::Document& doc, GetContentAnswer& out);
AnswerResult ReadGetDocAnswer(const xml::Document& doc, const GetDocRequest& sent, GetDocAnswer& out);
AnswerResult ReadGetPageAnswer(const xml::Document& doc, const GetPageRequest& sent, GetPageAnswer& out);
AnswerResult ReadGetPageFileAnswer(const xml::Document& doc, const GetPageFileRequest& sent,
                                   GetPageFileAnswer& out);
AnswerResult ReadSaveDocAnswer(const xml::Document& doc, const SaveDocRequest& sent, SaveDocAnswer& out);
AnswerResult ReadSetPageFileAnswer(const xml::Document& doc, const SetPageFileRequest& sent,
                                   SetPageFileAnswer& out);
AnswerResult ReadAliveAnswer(const xml::Document& doc, const AliveRequest& sent, AliveAnswer& out);
AnswerResult ReadAdminAnswer(const xml::Document& doc, const AdminRequest& sent, AdminAnswer& out);

} // namespace zt::srv
