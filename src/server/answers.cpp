#include "server/answers.h"

#include "base/linecode.h"
#include "base/xml.h"

namespace zt::srv {

namespace {

int64_t AtLeast1(int64_t v) { return v < 1 ? 1 : v; }

void OpenFrame(std::string& out, const AnswerHead& head) {
    out += "<?xml version=\"1.0\" encoding=\"Latin1\" ?>\n<XML_ZETTRIX ZTIDENT=\"";
    AppendEscaped(out, head.ztident);
    out += "\" VERSION=\"2\" ZTTIME=\"" + std::to_string(head.zttime) + "\">\n";
}

void WriteHeader(std::string& out, const DocHeader& h) {
    AppendElement(out, "DOC_NAME", h.docName);
    AppendElement(out, "DOC_TIME", h.docTime);
    AppendElement(out, "DOC_TITLE", h.docTitle);
    AppendElement(out, "DOC_IDENT", h.docIdent);
    AppendElement(out, "DOC_MUSER", h.muser);
    AppendElement(out, "DOC_CUSER", h.cuser);
    AppendElement(out, "DOC_CTIME", AtLeast1(h.ctime));
    AppendElement(out, "DOC_MTIME", AtLeast1(h.mtime));
}

void WriteIdentn(std::string& out, const std::vector<IdentPair>& pairs) {
    out += "<IDENTN>\n";
    for (const auto& p : pairs) {
        out += "<IDENT><KEY>";
        AppendEscaped(out, p.key);
        out += "</KEY><VAL>";
        AppendEscaped(out, p.val);
        out += "</VAL></IDENT>\n";
    }
    out += "</IDENTN>\n";
}

void WriteTree(std::string& out, const std::vector<TreeNode>& nodes) {
    out += "<NODES VERSION=\"1\">\n";
    for (const auto& n : nodes) {
        out += "<NODE VERSION=\"1\">\n";
        AppendElement(out, "NODE_NFILES", n.nfiles);
        AppendElement(out, "NODE_IDENT", n.ident);
        out += "<PAGE VERSION=\"1\">";
        out += "<PAGE_NAME>";
        AppendEscaped(out, n.title);
        out += "</PAGE_NAME></PAGE>\n";
        if (!n.children.empty()) WriteTree(out, n.children);
        out += "</NODE>\n";
    }
    out += "</NODES>\n";
}

void WriteFile(std::string& out, const FileInfo& f, bool withLength) {
    AppendElement(out, "FILE_NAME", f.name);
    if (withLength) AppendElement(out, "FILE_LENGTH", f.length);
    AppendElement(out, "FILE_CUSER", f.cuser);
    AppendElement(out, "FILE_MUSER", f.muser);
    AppendElement(out, "FILE_IDENT", f.ident);
    AppendElement(out, "FILE_MTIME", AtLeast1(f.mtime));
    AppendElement(out, "FILE_CTIME", AtLeast1(f.ctime));
    AppendElement(out, "FILE_STIME", AtLeast1(f.stime));
    if (withLength) AppendElement(out, "FILE_LENGTH_COMPR", f.lengthCompr);
    if (f.hasContent) {
        out += "<FILE_CONTENT>";
        out += EncodeLines(f.content);
        out += "</FILE_CONTENT>\n";
    }
}

struct AnswerWriter {
    std::string& out;

