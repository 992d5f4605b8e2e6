// ztd: the headless face of Zettrix. Reads and changes documents from the
// command line. Titles and names are UTF-8 on the command line and in the
// output; pages are named by their link path (for example /Projekte/Kap%2E2).
//
// Exit status: 0 success, 1 usage error, 2 document error.

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "core/compress.h"
#include "core/docstream.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "core/serializer.h"
#include "text/pagertf.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kUsage = 1;
constexpr int kDocError = 2;

// Messages go to standard error; questions are asked on the terminal when
// there is one, else answered by --yes (default No).
class TerminalPrompter : public zt::Prompter {
public:
    bool assumeYes = false;
    void Message(std::string_view text, Icon icon) override {
        const char* prefix = icon == Icon::Warning ? "Warnung: " : (icon == Icon::Information ? "" : "Fehler: ");
        std::cerr << prefix << text << "\n";
    }
    bool AskYesNo(std::string_view text) override {
        if (assumeYes) return true;
        if (!isatty(STDIN_FILENO)) {
            std::cerr << text << " -> Nein\n";
            return false;
        }
        std::cerr << text << " [j/N] ";
        std::string answer;
        std::getline(std::cin, answer);
        return !answer.empty() && (answer[0] == 'j' || answer[0] == 'J' || answer[0] == 'y' || answer[0] == 'Y');
    }
};

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // --name value, or "" for flags
    bool Has(const std::string& o) const { return options.count(o) > 0; }
    std::string Get(const std::string& o) const {
        auto it = options.find(o);
        return it == options.end() ? std::string() : it->second;
    }
};

const char* kUsageText =
    "Aufruf: ztd BEFEHL DOKUMENT [ARGUMENTE]\n"
    "  info DOC [--json]                    Kopfdaten und Form des Dokuments\n"
    "  ls DOC [--json]                      Seiten in Baumreihenfolge\n"
    "  cat DOC PFAD                         Seitentext wie gespeichert\n"
    "  get DOC PFAD NAME [-o DATEI]         Inhalt einer angehängten Datei\n"
    "  new DOC                              neues, leeres Dokument\n"
    "  add DOC VATER-PFAD TITEL [--text-file F]  neue Seite (/ als Vater: oberste Ebene)\n"
    "  attach DOC PFAD DATEI [--name NAME]  Datei anhängen\n"
    "  detach DOC PFAD NAME                 angehängte Datei entfernen\n"
    "  rename DOC PFAD TITEL                Seite umbenennen\n"
    "  rm DOC PFAD [--subtree]              Seite (oder Unterbaum) löschen\n"
    "  save DOC AUSGABE [--plain]           Dokument unter AUSGABE schreiben\n"
    "  verify DOC                           alle Seiten und Dateien prüfen\n"
    "Optionen: --yes beantwortet Rückfragen mit Ja.\n";

// Options that take a value.
const char* kValueOptions[] = {"--text-file", "--name", "-o"};

bool ParseArgs(int argc, char** argv, Args& args) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            bool takesValue = false;
            for (const char* v : kValueOptions)
                if (a == v) takesValue = true;
            if (takesValue) {
                if (i + 1 >= argc) return false;
                args.options[a] = argv[++i];
            } else {
                args.options[a] = "";
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return true;
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.push_back(char(c));
            }
        }
    }
    return out + "\"";
}

std::string U8(std::string_view cp1252) { return zt::Cp1252ToUtf8(cp1252); }

