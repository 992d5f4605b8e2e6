#include "server/requests.h"

#include "base/linecode.h"
#include "base/xml.h"

#include <algorithm>

namespace zt::srv {

namespace {

int64_t AtLeast1(int64_t v) { return v < 1 ? 1 : v; }

void WriteHead(std::string& out, const RequestHead& head) {
    AppendElement(out, "USER", head.user);
    out += "<HAUTH>";
    out += head.hauth;
    out += "</HAUTH>\n<ALG>1</ALG>\n";
}

void WriteContent(std::string& out, std::string_view name, std::string_view attrs, std::string_view bytes) {
    out += '<';
    out += name;
    out += attrs;
    out += '>';
    out += EncodeLines(bytes);
    out += "</";
    out += name;
    out += ">\n";
}

void WriteNode(std::string& out, const SaveNode& n) {
    out += "<NODE>\n";
    AppendElement(out, n.identIsTemp ? "NODE_IDENTN" : "NODE_IDENT", n.ident);
    out += "<PAGE VERSION=\"1\">\n";
    AppendElement(out, "PAGE_NAME", n.title);
    AppendElement(out, "PAGE_TYPE", "RTF");
    if (n.hasContent) {
        AppendElement(out, "PAGE_TIME", AtLeast1(n.time));
        AppendElement(out, "PAGE_CTIME", AtLeast1(n.ctime));
        AppendElement(out, "PAGE_CUSER", n.cuser);
        AppendElement(out, "PAGE_MUSER", n.muser);
        AppendElement(out, "PAGE_LENGTH", n.length);
        AppendElement(out, "PAGE_LENGTH_COMPR", int64_t(n.content.size()));
        WriteContent(out, "PAGE_CONTENT", " VERSION=\"1\"", n.content);
    }
    out += "</PAGE>\n";
    if (n.filesLoaded) {
        out += "<FILES>\n";
        for (const auto& f : n.files) {
            out += "<FILE>\n";
            AppendElement(out, "FILE_NAME", f.name);
            AppendElement(out, "FILE_IDENT", f.ident);
            out += "</FILE>\n";
        }
        out += "</FILES>\n";
    } else {
        out += "<FILES><NOTLOADED/></FILES>\n";
    }
    if (!n.children.empty()) {
        out += "<NODES>\n";
        for (const auto& c : n.children) WriteNode(out, c);
        out += "</NODES>";
    }
    out += "</NODE>\n";
}

struct BodyWriter {
    std::string& out;
    const RequestHead& head;