    void operator()(const GetContentAnswer& a) {
        out += "<A_GETCONTENT VERSION=\"1\">\n<USER VERSION=\"1\" adm=\"";
        out += LevelText(a.level);
        out += "\">";
        AppendEscaped(out, a.user);
        out += "</USER>\n<CONTENT VERSION=\"1\">\n";
        for (const auto& d : a.docs) {
            out += "<DOC VERSION=\"1\">";
            out += "<DOC_NAME>";
            AppendEscaped(out, d.name);
            out += "</DOC_NAME><DOC_IDENT>";
            AppendEscaped(out, d.ident);
            out += "</DOC_IDENT><DOC_RW>";
            out += RightText(d.right);
            out += "</DOC_RW></DOC>\n";
        }
        out += "</CONTENT>\n</A_GETCONTENT>\n";
    }
    void operator()(const GetDocAnswer& a) {
        out += "<A_GETDOC VERSION=\"1\">\n";
        WriteHeader(out, a.header);
        AppendElement(out, "OPENDOCWRITE", a.write ? "true" : "false");
        WriteTree(out, a.nodes);
        out += "</A_GETDOC>\n";
    }
    void operator()(const GetPageAnswer& a) {
        out += "<A_GETPAGE VERSION=\"1\">\n";
        AppendElement(out, "DOC_NAME", a.docName);
        AppendElement(out, "DOC_IDENT", a.docIdent);
        AppendElement(out, "DOC_TIME", a.docTime);
        AppendElement(out, "NODE_IDENT", a.nodeIdent);
        const PageInfo& p = a.page;
        out += "<PAGE VERSION=\"1\">\n";
        AppendElement(out, "PAGE_NAME", p.title);
        AppendElement(out, "PAGE_TYPE", "RTF");
        AppendElement(out, "PAGE_TIME", AtLeast1(p.time));
        AppendElement(out, "PAGE_CTIME", AtLeast1(p.ctime));
        AppendElement(out, "PAGE_CUSER", p.cuser);
        AppendElement(out, "PAGE_MUSER", p.muser);
        if (p.hasContent) {
            out += "<PAGE_CONTENT VERSION=\"1\">";
            out += EncodeLines(p.content);
            out += "</PAGE_CONTENT>\n";
        }
        out += "</PAGE>\n<FILES>\n";
        for (const auto& f : a.files) {
            out += "<FILE VERSION=\"1\">\n";
            WriteFile(out, f, true);
            out += "</FILE>\n";
        }
        out += "</FILES>\n</A_GETPAGE>\n";
    }
    void operator()(const GetPageFileAnswer& a) {
        out += "<A_GETPAGEFILE VERSION=\"1\">\n";
        AppendElement(out, "DOC_NAME", a.docName);
        AppendElement(out, "DOC_IDENT", a.docIdent);
        AppendElement(out, "DOC_TIME", a.docTime);
        FileInfo f = a.file;
        f.hasContent = true;
        WriteFile(out, f, false);
        out += "</A_GETPAGEFILE>\n";
    }
    void operator()(const SaveDocAnswer& a) {
        out += "<A_SAVEDOC VERSION=\"1\">\n";
        WriteHeader(out, a.header);
        WriteIdentn(out, a.identn);
        out += "</A_SAVEDOC>\n";
    }
    void operator()(const SetPageFileAnswer& a) {
        out += "<A_SETPAGEFILE VERSION=\"1\">\n";
        WriteHeader(out, a.header);
        WriteIdentn(out, a.identn);
        out += "</A_SETPAGEFILE>\n";
    }
    void operator()(const AliveAnswer& a) {
        out += "<A_ALIVE VERSION=\"1\">\n";
        AppendElement(out, "DOC_NAME", a.docName);
        AppendElement(out, "DOC_IDENT", a.docIdent);
        AppendElement(out, "OPENDOCWRITE", a.write ? "true" : "false");
        out += "</A_ALIVE>\n";
    }
    void operator()(const AdminAnswer& a) {
        out += "<A_ADMIN VERSION=\"1\" COMMAND=\"";
        out += AdminCommandText(a.command);
        out += "\">\n";
        if (a.command != AdminCommand::ChgPwd) AppendElement(out, "DOC_NAME", a.docName);
        if (a.command != AdminCommand::ChgPwd && !a.docIdent.empty()) AppendElement(out, "DOC_IDENT", a.docIdent);
        if (a.command == AdminCommand::ChgDocPre) {
            out += "<USERLISTS>\n<USERDOC dbIdent=\"";
            AppendEscaped(out, a.docIdent);
            out += "\">\n";
            for (const auto& u : a.docUsers) {
                out += "<USR><NAME>";
                AppendEscaped(out, u.name);
                out += "</NAME><RW>";
                out += RightText(u.right);
                out += "</RW></USR>\n";
            }
            out += "</USERDOC>\n<USERALL>\n";
            for (const auto& n : a.allUsers) {
                out += "<USR><NAME>";
                AppendEscaped(out, n);
                out += "</NAME></USR>\n";
            }
            out += "</USERALL>\n</USERLISTS>\n";
        }
        out += "</A_ADMIN>\n";
    }
};

// ---- reading (program side) ----

using Nodes = std::vector<const xml::Node*>;

Nodes Children(const xml::Node& n, std::string_view name) { return xml::FindElements(n, name, 0); }

// The single child named `name`, else null.
const xml::Node* OneChild(const xml::Node& n, std::string_view name) {
    auto c = Children(n, name);
    return c.size() == 1 ? c[0] : nullptr;
}

struct Check {
    AnswerResult result;
    bool Fail(std::string why) {
        if (result.ok()) {
            result.code = AnswerResult::Malformed;
            result.text = std::move(why);
        }
        return false;
    }
    bool ok() const { return result.ok(); }

