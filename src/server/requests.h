// The request texts of the document server protocol: one struct per request
// kind, the builder the program sends them with, and the strict reader the
// server accepts them with. Contents travel as compressed buffers (the bytes
// here), written in the line code.
#pragma once

#include "server/wire.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zt::srv {

// The frame every request shares.
struct RequestHead {
    std::string ztident;      // the session ident
    int64_t zttime = 0;       // seconds since 1970 UTC
    std::string user;
    std::string hauth;        // 64 lower-hex characters
    bool declaration = true;  // the first line "<?xml ... ?>"
};

struct GetContentRequest {};

struct GetDocRequest {
    bool openForWrite = false; // OPENDOCWRITE "ifwrite"
    std::string docIdent, docName;
    int64_t docTime = 0;
};

struct GetPageRequest {
    std::string docName;
    int64_t docTime = 0;
    std::string docIdent, nodeIdent;
    int64_t pageTime = 0;
};

struct GetPageFileRequest {
    std::string docName, docIdent;
    int64_t docTime = 0;
    std::string fileIdent;
};

// One page of the tree a save sends.
struct SaveFileRef {
    std::string name, ident;
};
struct SaveNode {
    std::string ident;        // NODE_IDENT, or NODE_IDENTN when `identIsTemp`
    bool identIsTemp = false;
    std::string title;
    bool hasContent = false;  // the page changed: times, users, lengths and content follow
    int64_t time = 1, ctime = 1;
    std::string cuser, muser;
    int64_t length = 0;       // uncompressed
    std::string content;      // the compressed buffer
    bool filesLoaded = false; // FILES lists the files; else <NOTLOADED/>
    std::vector<SaveFileRef> files;
    std::vector<SaveNode> children;
};

struct SaveDocRequest {
    std::string docName, docIdent, docMuser;
    int64_t docCtime = 1, docMtime = 1, docTime = 0;
    std::string docTitle;
    std::vector<SaveNode> nodes;
};

struct FileData {
    std::string name, ident;
    bool identIsTemp = false; // FILE_IDENTN
    int64_t length = 0;       // uncompressed
    int64_t mtime = 1, ctime = 1, stime = 1;
    std::string cuser, muser;
    std::string content;      // the compressed buffer
};

struct SetPageFileRequest {
    std::string docName, docIdent, docMuser;
    int64_t docCtime = 1, docMtime = 1, docTime = 0;
    std::string nodeIdent;
    FileData file;
};

struct AliveRequest {
    bool hold = true; // OPENDOCWRITE "true"; false releases the lock
    std::string docName, docIdent;
    int64_t docTime = 0;
};

struct UserRight {
    std::string name;
    int right = kRead;
    bool operator==(const UserRight&) const = default;
};

struct AdminRequest {
    AdminCommand command = AdminCommand::DocAdd;
    std::string docName, docIdent, docNameNew; // as the command needs them
    std::vector<UserRight> users;              // eChgDocPost
    std::string pskNew, hauthNew;              // eChgPwd
};

using RequestBody = std::variant<GetContentRequest, GetDocRequest, GetPageRequest, GetPageFileRequest, SaveDocRequest,
                                 SetPageFileRequest, AliveRequest, AdminRequest>;

struct Request {
    RequestHead head;
    RequestBody body;
    Kind kind() const { return Kind(body.index()); }
};

// The request text exactly as the program sends it (before sealing).
std::string BuildRequestText(const Request& request);

// Reads a decrypted request text strictly: the frame (declaration optional),
// the root with ZTIDENT, VERSION 2 and ZTTIME, the request element with its
// attributes and its children in the order written by BuildRequestText, and
// every content checked against its stated lengths. False with `error` naming
// the first fault.
bool ReadRequestText(std::string_view text, Request& request, std::string& error);

} // namespace zt::srv