std::string TimeText(int32_t t) {
    std::time_t tt = t;
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

bool ReadFileBytes(const std::string& path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    out = ss.str();
    return bool(f) || f.eof();
}

class Tool {
public:
    TerminalPrompter prompter;
    CZTDocument doc{prompter};
    std::string docPath;

    int Fail(const std::string& message) {
        std::cerr << "Fehler: " << message << "\n";
        return kDocError;
    }

    bool Open(const std::string& path) {
        docPath = path;
        return doc.Open(path);
    }

    CZTPageNode* Page(const std::string& pathUtf8) {
        std::string path = zt::Utf8ToCp1252(pathUtf8);
        CZTPageNode* node = zt::ResolvePath(doc.Tree(), nullptr, path);
        if (!node || path.empty()) {
            std::cerr << zt::FormatMessage(zt::Msg::PageNotFound, {pathUtf8}) << "\n";
            return nullptr;
        }
        return node;
    }

    int SaveBack() {
        if (!doc.Save(docPath)) return kDocError;
        return kOk;
    }

    // ---- reading commands

    int Info(const Args& a) {
        std::string bytes, error;
        const std::string& path = a.positional[1];
        zt::DocumentForm form = zt::DocumentForm::Unknown;
        if (ReadDocumentBytes(path, bytes, &error)) form = zt::DetectForm(bytes);
        if (!Open(path)) return kDocError;
        const CZTDiscInfo& h = doc.Archive().Header();
        size_t pages = doc.Tree().CountPages(), files = 0;
        for (const auto& e : doc.Tree().BuildPageList()) files += size_t(doc.Archive().FileCount(e.ident));
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

    int Ls(const Args& a) {
        if (!Open(a.positional[1])) return kDocError;
        bool json = a.Has("--json");
        if (json) std::cout << "[";
        bool first = true;
        CZTPageWalker walker(doc.Tree());
        CZTWalkStep step;
        while (walker.NextInWalk(step)) {
            const CZTPageNode* node = step.node;
            if (!json) {
                std::cout << std::string(size_t(node->Depth() - 1) * 2, ' ') << U8(node->Title()) << "\n";
                continue;
            }
            CZTPageRecord r = doc.Archive().GetPage(node->Ident());
            std::cout << (first ? "" : ",") << "\n {\"path\":" << JsonString(U8(zt::LinkPath(node)))
                      << ",\"title\":" << JsonString(U8(node->Title())) << ",\"depth\":" << node->Depth()
                      << ",\"ident\":" << node->Ident() << ",\"text_length\":" << r.uncompressedLength
                      << ",\"created_by\":" << JsonString(U8(r.createdBy))
                      << ",\"modified_by\":" << JsonString(U8(r.modifiedBy)) << ",\"ctime\":" << r.ctime
                      << ",\"mtime\":" << r.mtime << ",\"files\":[";
            int32_t pos = 0;
            bool firstFile = true;
            for (std::string name = doc.Archive().FileName(node->Ident(), pos); pos >= 0;
                 name = doc.Archive().FileName(node->Ident(), pos)) {
                CZTFileRecord f = doc.Archive().GetFile(node->Ident(), name);
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

    int Cat(const Args& a) {
        if (a.positional.size() < 3) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* node = Page(a.positional[2]);
        if (!node) return kDocError;
        CZTPageRecord r = doc.Archive().GetPage(node->Ident());
        const std::string* text = r.GetText();
        if (!text && r.Damaged()) return Fail(zt::MessageText(zt::Msg::FileDamaged));
        if (text) std::cout.write(text->data(), std::streamsize(text->size()));
        return kOk;
    }

    int Get(const Args& a) {
        if (a.positional.size() < 4) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* node = Page(a.positional[2]);
        if (!node) return kDocError;
        std::string name = zt::Utf8ToCp1252(a.positional[3]);
        CZTFileRecord f = doc.Archive().GetFile(node->Ident(), name);
        if (!f.valid) return Fail(zt::FormatMessage(zt::Msg::FileNotFound, {a.positional[3]}));
        std::string error;
        const std::string* content = f.GetText(&error);
        if (!content) return Fail(std::string(zt::MessageText(zt::Msg::FileDamaged)) + " " + error);
        if (a.Has("-o")) {
            std::ofstream out(a.Get("-o"), std::ios::binary | std::ios::trunc);
            out.write(content->data(), std::streamsize(content->size()));
            if (!out) return Fail(zt::FormatMessage(zt::Msg::SaveFailed, {a.Get("-o"), std::strerror(errno)}));
        } else {
            std::cout.write(content->data(), std::streamsize(content->size()));
        }
        return kOk;
    }

    int Verify(const Args& a) {
        if (!Open(a.positional[1])) return kDocError;
        size_t pages = 0, files = 0;
        CZTPageWalker walker(doc.Tree());
        CZTWalkStep step;
        while (walker.NextInWalk(step)) {
            ++pages;
            const std::string where = U8(zt::PagePath(step.node));
            CZTPageRecord r = doc.Archive().GetPage(step.ident);
            if (r.method == 1) {
                std::string text, error;
                if (!zt::DecompressBuffer(r.content, text, &error) || text.size() != size_t(r.uncompressedLength) ||
                    zt::Crc32(text) != r.crc)
                    return Fail(std::string(zt::MessageText(zt::Msg::FileDamaged)) + " " + where + ": " + error);
            }
            int32_t pos = 0;
            for (std::string name = doc.Archive().FileName(step.ident, pos); pos >= 0;
                 name = doc.Archive().FileName(step.ident, pos)) {
                ++files;
                CZTFileRecord f = doc.Archive().GetFile(step.ident, name);
                std::string error;
                const std::string* content = f.GetText(&error);
                if (!content || content->size() != size_t(f.uncompressedLength) ||
                    (!content->empty() && zt::Crc32(*content) != f.crc))
                    return Fail(std::string(zt::MessageText(zt::Msg::FileDamaged)) + " " + where + " / " +
                                U8(name) + (error.empty() ? "" : ": " + error));
            }
        }
        std::cout << "OK pages=" << pages << " files=" << files << "\n";
        return kOk;
    }

    // ---- changing commands

    int New(const Args& a) {
        doc.New();
        docPath = a.positional[1];
        if (access(docPath.c_str(), F_OK) == 0 && !a.Has("--force"))
            return Fail("Die Datei existiert bereits: " + docPath);
        return SaveBack();
    }

    int Add(const Args& a) {
        if (a.positional.size() < 4) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* parent = nullptr;
        if (a.positional[2] != "/") {
            parent = Page(a.positional[2]);
            if (!parent) return kDocError;
        }
        std::string title = zt::TrimWhite(zt::Utf8ToCp1252(a.positional[3]));
        if (title.empty()) return Fail(zt::MessageText(zt::Msg::EmptyName));
        CZTPageNode* node = doc.AddPage(parent, title);
        if (!node) return Fail("Die Seite konnte nicht eingefügt werden.");
        if (a.Has("--text-file")) {
            std::string text;
            if (!ReadFileBytes(a.Get("--text-file"), text))
                return Fail(zt::FormatMessage(zt::Msg::FileNotFound, {a.Get("--text-file")}));
            if (!doc.SetPageText(node, zt::TextToPageRtf(text, 10, false)))
                return Fail("Der Text konnte nicht gespeichert werden.");
        }
        return SaveBack();
    }

    int Attach(const Args& a) {
        if (a.positional.size() < 4) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* node = Page(a.positional[2]);
        if (!node) return kDocError;
        const std::string& file = a.positional[3];
        std::string content;
        if (!ReadFileBytes(file, content)) return Fail(zt::FormatMessage(zt::Msg::FileNotFound, {file}));
        std::string name = zt::Utf8ToCp1252(a.Has("--name") ? a.Get("--name") : zt::FileNamePart(file));
        if (name.empty()) return Fail(zt::MessageText(zt::Msg::EmptyName));
        CZTFileRecord r = CZTFileRecord::New(name, doc.Archive().User());
        if (!r.SetContent(content, doc.Archive().User())) return Fail("Die Datei konnte nicht komprimiert werden.");
        CZTFileRecord old = doc.Archive().GetFile(node->Ident(), name);
        if (old.valid) { // a replaced file keeps who made it and when
            r.createdBy = old.createdBy;
            r.ctime = old.ctime;
        }
        std::string error;
        if (doc.AttachFile(node, r) == 0) return Fail("Die Datei konnte nicht angehängt werden.");
        return SaveBack();
    }

    int Detach(const Args& a) {
        if (a.positional.size() < 4) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* node = Page(a.positional[2]);
        if (!node) return kDocError;
        if (!doc.DetachFile(node, zt::Utf8ToCp1252(a.positional[3])))
            return Fail(zt::FormatMessage(zt::Msg::FileNotFound, {a.positional[3]}));
        return SaveBack();
    }

    int Rename(const Args& a) {
        if (a.positional.size() < 4) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* node = Page(a.positional[2]);
        if (!node) return kDocError;
        if (!doc.RenamePage(node, zt::Utf8ToCp1252(a.positional[3])))
            return Fail(zt::MessageText(zt::Msg::EmptyName));
        return SaveBack();
    }

    int Rm(const Args& a) {
        if (a.positional.size() < 3) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        CZTPageNode* node = Page(a.positional[2]);
        if (!node) return kDocError;
        doc.DeletePage(node, a.Has("--subtree"));
        return SaveBack();
    }

    int Save(const Args& a) {
        if (a.positional.size() < 3) return kUsage;
        if (!Open(a.positional[1])) return kDocError;
        const std::string& out = a.positional[2];
        if (a.Has("--plain")) {
            CZTArchive::CopyOptions options;
            options.keepHeader = true;
            return doc.Archive().SaveCopy(out, doc.Tree().BuildPageList(), options) ? kOk : kDocError;
        }
        return doc.Save(out) ? kOk : kDocError;
    }
};

} // namespace

int main(int argc, char** argv) {
    Args args;
    if (!ParseArgs(argc, argv, args) || args.Has("--help") || args.Has("-h") || args.positional.size() < 2) {
        std::fputs(kUsageText, args.Has("--help") || args.Has("-h") ? stdout : stderr);
        return args.Has("--help") || args.Has("-h") ? kOk : kUsage;
    }
    Tool tool;
    tool.prompter.assumeYes = args.Has("--yes");
    using Command = int (Tool::*)(const Args&);
    static const std::map<std::string, Command> commands = {
        {"info", &Tool::Info},     {"ls", &Tool::Ls},         {"cat", &Tool::Cat},   {"get", &Tool::Get},
        {"new", &Tool::New},       {"add", &Tool::Add},       {"attach", &Tool::Attach},
        {"detach", &Tool::Detach}, {"rename", &Tool::Rename}, {"rm", &Tool::Rm},     {"save", &Tool::Save},
        {"verify", &Tool::Verify},
    };
    auto it = commands.find(args.positional[0]);
    if (it == commands.end()) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    int rc = (tool.*(it->second))(args);
    if (rc == kUsage) std::fputs(kUsageText, stderr);
    return rc;
}