    std::string Text(const xml::Node& n, std::string_view name) {
        const xml::Node* c = OneChild(n, name);
        if (!c) {
            Fail("not one <" + std::string(name) + ">");
            return {};
        }
        return xml::TextOf(*c);
    }
    int64_t Int(const xml::Node& n, std::string_view name, bool atLeast1) {
        std::string t = Text(n, name);
        auto v = ParseInt(t);
        int64_t r = v.value_or(atLeast1 ? 1 : 0);
        return atLeast1 && r < 1 ? 1 : r;
    }
    std::string Content(const xml::Node& n) {
        std::string out;
        if (!DecodeLines(xml::TextOf(n), out)) Fail("content not in the line code");
        return out;
    }
};

// Locates the answer element: exactly one, version 1 in a complete envelope
// root of version 2, without ERROR_MSG.
const xml::Node* Locate(const xml::Document& doc, Kind kind, Check& c) {
    auto found = xml::FindElements(doc.Root(), AnswerElement(kind), -1);
    if (found.empty()) {
        c.result = {AnswerResult::NoData, -1, "no answer element"};
        return nullptr;
    }
    if (found.size() != 1) {
        c.Fail("several answer elements");
        return nullptr;
    }
    const xml::Node* a = found[0];
    if (auto err = Children(*a, "ERROR_MSG"); !err.empty()) {
        c.result.code = AnswerResult::ServerError;
        c.result.errnum = int(ParseInt(xml::AttributeOf(*err[0], "errno")).value_or(-1));
        c.result.text = xml::TextOf(*err[0]);
        return nullptr;
    }
    if (xml::VersionOf(*a) != 1 || !xml::IsEnvelopeRoot(doc, a, 2, true)) {
        c.Fail("bad version or incomplete envelope");
        return nullptr;
    }
    return a;
}

void ReadHeader(const xml::Node& a, Check& c, DocHeader& h) {
    h.docName = c.Text(a, "DOC_NAME");
    h.docTime = c.Int(a, "DOC_TIME", false);
    h.docTitle = c.Text(a, "DOC_TITLE");
    h.docIdent = c.Text(a, "DOC_IDENT");
    h.muser = c.Text(a, "DOC_MUSER");
    h.cuser = c.Text(a, "DOC_CUSER");
    h.ctime = c.Int(a, "DOC_CTIME", true);
    h.mtime = c.Int(a, "DOC_MTIME", true);
}

bool ReadIdentn(const xml::Node& a, Check& c, std::vector<IdentPair>& out) {
    const xml::Node* idn = OneChild(a, "IDENTN");
    if (!idn) return c.Fail("not one <IDENTN>");
    for (const xml::Node* i : Children(*idn, "IDENT")) {
        IdentPair p;
        p.key = c.Text(*i, "KEY");
        p.val = c.Text(*i, "VAL");
        out.push_back(std::move(p));
    }
    return c.ok();
}

bool ReadTree(const xml::Node& nodes, Check& c, std::vector<TreeNode>& out, int depth) {
    if (depth > 256) return c.Fail("tree too deep");
    if (xml::VersionOf(nodes) != 1) return c.Fail("NODES version");
    for (const xml::Node* n : Children(nodes, "NODE")) {
        if (xml::VersionOf(*n) != 1) break;
        TreeNode t;
        auto nf = Children(*n, "NODE_NFILES");
        if (nf.size() > 1) return c.Fail("several NODE_NFILES");
        if (nf.size() == 1) t.nfiles = ParseInt(xml::TextOf(*nf[0])).value_or(0);
        t.ident = c.Text(*n, "NODE_IDENT");
        const xml::Node* page = OneChild(*n, "PAGE");
        if (!page) return c.Fail("not one <PAGE>");
        t.title = c.Text(*page, "PAGE_NAME");
        auto kids = Children(*n, "NODES");
        if (kids.size() > 1) return c.Fail("several NODES");
        if (kids.size() == 1 && !ReadTree(*kids[0], c, t.children, depth + 1)) return false;
        if (!c.ok()) return false;
        out.push_back(std::move(t));
    }
    return c.ok();
}

void ReadFile(const xml::Node& f, Check& c, FileInfo& out, bool withLength) {
    out.name = c.Text(f, "FILE_NAME");
    if (withLength) out.length = c.Int(f, "FILE_LENGTH", false);
    out.cuser = c.Text(f, "FILE_CUSER");
    out.muser = c.Text(f, "FILE_MUSER");
    out.ident = c.Text(f, "FILE_IDENT");
    out.mtime = c.Int(f, "FILE_MTIME", true);
    out.ctime = c.Int(f, "FILE_CTIME", true);
    out.stime = c.Int(f, "FILE_STIME", true);
    auto content = Children(f, "FILE_CONTENT");
    if (content.size() > 1) c.Fail("several FILE_CONTENT");
    out.hasContent = content.size() == 1;
    if (out.hasContent) {
        out.content = c.Content(*content[0]);
        out.lengthCompr = int64_t(out.content.size());
    } else if (withLength) {
        out.lengthCompr = c.Int(f, "FILE_LENGTH_COMPR", false);
    }
}

} // namespace

std::string BuildAnswerText(const AnswerHead& head, const AnswerBody& body) {
    std::string out;
    out.reserve(1024);
    OpenFrame(out, head);
    std::visit(AnswerWriter{out}, body);
    out += "</XML_ZETTRIX>";
    return out;
}

std::string BuildErrorAnswerText(const AnswerHead& head, Kind kind, const ErrorAnswer& error, AdminCommand command) {
    std::string out;
    OpenFrame(out, head);
    out += '<';
    out += AnswerElement(kind);
    out += " VERSION=\"1\"";
    if (kind == Kind::Admin) {
        out += " COMMAND=\"";
        out += AdminCommandText(command);
        out += '"';
    }
    out += ">\n<ERROR_MSG errno=\"" + std::to_string(error.errnum) + "\">";
    AppendEscaped(out, error.text);
    out += "</ERROR_MSG>\n</";
    out += AnswerElement(kind);
    out += ">\n</XML_ZETTRIX>";
    return out;
}

AnswerResult ReadGetContentAnswer(const xml::Document& doc, GetContentAnswer& out) {
    out = GetContentAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::GetContent, c);
    if (!a) return c.result;
    if (auto users = Children(*a, "USER"); users.size() == 1) {
        if (xml::VersionOf(*users[0]) != 1) {
            c.Fail("USER version");
            return c.result;
        }
        out.user = xml::TextOf(*users[0]);
        out.level = LevelFromText(xml::AttributeOf(*users[0], "adm"));
    }
    const xml::Node* content = OneChild(*a, "CONTENT");
    if (!content || xml::VersionOf(*content) != 1) {
        c.Fail("not one CONTENT of version 1");
        return c.result;
    }
    for (const xml::Node* d : Children(*content, "DOC")) {
        if (xml::VersionOf(*d) != 1) {
            c.Fail("DOC version");
            break;
        }
        ContentDoc cd;
        cd.name = c.Text(*d, "DOC_NAME");
        cd.ident = c.Text(*d, "DOC_IDENT");
        cd.right = RightFromText(c.Text(*d, "DOC_RW"));
        out.docs.push_back(std::move(cd));
    }
    return c.result;
}