    void operator()(const GetContentRequest&) {
        out += "<Q_GETCONTENT>\n";
        WriteHead(out, head);
        out += "</Q_GETCONTENT>\n";
    }
    void operator()(const GetDocRequest& r) {
        out += "<Q_GETDOC VERSION=\"1\">\n";
        if (r.openForWrite) AppendElement(out, "OPENDOCWRITE", "ifwrite");
        WriteHead(out, head);
        AppendElement(out, "DOC_IDENT", r.docIdent);
        AppendElement(out, "DOC_NAME", r.docName);
        AppendElement(out, "DOC_TIME", r.docTime);
        out += "</Q_GETDOC>\n";
    }
    void operator()(const GetPageRequest& r) {
        out += "<Q_GETPAGE SELECTION=\"Page\" VERSION=\"1\">\n";
        WriteHead(out, head);
        AppendElement(out, "DOC_NAME", r.docName);
        AppendElement(out, "DOC_TIME", r.docTime);
        AppendElement(out, "DOC_IDENT", r.docIdent);
        AppendElement(out, "NODE_IDENT", r.nodeIdent);
        AppendElement(out, "PAGE_TIME", r.pageTime);
        out += "</Q_GETPAGE>\n";
    }
    void operator()(const GetPageFileRequest& r) {
        out += "<Q_GETPAGEFILE>\n";
        WriteHead(out, head);
        AppendElement(out, "DOC_NAME", r.docName);
        AppendElement(out, "DOC_IDENT", r.docIdent);
        AppendElement(out, "DOC_TIME", r.docTime);
        AppendElement(out, "FILE_IDENT", r.fileIdent);
        out += "</Q_GETPAGEFILE>\n";
    }
    void operator()(const SaveDocRequest& r) {
        out += "<Q_SAVEDOC VERSION=\"1\">\n";
        WriteHead(out, head);
        AppendElement(out, "DOC_NAME", r.docName);
        AppendElement(out, "DOC_IDENT", r.docIdent);
        AppendElement(out, "DOC_MUSER", r.docMuser);
        AppendElement(out, "DOC_CTIME", r.docCtime);
        AppendElement(out, "DOC_MTIME", r.docMtime);
        AppendElement(out, "DOC_TIME", r.docTime);
        AppendElement(out, "DOC_TITLE", r.docTitle);
        out += "<NODES VERSION=\"1\">\n";
        for (const auto& n : r.nodes) WriteNode(out, n);
        out += "</NODES>\n</Q_SAVEDOC>\n";
    }
    void operator()(const SetPageFileRequest& r) {
        out += "<Q_SETPAGEFILE>\n";
        WriteHead(out, head);
        AppendElement(out, "DOC_NAME", r.docName);
        AppendElement(out, "DOC_IDENT", r.docIdent);
        AppendElement(out, "DOC_MUSER", r.docMuser);
        AppendElement(out, "DOC_CTIME", r.docCtime);
        AppendElement(out, "DOC_MTIME", r.docMtime);
        AppendElement(out, "DOC_TIME", r.docTime);
        AppendElement(out, "NODE_IDENT", r.nodeIdent);
        const FileData& f = r.file;
        out += "<FILE>\n";
        AppendElement(out, "FILE_NAME", f.name);
        AppendElement(out, f.identIsTemp ? "FILE_IDENTN" : "FILE_IDENT", f.ident);
        AppendElement(out, "FILE_LENGTH", f.length);
        AppendElement(out, "FILE_LENGTH_COMPR", int64_t(f.content.size()));
        AppendElement(out, "FILE_MTIME", AtLeast1(f.mtime));
        AppendElement(out, "FILE_CTIME", AtLeast1(f.ctime));
        AppendElement(out, "FILE_STIME", AtLeast1(f.stime));
        AppendElement(out, "FILE_CUSER", f.cuser);
        AppendElement(out, "FILE_MUSER", f.muser);
        WriteContent(out, "FILE_CONTENT", "", f.content);
        out += "</FILE>\n</Q_SETPAGEFILE>\n";
    }
    void operator()(const AliveRequest& r) {
        out += "<Q_ALIVE>\n";
        AppendElement(out, "OPENDOCWRITE", r.hold ? "true" : "false");
        WriteHead(out, head);
        AppendElement(out, "DOC_NAME", r.docName);
        AppendElement(out, "DOC_IDENT", r.docIdent);
        AppendElement(out, "DOC_TIME", r.docTime);
        out += "</Q_ALIVE>\n";
    }
    void operator()(const AdminRequest& r) {
        out += "<Q_ADMIN VERSION=\"1\" COMMAND=\"";
        out += AdminCommandText(r.command);
        out += "\">\n";
        WriteHead(out, head);
        switch (r.command) {
        case AdminCommand::DocAdd: AppendElement(out, "DOC_NAME", r.docName); break;
        case AdminCommand::DocDel:
        case AdminCommand::ChgDocPre:
            AppendElement(out, "DOC_IDENT", r.docIdent);
            AppendElement(out, "DOC_NAME", r.docName);
            break;
        case AdminCommand::ChgDocPost:
            AppendElement(out, "DOC_IDENT", r.docIdent);
            AppendElement(out, "DOC_NAME", r.docName);
            AppendElement(out, "DOC_NAME_NEW", r.docNameNew);
            out += "<USERDOC>";
            for (const auto& u : r.users) {
                out += "<USR><NAME>";
                AppendEscaped(out, u.name);
                out += "</NAME><RW>";
                out += RightText(u.right);
                out += "</RW></USR>\n";
            }
            out += "</USERDOC>\n";
            break;
        case AdminCommand::ChgPwd:
            AppendElement(out, "PSK_NEW", r.pskNew);
            AppendElement(out, "HAUTH_NEW", r.hauthNew);
            out += "<ALG_NEW>1</ALG_NEW>\n";
            break;
        }
        out += "</Q_ADMIN>\n";
    }
};

// ---- reading ----

struct Reader {
    std::string& error;

    bool Fail(std::string why) {
        if (error.empty()) error = std::move(why);
        return false;
    }

    void Head(CStrictReader& r, RequestHead& head) {
        head.user = r.Text("USER");
        head.hauth = r.Text("HAUTH");
        if (r.Text("ALG") != "1" && r.Ok()) r.Fail("unknown ALG");
    }

    // A content element: `attrs` checked, line code decoded, stated lengths
    // checked against it.
    bool Content(const xml::Node* n, bool versioned, int64_t length, int64_t comprLength, std::string& out) {
        if (!n) return false;
        if (versioned ? !CheckAttributes(*n, {{"VERSION", "1"}}, error) : !CheckAttributes(*n, {}, error))
            return false;
        std::string text;
        if (!LeafText(*n, text, error)) return false;
        if (!DecodeLines(text, out)) return Fail("content is not in the line code");
        std::string why;
        if (!CheckCompressed(out, length, comprLength, &why)) return Fail(why);
        return true;
    }

