// The commands on documents: reading, changing and checking pages and files.
#include "ztd.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "core/attachedfiles.h"
#include "core/compress.h"
#include "core/pagepaths.h"
#include "core/serializer.h"
#include "exchange/addresses.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "text/pagertf.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace ztd {

namespace {



// ---- reading commands

int Info(Context& c, const Args& a) {
    std::string bytes, error;
    const std::string& path = a.positional[1];
    zt::DocumentForm form = zt::DocumentForm::Unknown;
    if (ReadDocumentBytes(path, bytes, &error)) form = zt::DetectForm(bytes);
    if (!c.Open(path)) return kDocError;
    const CZTDiscInfo& h = c.doc.Archive().Header();
    size_t pages = c.doc.Tree().CountPages(), files = 0;
    for (const auto& e : c.doc.Tree().BuildPageList()) files += size_t(c.doc.Archive().FileCount(e.ident));
    if (a.Has("--json")) {
        std::cout << "{\"title\":" << JsonString(U8(h.title)) << ",\"created_by\":" << JsonString(U8(h.createdBy))
                  << ",\"modified_by\":" << JsonString(U8(h.modifiedBy)) << ",\"ctime\":" << h.ctime
                  << ",\"mtime\":" << h.mtime << ",\"pages\":" << pages << ",\"files\":" << files
                  << ",\"form\":" << JsonString(zt::FormName(form)) << "}\n";
    } else {
        std::cout << "Titel:          " << U8(h.title) << "\n"
                  << "Erstellt von:   " << U8(h.createdBy) << "\n"
                  << "Geändert von:   " << U8(h.modifiedBy) << "\n"
                  << "Erstellt am:    " << TimeText(h.ctime) << "\n"
                  << "Geändert am:    " << TimeText(h.mtime) << "\n"
                  << "Seiten:         " << pages << "\n"
                  << "Dateien:        " << files << "\n"
                  << "Form:           " << zt::FormName(form) << "\n";
    }
    return kOk;
}

int Ls(Context& c, const Args& a) {
    if (!c.Open(a.positional[1])) return kDocError;
    bool json = a.Has("--json");
    if (json) std::cout << "[";
    bool first = true;
    CZTPageWalker walker(c.doc.Tree());
    CZTWalkStep step;
    while (walker.NextInWalk(step)) {
        const CZTPageNode* node = step.node;
        if (!json) {
            std::cout << std::string(size_t(node->Depth() - 1) * 2, ' ') << U8(node->Title()) << "\n";
            continue;
        }
        CZTPageRecord r = c.doc.Archive().GetPage(node->Ident());
        std::cout << (first ? "" : ",") << "\n {\"path\":" << JsonString(U8(zt::LinkPath(node)))
                  << ",\"title\":" << JsonString(U8(node->Title())) << ",\"depth\":" << node->Depth()
                  << ",\"ident\":" << node->Ident() << ",\"text_length\":" << r.uncompressedLength
                  << ",\"created_by\":" << JsonString(U8(r.createdBy))
                  << ",\"modified_by\":" << JsonString(U8(r.modifiedBy)) << ",\"ctime\":" << r.ctime
                  << ",\"mtime\":" << r.mtime << ",\"files\":[";
        int32_t pos = 0;
        bool firstFile = true;
        for (std::string name = c.doc.Archive().FileName(node->Ident(), pos); pos >= 0;
             name = c.doc.Archive().FileName(node->Ident(), pos)) {
            CZTFileRecord f = c.doc.Archive().GetFile(node->Ident(), name);
            std::cout << (firstFile ? "" : ",") << "{\"name\":" << JsonString(U8(f.name))
                      << ",\"size\":" << f.uncompressedLength << ",\"crc32\":\"" << Hex8(f.crc) << "\""
                      << ",\"created_by\":" << JsonString(U8(f.createdBy))
                      << ",\"modified_by\":" << JsonString(U8(f.modifiedBy)) << ",\"ctime\":" << f.ctime
                      << ",\"mtime\":" << f.mtime << "}";
            firstFile = false;
        }
        std::cout << "]}";
        first = false;
    }
    if (json) std::cout << (first ? "]\n" : "\n]\n");
    return kOk;
}


// The page text as stored, as plain text (UTF-8) or as an HTML document;
// with -o the HTML goes into a file and the pictures beside it.
int Cat(Context& c, const Args& a) {
    if (a.positional.size() < 3) return kUsage;
    const bool asText = a.Has("--text"), asHtml = a.Has("--html");
    if (asText && asHtml) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* node = c.Page(a.positional[2]);
    if (!node) return kDocError;
    CZTPageRecord r = c.doc.Archive().GetPage(node->Ident());
    const std::string* text = r.GetText();
    if (!text && r.Damaged()) return c.Fail(zt::MessageText(zt::Msg::FileDamaged));
    if (!asText && !asHtml) {
        if (text) std::cout.write(text->data(), std::streamsize(text->size()));
        return kOk;
    }
    // Texts that are not RTF (imports may store plain text) read as such.
    const std::string rtf = zt::TextToPageRtf(text ? *text : std::string(), 10, false);
    zt::RtfConverter converter;
    converter.HtmlSettings().title = node->Title();
    std::string out;
    if (asText) {
        if (!converter.RtfToText(rtf, zt::RtfTextMode::Utf8, out))
            return c.Fail(zt::MessageText(zt::Msg::TextNotConvertible));
    } else if (a.Has("-o")) {
        EnsureGuiApplication(); // pictures drawn for the HTML form may hold text
        // The pictures go beside the HTML file (its name without extension +
        // "ImgN.ext"); every file takes the atomic path.
        const std::string path = a.Get("-o");
        const std::string name = zt::FileNamePart(path);
        const size_t dot = name.rfind('.');
        const std::string base = zt::DirectoryPart(path) + (dot == std::string::npos ? name : name.substr(0, dot));
        if (!converter.RtfToHtml(rtf, out, base)) return c.Fail(zt::MessageText(zt::Msg::TextNotConvertible));
        return WriteOutputFile(c, path, out);
    } else if (!converter.RtfToHtml(rtf, out)) {
        return c.Fail(zt::MessageText(zt::Msg::TextNotConvertible));
    }
    std::cout.write(out.data(), std::streamsize(out.size()));
    return kOk;
}

int Get(Context& c, const Args& a) {
    if (a.positional.size() < 4) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* node = c.Page(a.positional[2]);
    if (!node) return kDocError;
    std::string name = zt::Utf8ToCp1252(a.positional[3]);
    CZTFileRecord f = c.doc.Archive().GetFile(node->Ident(), name);
    if (!f.valid) return c.Fail(zt::FormatMessage(zt::Msg::FileNotFound, {a.positional[3]}));
    std::string error;
    const std::string* content = f.GetText(&error);
    if (!content) return c.Fail(std::string(zt::MessageText(zt::Msg::FileDamaged)) + " " + error);
    if (a.Has("-o")) {
        return WriteOutputFile(c, a.Get("-o"), *content);
    } else {
        std::cout.write(content->data(), std::streamsize(content->size()));
    }
    return kOk;
}

// What an address names ("zt:/DOC?PFAD", "ztf:/DOC?PFAD/NAME", "file:/PFAD"):
// a page text as plain text (UTF-8) or a file's bytes. --doc DOC is the open
// document that addresses without a document part refer to.
int Resolve(Context& c, const Args& a) {
    zt::AddressContext context;
    context.prompter = &c.prompter;
    if (a.Has("--doc")) {
        if (!c.Open(a.Get("--doc"))) return kDocError;
        context.openDocument = &c.doc;
    }
    const zt::AddressResult r = zt::ResolveAddress(a.positional[1], context);
    if (!r.ok) return c.Fail(r.error);
    if (a.Has("-o")) {
        return WriteOutputFile(c, a.Get("-o"), r.content);
    } else {
        std::cout.write(r.content.data(), std::streamsize(r.content.size()));
    }
    return kOk;
}

int Verify(Context& c, const Args& a) {
    if (!c.Open(a.positional[1])) return kDocError;
    size_t pages = 0, files = 0;
    CZTPageWalker walker(c.doc.Tree());
    CZTWalkStep step;
    while (walker.NextInWalk(step)) {
        ++pages;
        const std::string where = U8(zt::PagePath(step.node));
        CZTPageRecord r = c.doc.Archive().GetPage(step.ident);
        if (r.method == 1) {
            std::string text, error;
            if (!zt::DecompressBuffer(r.content, text, &error) || text.size() != size_t(r.uncompressedLength) ||
                zt::Crc32(text) != r.crc)
                return c.Fail(std::string(zt::MessageText(zt::Msg::FileDamaged)) + " " + where + ": " + error);
        }
        int32_t pos = 0;
        for (std::string name = c.doc.Archive().FileName(step.ident, pos); pos >= 0;
             name = c.doc.Archive().FileName(step.ident, pos)) {
            ++files;
            CZTFileRecord f = c.doc.Archive().GetFile(step.ident, name);
            std::string error;
            const std::string* content = f.GetText(&error);
            if (!content || content->size() != size_t(f.uncompressedLength) ||
                (!content->empty() && zt::Crc32(*content) != f.crc))
                return c.Fail(std::string(zt::MessageText(zt::Msg::FileDamaged)) + " " + where + " / " +
                            U8(name) + (error.empty() ? "" : ": " + error));
        }
    }
    std::cout << "OK pages=" << pages << " files=" << files << "\n";
    return kOk;
}

// ---- changing commands

int New(Context& c, const Args& a) {
    c.doc.New();
    c.docPath = a.positional[1];
    if (access(c.docPath.c_str(), F_OK) == 0 && !a.Has("--force"))
        return c.Fail(zt::FormatMessage(zt::Msg::FileExists, {c.docPath}));
    return c.SaveBack();
}

int Add(Context& c, const Args& a) {
    if (a.positional.size() < 4) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* parent = nullptr;
    if (a.positional[2] != "/") {
        parent = c.Page(a.positional[2]);
        if (!parent) return kDocError;
    }
    std::string title = zt::TrimWhite(zt::Utf8ToCp1252(a.positional[3]));
    if (title.empty()) return c.Fail(zt::MessageText(zt::Msg::EmptyName));
    CZTPageNode* node = c.doc.AddPage(parent, title);
    if (!node) return c.Fail(zt::MessageText(zt::Msg::PageInsertFailed));
    if (a.Has("--text-file")) {
        std::string text;
        if (!ReadFileBytes(a.Get("--text-file"), text))
            return c.Fail(zt::FormatMessage(zt::Msg::FileNotFound, {a.Get("--text-file")}));
        // Text files on this system are UTF-8 as a rule; page texts are Windows-1252.
        if (!zt::IsRtfText(text) && zt::IsUtf8(text)) text = zt::Utf8ToCp1252(text);
        if (!c.doc.SetPageText(node, zt::TextToPageRtf(text, 10, false)))
            return c.Fail(zt::MessageText(zt::Msg::TextSaveFailed));
    }
    return c.SaveBack();
}

int Attach(Context& c, const Args& a) {
    if (a.positional.size() < 4) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* node = c.Page(a.positional[2]);
    if (!node) return kDocError;
    const std::string& file = a.positional[3];
    struct stat st;
    if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A directory becomes a page (first child) holding its files, its
        // subdirectories further pages below it.
        zt::ConflictResolver unique;
        zt::ImportResult r = zt::ImportFiles(c.doc, node, {file}, unique, c.doc.Prompter());
        if (r.pages == 0) return c.Fail(zt::FormatMessage(zt::Msg::FileLoadError, {file}));
        return c.SaveBack();
    }
    std::string content;
    if (!ReadFileBytes(file, content)) return c.Fail(zt::FormatMessage(zt::Msg::FileNotFound, {file}));
    std::string name = zt::Utf8ToCp1252(a.Has("--as") ? a.Get("--as") : zt::FileNamePart(file));
    if (name.empty()) return c.Fail(zt::MessageText(zt::Msg::EmptyName));
    CZTFileRecord r = CZTFileRecord::New(name, c.doc.Archive().User());
    if (!r.SetContent(content, c.doc.Archive().User())) return c.Fail(zt::MessageText(zt::Msg::FileAttachFailed));
    CZTFileRecord old = c.doc.Archive().GetFile(node->Ident(), name);
    if (old.valid) { // a replaced file keeps who made it and when
        r.createdBy = old.createdBy;
        r.ctime = old.ctime;
    }
    std::string error;
    if (c.doc.AttachFile(node, r) == 0) return c.Fail(zt::MessageText(zt::Msg::FileAttachFailed));
    return c.SaveBack();
}