AnswerResult ReadGetDocAnswer(const xml::Document& doc, const GetDocRequest& sent, GetDocAnswer& out) {
    out = GetDocAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::GetDoc, c);
    if (!a) return c.result;
    DocHeader& h = out.header;
    h.docName = c.Text(*a, "DOC_NAME");
    if (c.ok() && h.docName != sent.docName) c.Fail("another document name");
    auto idents = Children(*a, "DOC_IDENT");
    if (idents.size() > 1) c.Fail("several DOC_IDENT");
    h.docIdent = sent.docIdent;
    if (idents.size() == 1) {
        std::string id = xml::TextOf(*idents[0]);
        if (!sent.docIdent.empty() && id != sent.docIdent) c.Fail("another document ident");
        h.docIdent = id;
    }
    auto opt = [&](std::string_view name) {
        auto n = Children(*a, name);
        return n.size() == 1 ? xml::TextOf(*n[0]) : std::string();
    };
    h.docTime = ParseInt(opt("DOC_TIME")).value_or(0);
    h.docTitle = opt("DOC_TITLE");
    h.muser = opt("DOC_MUSER");
    h.cuser = opt("DOC_CUSER");
    h.ctime = std::max<int64_t>(1, ParseInt(opt("DOC_CTIME")).value_or(1));
    h.mtime = std::max<int64_t>(1, ParseInt(opt("DOC_MTIME")).value_or(1));
    auto w = Children(*a, "OPENDOCWRITE");
    out.write = w.size() == 1 && xml::NamesEqual(xml::TextOf(*w[0]), "true");
    const xml::Node* nodes = OneChild(*a, "NODES");
    if (!nodes) c.Fail("not one NODES");
    else if (c.ok()) ReadTree(*nodes, c, out.nodes, 0);
    return c.result;
}