    bool Node(const xml::Node& node, SaveNode& n, int depth) {
        if (!CheckAttributes(node, {}, error)) return false;
        CStrictReader r(node, error);
        if (r.PeekName() == "NODE_IDENTN" || xml::NamesEqual(r.PeekName(), "NODE_IDENTN")) {
            n.identIsTemp = true;
            n.ident = r.Text("NODE_IDENTN");
        } else {
            n.ident = r.Text("NODE_IDENT");
        }
        if (r.Ok() && n.ident.empty()) r.Fail("empty page ident");
        const xml::Node* page = r.Take("PAGE");
        if (!page || !CheckAttributes(*page, {{"VERSION", "1"}}, error)) return false;
        {
            CStrictReader p(*page, error);
            n.title = p.Text("PAGE_NAME");
            if (p.Text("PAGE_TYPE") != "RTF" && p.Ok()) p.Fail("PAGE_TYPE is not RTF");
            if (p.PeekName() != "") {
                n.hasContent = true;
                n.time = p.Int("PAGE_TIME");
                n.ctime = p.Int("PAGE_CTIME");
                n.cuser = p.Text("PAGE_CUSER");
                n.muser = p.Text("PAGE_MUSER");
                n.length = p.Int("PAGE_LENGTH");
                int64_t compr = p.Int("PAGE_LENGTH_COMPR");
                const xml::Node* c = p.Take("PAGE_CONTENT");
                if (p.Ok() && !Content(c, true, n.length, compr, n.content)) return false;
            }
            if (!p.End()) return false;
        }
        const xml::Node* files = r.Take("FILES");
        if (!files || !CheckAttributes(*files, {}, error)) return false;
        {
            CStrictReader f(*files, error);
            if (const xml::Node* nl = f.TakeIf("NOTLOADED")) {
                if (!nl->children.empty() || !CheckAttributes(*nl, {}, error)) return Fail("bad NOTLOADED");
                n.filesLoaded = false;
            } else {
                n.filesLoaded = true;
                while (const xml::Node* file = f.TakeIf("FILE")) {
                    if (!CheckAttributes(*file, {}, error)) return false;
                    CStrictReader fr(*file, error);
                    SaveFileRef ref;
                    ref.name = fr.Text("FILE_NAME");
                    ref.ident = fr.Text("FILE_IDENT");
                    if (!fr.End()) return false;
                    n.files.push_back(std::move(ref));
                }
            }
            if (!f.End()) return false;
        }
        if (const xml::Node* kids = r.TakeIf("NODES")) {
            if (!CheckAttributes(*kids, {}, error)) return false;
            if (!Nodes(*kids, n.children, depth + 1)) return false;
            if (n.children.empty()) return Fail("empty NODES");
        }
        return r.End();
    }

    bool Nodes(const xml::Node& nodes, std::vector<SaveNode>& out, int depth) {
        if (depth > 200) return Fail("page tree too deep");
        CStrictReader r(nodes, error);
        while (const xml::Node* n = r.TakeIf("NODE")) {
            out.emplace_back();
            if (!Node(*n, out.back(), depth)) return false;
        }
        return r.End();
    }

    static void EmplaceKind(RequestBody& body, Kind kind) {
        switch (kind) {
        case Kind::GetContent: body = GetContentRequest{}; break;
        case Kind::GetDoc: body = GetDocRequest{}; break;
        case Kind::GetPage: body = GetPageRequest{}; break;
        case Kind::GetPageFile: body = GetPageFileRequest{}; break;
        case Kind::SaveDoc: body = SaveDocRequest{}; break;
        case Kind::SetPageFile: body = SetPageFileRequest{}; break;
        case Kind::Alive: body = AliveRequest{}; break;
        case Kind::Admin: body = AdminRequest{}; break;
        }
    }