int Detach(Context& c, const Args& a) {
    if (a.positional.size() < 4) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* node = c.Page(a.positional[2]);
    if (!node) return kDocError;
    if (!c.doc.DetachFile(node, zt::Utf8ToCp1252(a.positional[3])))
        return c.Fail(zt::FormatMessage(zt::Msg::FileNotFound, {a.positional[3]}));
    return c.SaveBack();
}

int Rename(Context& c, const Args& a) {
    if (a.positional.size() < 4) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* node = c.Page(a.positional[2]);
    if (!node) return kDocError;
    if (!c.doc.RenamePage(node, zt::Utf8ToCp1252(a.positional[3])))
        return c.Fail(zt::MessageText(zt::Msg::EmptyName));
    return c.SaveBack();
}

int Rm(Context& c, const Args& a) {
    if (a.positional.size() < 3) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    CZTPageNode* node = c.Page(a.positional[2]);
    if (!node) return kDocError;
    const size_t children = a.Has("--subtree") ? 0 : node->ChildCount();
    c.doc.DeletePage(node, a.Has("--subtree"));
    const int rc = c.SaveBack();
    // The children of a page deleted alone take its place; nobody should be surprised.
    if (rc == kOk && children > 0)
        std::cerr << (children == 1 ? std::string(zt::MessageText(zt::Msg::ChildMovesUp))
                                    : zt::FormatMessage(zt::Msg::ChildrenMoveUp, {std::to_string(children)}))
                  << "\n";
    return rc;
}