AnswerResult ReadGetPageAnswer(const xml::Document& doc, const GetPageRequest& sent, GetPageAnswer& out) {
    out = GetPageAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::GetPage, c);
    if (!a) return c.result;
    out.docName = c.Text(*a, "DOC_NAME");
    if (c.ok() && out.docName != sent.docName) c.Fail("another document name");
    if (auto n = Children(*a, "DOC_IDENT"); n.size() == 1) out.docIdent = xml::TextOf(*n[0]);
    if (auto n = Children(*a, "DOC_TIME"); n.size() == 1) out.docTime = ParseInt(xml::TextOf(*n[0])).value_or(0);
    out.nodeIdent = c.Text(*a, "NODE_IDENT");
    if (c.ok() && out.nodeIdent != sent.nodeIdent) c.Fail("another page ident");
    const xml::Node* page = OneChild(*a, "PAGE");
    if (!page) {
        c.Fail("not one PAGE");
        return c.result;
    }
    PageInfo& p = out.page;
    p.title = c.Text(*page, "PAGE_NAME");
    if (c.ok() && c.Text(*page, "PAGE_TYPE") != "RTF") c.Fail("PAGE_TYPE");
    p.time = c.Int(*page, "PAGE_TIME", true);
    p.ctime = c.Int(*page, "PAGE_CTIME", true);
    p.cuser = c.Text(*page, "PAGE_CUSER");
    p.muser = c.Text(*page, "PAGE_MUSER");
    auto content = Children(*page, "PAGE_CONTENT");
    if (content.size() > 1) c.Fail("several PAGE_CONTENT");
    if (content.size() == 1) {
        if (xml::VersionOf(*content[0]) != 1) {
            c.result = {AnswerResult::UnknownVersion, -1, "page content version"};
            return c.result;
        }
        p.hasContent = true;
        p.content = c.Content(*content[0]);
    } else if (sent.pageTime < p.time) {
        c.Fail("page content missing for an older copy");
    }
    const xml::Node* files = OneChild(*a, "FILES");
    if (files) {
        for (const xml::Node* f : Children(*files, "FILE")) {
            if (xml::VersionOf(*f) != 1) {
                c.Fail("FILE version");
                break;
            }
            FileInfo info;
            ReadFile(*f, c, info, true);
            out.files.push_back(std::move(info));
        }
    }
    return c.result;
}

AnswerResult ReadGetPageFileAnswer(const xml::Document& doc, const GetPageFileRequest& sent,
                                   GetPageFileAnswer& out) {
    out = GetPageFileAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::GetPageFile, c);
    if (!a) return c.result;
    out.docName = c.Text(*a, "DOC_NAME");
    out.docIdent = c.Text(*a, "DOC_IDENT");
    out.docTime = c.Int(*a, "DOC_TIME", false);
    if (c.ok() && (out.docName != sent.docName || out.docIdent != sent.docIdent)) c.Fail("another document");
    ReadFile(*a, c, out.file, false);
    if (c.ok() && out.file.ident != sent.fileIdent) c.Fail("another file ident");
    if (c.ok() && !out.file.hasContent) c.Fail("no FILE_CONTENT");
    return c.result;
}