    bool Body(const xml::Node& q, Kind kind, Request& req) {
        EmplaceKind(req.body, kind);
        RequestHead& head = req.head;
        CStrictReader r(q, error);
        switch (kind) {
        case Kind::GetContent: {
            if (!CheckAttributes(q, {}, error)) return false;
            Head(r, head);
            req.body = GetContentRequest{};
            break;
        }
        case Kind::GetDoc: {
            if (!CheckAttributes(q, {{"VERSION", "1"}}, error)) return false;
            GetDocRequest b;
            if (xml::NamesEqual(r.PeekName(), "OPENDOCWRITE")) {
                if (r.Text("OPENDOCWRITE") != "ifwrite" && r.Ok()) r.Fail("OPENDOCWRITE is not ifwrite");
                b.openForWrite = true;
            }
            Head(r, head);
            b.docIdent = r.Text("DOC_IDENT");
            b.docName = r.Text("DOC_NAME");
            b.docTime = r.Int("DOC_TIME");
            req.body = std::move(b);
            break;
        }
        case Kind::GetPage: {
            if (!CheckAttributes(q, {{"SELECTION", "Page"}, {"VERSION", "1"}}, error)) return false;
            GetPageRequest b;
            Head(r, head);
            b.docName = r.Text("DOC_NAME");
            b.docTime = r.Int("DOC_TIME");
            b.docIdent = r.Text("DOC_IDENT");
            b.nodeIdent = r.Text("NODE_IDENT");
            b.pageTime = r.Int("PAGE_TIME");
            req.body = std::move(b);
            break;
        }
        case Kind::GetPageFile: {
            if (!CheckAttributes(q, {}, error)) return false;
            GetPageFileRequest b;
            Head(r, head);
            b.docName = r.Text("DOC_NAME");
            b.docIdent = r.Text("DOC_IDENT");
            b.docTime = r.Int("DOC_TIME");
            b.fileIdent = r.Text("FILE_IDENT");
            req.body = std::move(b);
            break;
        }
        case Kind::SaveDoc: {
            if (!CheckAttributes(q, {{"VERSION", "1"}}, error)) return false;
            SaveDocRequest b;
            Head(r, head);
            b.docName = r.Text("DOC_NAME");
            b.docIdent = r.Text("DOC_IDENT");
            b.docMuser = r.Text("DOC_MUSER");
            b.docCtime = r.Int("DOC_CTIME");
            b.docMtime = r.Int("DOC_MTIME");
            b.docTime = r.Int("DOC_TIME");
            b.docTitle = r.Text("DOC_TITLE");
            const xml::Node* nodes = r.Take("NODES");
            if (!r.Ok()) return false;
            if (!CheckAttributes(*nodes, {{"VERSION", "1"}}, error) || !Nodes(*nodes, b.nodes, 0)) return false;
            req.body = std::move(b);
            break;
        }
        case Kind::SetPageFile: {
            if (!CheckAttributes(q, {}, error)) return false;
            SetPageFileRequest b;
            Head(r, head);
            b.docName = r.Text("DOC_NAME");
            b.docIdent = r.Text("DOC_IDENT");
            b.docMuser = r.Text("DOC_MUSER");
            b.docCtime = r.Int("DOC_CTIME");
            b.docMtime = r.Int("DOC_MTIME");
            b.docTime = r.Int("DOC_TIME");
            b.nodeIdent = r.Text("NODE_IDENT");
            const xml::Node* file = r.Take("FILE");
            if (!r.Ok() || !CheckAttributes(*file, {}, error)) return false;
            CStrictReader f(*file, error);
            FileData& d = b.file;
            d.name = f.Text("FILE_NAME");
            if (xml::NamesEqual(f.PeekName(), "FILE_IDENTN")) {
                d.identIsTemp = true;
                d.ident = f.Text("FILE_IDENTN");
            } else {
                d.ident = f.Text("FILE_IDENT");
            }
            d.length = f.Int("FILE_LENGTH");
            int64_t compr = f.Int("FILE_LENGTH_COMPR");
            d.mtime = f.Int("FILE_MTIME");
            d.ctime = f.Int("FILE_CTIME");
            d.stime = f.Int("FILE_STIME");
            d.cuser = f.Text("FILE_CUSER");
            d.muser = f.Text("FILE_MUSER");
            const xml::Node* c = f.Take("FILE_CONTENT");
            if (!f.Ok() || !Content(c, false, d.length, compr, d.content) || !f.End()) return false;
            if (d.name.empty()) return Fail("empty file name");
            if (d.ident.empty()) return Fail("empty file ident");
            req.body = std::move(b);
            break;
        }
        case Kind::Alive: {
            if (!CheckAttributes(q, {}, error)) return false;
            AliveRequest b;
            std::string w = r.Text("OPENDOCWRITE");
            if (w == "true") b.hold = true;
            else if (w == "false") b.hold = false;
            else if (r.Ok()) r.Fail("OPENDOCWRITE is neither true nor false");
            Head(r, head);
            b.docName = r.Text("DOC_NAME");
            b.docIdent = r.Text("DOC_IDENT");
            b.docTime = r.Int("DOC_TIME");
            req.body = std::move(b);
            break;
        }
        case Kind::Admin: {
            if (!CheckAttributes(q, {{"VERSION", "1"}, {"COMMAND", nullptr}}, error)) return false;
            auto command = AdminCommandFromText(q.attributes[1].value);
            if (!command) return Fail("unknown COMMAND");
            req.body = AdminRequest{};
            std::get<AdminRequest>(req.body).command = *command;
            AdminRequest b;
            b.command = *command;
            Head(r, head);
            switch (b.command) {
            case AdminCommand::DocAdd: b.docName = r.Text("DOC_NAME"); break;
            case AdminCommand::DocDel:
            case AdminCommand::ChgDocPre:
                b.docIdent = r.Text("DOC_IDENT");
                b.docName = r.Text("DOC_NAME");
                break;
            case AdminCommand::ChgDocPost: {
                b.docIdent = r.Text("DOC_IDENT");
                b.docName = r.Text("DOC_NAME");
                b.docNameNew = r.Text("DOC_NAME_NEW");
                const xml::Node* ud = r.Take("USERDOC");
                if (!r.Ok() || !CheckAttributes(*ud, {}, error)) return false;
                CStrictReader u(*ud, error);
                while (const xml::Node* usr = u.TakeIf("USR")) {
                    if (!CheckAttributes(*usr, {}, error)) return false;
                    CStrictReader ur(*usr, error);
                    UserRight entry;
                    entry.name = ur.Text("NAME");
                    std::string rw = ur.Text("RW");
                    if (!ur.End()) return false;
                    auto right = RightFromTextStrict(rw);
                    if (!right) return Fail("unknown right " + rw);
                    entry.right = *right;
                    b.users.push_back(std::move(entry));
                }
                if (!u.End()) return false;
                break;
            }
            case AdminCommand::ChgPwd:
                b.pskNew = r.Text("PSK_NEW");
                b.hauthNew = r.Text("HAUTH_NEW");
                if (r.Text("ALG_NEW") != "1" && r.Ok()) r.Fail("unknown ALG_NEW");
                break;
            }
            req.body = std::move(b);
            break;
        }
        }
        return r.End();
    }
};

} // namespace

std::string BuildRequestText(const Request& request) {
    std::string out;
    out.reserve(1024);
    if (request.head.declaration) out += "<?xml version=\"1.0\" encoding=\"Latin1\" ?>\n";
    out += "<XML_ZETTRIX ZTIDENT=\"";
    AppendEscaped(out, request.head.ztident);
    out += "\" VERSION=\"2\" ZTTIME=\"" + std::to_string(request.head.zttime) + "\">\n";
    std::visit(BodyWriter{out, request.head}, request.body);
    out += "</XML_ZETTRIX>";
    return out;
}

bool ReadRequestText(std::string_view text, Request& request, std::string& error) {
    request = Request{};
    error.clear();
    xml::Document doc = xml::Parse(text);
    if (doc.LimitReached()) {
        error = "request too large";
        return false;
    }
    const xml::Node* top = FrameTop(doc, error);
    if (!top) return false;
    request.head.declaration = top != &doc.Root();
    CStrictReader outer(*top, error);
    const xml::Node* root = outer.Take("XML_ZETTRIX");
    if (!outer.End() || !root) return false;
    if (!xml::IsEnvelopeRoot(doc, root, 2, false)) {
        error = "incomplete request";
        return false;
    }
    if (!CheckAttributes(*root, {{"ZTIDENT", nullptr}, {"VERSION", "2"}, {"ZTTIME", nullptr}}, error)) return false;
    request.head.ztident = root->attributes[0].value;
    auto zttime = ParseInt(root->attributes[2].value);
    if (!zttime) {
        error = "ZTTIME is not a number";
        return false;
    }
    request.head.zttime = *zttime;
    CStrictReader r(*root, error);
    std::string name = r.PeekName();
    int kind = -1;
    for (int k = 0; k < kKindCount; ++k)
        if (xml::NamesEqual(name, RequestElement(Kind(k)))) kind = k;
    if (kind < 0) {
        if (error.empty()) error = "unknown request <" + name + ">";
        return false;
    }
    const xml::Node* q = r.Take(name);
    if (!r.End() || !q) return false;
    Reader reader{error};
    if (!reader.Body(*q, Kind(kind), request)) {
        if (error.empty()) error = "malformed request";
        return false;
    }
    if (request.head.user.empty()) {
        error = "empty user";
        return false;
    }
    return true;
}

} // namespace zt::srv