int Save(Context& c, const Args& a) {
    if (a.positional.size() < 3) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    const std::string& out = a.positional[2];
    if (a.Has("--plain")) {
        CZTArchive::CopyOptions options;
        options.keepHeader = true;
        return c.doc.Archive().SaveCopy(out, c.doc.Tree().BuildPageList(), options) ? kOk : kDocError;
    }
    return c.doc.Save(out) ? kOk : kDocError;
}

} // namespace

void AddDocumentCommands(std::vector<Command>& commands) {
    commands.insert(commands.end(), {
        {"info", 1, Info, "info DOC [--json]                    Kopfdaten und Form des Dokuments"},
        {"ls", 1, Ls, "ls DOC [--json]                      Seiten in Baumreihenfolge"},
        {"cat", 2, Cat, "cat DOC PFAD [--text | --html [-o DATEI]]  Seitentext wie gespeichert, als Text oder HTML"},
        {"get", 3, Get, "get DOC PFAD NAME [-o DATEI]         Inhalt einer angehängten Datei"},
        {"new", 1, New, "new DOC [--force]                    neues, leeres Dokument"},
        {"add", 3, Add, "add DOC VATER-PFAD TITEL [--text-file F]  neue Seite (/ als Vater: oberste Ebene)"},
        {"attach", 3, Attach, "attach DOC PFAD DATEI [--as NAME]    Datei anhängen (ein Verzeichnis als Seite)"},
        {"detach", 3, Detach, "detach DOC PFAD NAME                 angehängte Datei entfernen"},
        {"rename", 3, Rename, "rename DOC PFAD TITEL                Seite umbenennen"},
        {"rm", 2, Rm, "rm DOC PFAD [--subtree]              Seite (oder Unterbaum) löschen"},
        {"save", 2, Save, "save DOC AUSGABE [--plain]           Dokument unter AUSGABE schreiben"},
        {"resolve", 1, Resolve, "resolve ADRESSE [--doc DOC] [-o DATEI]  Seitentext oder Datei einer Adresse (zt:/, ztf:/, file:/)"},
        {"verify", 1, Verify, "verify DOC                           alle Seiten und Dateien prüfen"},
    });
}

} // namespace ztd