AnswerResult ReadSaveDocAnswer(const xml::Document& doc, const SaveDocRequest& sent, SaveDocAnswer& out) {
    out = SaveDocAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::SaveDoc, c);
    if (!a) return c.result;
    ReadHeader(*a, c, out.header);
    if (c.ok() && out.header.docName != sent.docName) c.Fail("another document name");
    if (c.ok()) ReadIdentn(*a, c, out.identn);
    return c.result;
}

AnswerResult ReadSetPageFileAnswer(const xml::Document& doc, const SetPageFileRequest& sent,
                                   SetPageFileAnswer& out) {
    out = SetPageFileAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::SetPageFile, c);
    if (!a) return c.result;
    ReadHeader(*a, c, out.header);
    if (c.ok() && out.header.docName != sent.docName) c.Fail("another document name");
    if (c.ok()) ReadIdentn(*a, c, out.identn);
    if (c.ok() && out.identn.size() > 1) c.Fail("several IDENT");
    return c.result;
}

AnswerResult ReadAliveAnswer(const xml::Document& doc, const AliveRequest& sent, AliveAnswer& out) {
    out = AliveAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::Alive, c);
    if (!a) return c.result;
    out.docName = c.Text(*a, "DOC_NAME");
    if (c.ok() && out.docName != sent.docName) c.Fail("another document name");
    if (auto n = Children(*a, "DOC_IDENT"); n.size() == 1) out.docIdent = xml::TextOf(*n[0]);
    auto w = Children(*a, "OPENDOCWRITE");
    out.write = w.size() == 1 && xml::NamesEqual(xml::TextOf(*w[0]), "true");
    if (c.ok() && sent.hold && !out.write) c.Fail("lock not held");
    return c.result;
}

AnswerResult ReadAdminAnswer(const xml::Document& doc, const AdminRequest& sent, AdminAnswer& out) {
    out = AdminAnswer{};
    Check c;
    const xml::Node* a = Locate(doc, Kind::Admin, c);
    if (!a) return c.result;
    auto command = AdminCommandFromText(xml::AttributeOf(*a, "COMMAND"));
    if (!command || *command != sent.command) {
        c.Fail("another COMMAND");
        return c.result;
    }
    out.command = *command;
    if (sent.command == AdminCommand::ChgPwd) return c.result;
    out.docName = c.Text(*a, "DOC_NAME");
    std::string expected = sent.command == AdminCommand::ChgDocPost ? sent.docNameNew : sent.docName;
    if (c.ok() && out.docName != expected) c.Fail("another document name");
    if (sent.command == AdminCommand::DocDel || sent.command == AdminCommand::ChgDocPost) {
        out.docIdent = c.Text(*a, "DOC_IDENT");
        if (c.ok() && out.docIdent != sent.docIdent) c.Fail("another document ident");
    } else if (auto n = Children(*a, "DOC_IDENT"); n.size() == 1) {
        out.docIdent = xml::TextOf(*n[0]);
    }
    if (sent.command == AdminCommand::ChgDocPre && c.ok()) {
        const xml::Node* lists = OneChild(*a, "USERLISTS");
        if (!lists) {
            c.Fail("not one USERLISTS");
            return c.result;
        }
        const xml::Node* ud = OneChild(*lists, "USERDOC");
        const xml::Node* all = OneChild(*lists, "USERALL");
        if (!ud || !all) {
            c.Fail("USERDOC or USERALL missing");
            return c.result;
        }
        if (xml::AttributeOf(*ud, "dbIdent") != sent.docIdent) {
            c.Fail("USERDOC of another document");
            return c.result;
        }
        for (const xml::Node* u : Children(*ud, "USR"))
            out.docUsers.push_back({c.Text(*u, "NAME"), RightFromText(c.Text(*u, "RW"))});
        for (const xml::Node* u : Children(*all, "USR")) out.allUsers.push_back(c.Text(*u, "NAME"));
    }
    return c.result;
}

} // namespace zt::srv
