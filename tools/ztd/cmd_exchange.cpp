// The commands that write pages out as directory trees and zip archives and
// read directories, archives and other documents in.
#include "ztd.h"

#include "base/cp1252.h"
#include "exchange/exchange.h"
#include "exchange/htmlexport.h"
#include "exchange/textfiles.h"
#include "base/messages.h"

#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace ztd {

namespace {

// The converter's time limit from --timeout SECONDS.
bool TakeTimeout(const Args& a) {
    if (!a.Has("--timeout")) return true;
    const std::string v = a.Get("--timeout");
    if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos || v == "0") return false;
    zt::SetConverterTimeoutMs(std::stoi(v) * 1000);
    return true;
}

bool FormatIndex(const std::string& name, int& index) {
    static const struct {
        const char* name;
        int index;
    } kNames[] = {{"txt", zt::kFormatText}, {"dos", zt::kFormatDosText}, {"rtf", zt::kFormatRtf},
                  {"any", zt::kFormatAnyFile}, {"0", 0}, {"1", 1}, {"2", 2}, {"6", 6}};
    for (const auto& n : kNames)
        if (name == n.name) {
            index = n.index;
            return zt::TextFormatAvailable(index, true);
        }
    return false;
}

// export DOC [PATH] --dir OUT | --zip OUT.zip | --zt-dir OUT | --html OUT [--flat] | --text OUT [--page] ...
int Export(Context& c, const Args& a) {
    const int targets = int(a.Has("--dir")) + int(a.Has("--zip")) + int(a.Has("--zt-dir")) + int(a.Has("--html")) +
                        int(a.Has("--text"));
    if (targets != 1) return kUsage;
    if (!TakeTimeout(a)) return kUsage;
    if (a.Has("--html")) {
        if (a.Has("--page")) return kUsage;
        if (!c.Open(a.positional[1])) return kDocError;
        zt::HtmlExportOptions options;
        if (a.positional.size() > 2) {
            options.page = c.Page(a.positional[2]);
            if (!options.page) return kDocError;
        }
        options.settings.dirMode = a.Has("--flat") ? 1 : 0;
        options.searchPage = !a.Has("--no-search");
        ::mkdir(a.Get("--html").c_str(), 0777); // an existing one is fine
        zt::ExportOutcome out = zt::ExportHtml(c.doc, a.Get("--html"), options, c.prompter);
        if (out.result != zt::ExchangeResult::Ok) return kDocError;
        std::cout << out.written << "\n";
        return kOk;
    }
    if (a.Has("--text")) {
        zt::TextExportOptions options;
        options.withTitles = a.Has("--titles");
        if (a.Has("--format")) {
            const std::string f = a.Get("--format");
            if (f == "dos") options.chosenFormat = zt::kFormatDosText;
            else if (f == "txt") options.chosenFormat = zt::kFormatText;
            else if (f == "rtf") options.chosenFormat = zt::kFormatRtf;
            else return kUsage;
        }
        if (!c.Open(a.positional[1])) return kDocError;
        if (a.positional.size() > 2) {
            options.page = c.Page(a.positional[2]);
            if (!options.page) return kDocError;
            options.what = a.Has("--page") ? zt::ExportWhat::Page : zt::ExportWhat::Subtree;
        } else if (c.doc.Tree().IsEmpty()) {
            return c.Fail(zt::MessageText(zt::Msg::TextNotConvertible));
        }
        if (!zt::ExportText(c.doc, a.Get("--text"), options, c.prompter)) return kDocError;
        std::cout << a.Get("--text") << "\n";
        return kOk;
    }
    zt::ExportOptions options;
    if (a.Has("--format") && !FormatIndex(a.Get("--format"), options.format)) return kUsage;
    if (a.Has("--content")) {
        const std::string v = a.Get("--content");
        if (v != "0" && v != "1" && v != "2") return kUsage;
        options.content = zt::ExportContent(v[0] - '0');
        if (options.content == zt::ExportContent::ZipComments && !a.Has("--zip")) return kUsage;
    }
    if (!c.Open(a.positional[1])) return kDocError;
    if (a.Has("--zt-dir")) {
        ::mkdir(a.Get("--zt-dir").c_str(), 0777);
        std::string dir = zt::ExportSpecialDirectory(c.doc, a.Get("--zt-dir"), c.prompter);
        if (dir.empty()) return kDocError;
        std::cout << dir << "\n";
        return kOk;
    }
    if (a.positional.size() > 2) {
        options.page = c.Page(a.positional[2]);
        if (!options.page) return kDocError;
        options.what = a.Has("--page") ? zt::ExportWhat::Page : zt::ExportWhat::Subtree;
    }
    if (a.Has("--dir")) ::mkdir(a.Get("--dir").c_str(), 0777); // an existing one is fine
    zt::ExportOutcome out = a.Has("--zip") ? zt::ExportToZip(c.doc, a.Get("--zip"), options, c.prompter)
                                           : zt::ExportToDirectory(c.doc, a.Get("--dir"), options, c.prompter);
    if (out.result != zt::ExchangeResult::Ok) return kDocError;
    std::cout << out.written << "\n";
    return kOk;
}

// import DOC [PATH] --dir IN | --zip IN.zip | --ztd OTHER.ztd [--new] [--as child|neighbour|files] [--binary N]
int Import(Context& c, const Args& a) {
    const int sources = int(a.Has("--dir")) + int(a.Has("--zip")) + int(a.Has("--ztd")) + int(a.Has("--text"));
    if (sources != 1) return kUsage;
    if (!TakeTimeout(a)) return kUsage;
    if (a.Has("--text")) {
        if (a.Has("--new") || a.Has("--as")) return kUsage;
        std::vector<std::string> files;
        const std::string list = a.Get("--text");
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t end = list.find('\0', pos);
            if (end == std::string::npos) end = list.size();
            files.push_back(list.substr(pos, end - pos));
            pos = end + 1;
        }
        zt::BinaryChoice binary = files.size() > 1 ? zt::BinaryChoice::None : zt::BinaryChoice::Ask;
        if (a.Has("--binary")) {
            const std::string v = a.Get("--binary");
            if (v.size() != 1 || v[0] < '0' || v[0] > '3') return kUsage;
            binary = zt::BinaryChoice(v[0] - '0');
        }
        if (!c.Open(a.positional[1])) return kDocError;
        CZTPageNode* after = nullptr;
        if (a.positional.size() > 2) {
            after = c.Page(a.positional[2]);
            if (!after) return kDocError;
        }
        const int errorsBefore = c.prompter.errorsShown;
        zt::ImportOutcome out = zt::ImportTextFiles(c.doc, files, after, binary, c.prompter);
        if (out.result != zt::ExchangeResult::Ok) return kDocError;
        const bool failedSome = c.prompter.errorsShown != errorsBefore;
        // Files that could not be read were told and skipped; with nothing
        // read the document stays as it was, and either way the status says so.
        if (failedSome && out.pages == 0 && out.files == 0) return kDocError;
        std::cout << out.pages << " Seiten, " << out.files << " Dateien\n";
        const int saved = c.SaveBack();
        return saved != 0 ? saved : (failedSome ? kDocError : 0);
    }
    const bool fresh = a.Has("--new");
    if (fresh && (a.positional.size() > 2 || a.Has("--ztd"))) return kUsage;
    zt::InsertMode mode = zt::InsertMode::Neighbours;
    if (a.Has("--as")) {
        const std::string v = a.Get("--as");
        if (v == "child") mode = zt::InsertMode::Children;
        else if (v == "neighbour") mode = zt::InsertMode::Neighbours;
        else if (v == "files") mode = zt::InsertMode::Files;
        else return kUsage;
    }
    zt::BinaryChoice binary = zt::BinaryChoice::Ask;
    if (a.Has("--binary")) {
        const std::string v = a.Get("--binary");
        if (v.size() != 1 || v[0] < '0' || v[0] > '3') return kUsage;
        binary = zt::BinaryChoice(v[0] - '0');
    }
    const std::string& docPath = a.positional[1];
    if (fresh) {
        c.docPath = docPath;
        c.doc.New();
    } else if (!c.Open(docPath)) {
        return kDocError;
    }
    CZTPageNode* page = nullptr;
    if (a.positional.size() > 2) {
        page = c.Page(a.positional[2]);
        if (!page) return kDocError;
    }
    zt::ImportOutcome out;
    if (a.Has("--zip")) {
        const std::vector<std::string> archives{a.Get("--zip")};
        if (fresh) out = zt::ImportZipAsDocument(c.doc, archives, c.prompter);
        else if (page) out = zt::ImportZip(c.doc, archives[0], page, c.prompter);
        else out = zt::ImportZipFiles(c.doc, archives, nullptr, c.prompter);
    } else if (a.Has("--ztd")) {
        out = zt::ImportDocumentFiles(c.doc, {a.Get("--ztd")}, page, c.prompter);
    } else if (fresh) {
        out = zt::ImportDirectoryAsDocument(c.doc, a.Get("--dir"), mode, binary, c.prompter);
    } else {
        if (::access(a.Get("--dir").c_str(), F_OK) != 0) return c.Fail("Verzeichnis nicht gefunden: " + a.Get("--dir"));
        out = zt::ImportDirectory(c.doc, a.Get("--dir"), page, mode, binary, c.prompter);
    }
    if (out.result != zt::ExchangeResult::Ok) return kDocError;
    std::cout << out.pages << " Seiten, " << out.files << " Dateien\n";
    return c.SaveBack();
}

} // namespace

void AddExchangeCommands(std::vector<Command>& commands) {
    commands.push_back({"export", 1, Export,
                        "export DOKUMENT [PFAD] --dir ZIEL | --zip ZIEL.zip | --zt-dir ZIEL | --html ZIEL [--flat] "
                        "[--no-search] | --text ZIEL.txt|.rtf|.doc [--titles] [--page] [--format txt|dos|rtf|any] "
                        "[--content 0|1|2] [--timeout SEKUNDEN]"});
    commands.push_back({"import", 1, Import,
                        "import DOKUMENT [PFAD] --dir QUELLE | --zip QUELLE.zip | --ztd ANDERES.ztd | --text DATEI... "
                        "[--new] [--as child|neighbour|files] [--binary 0|1|2|3] [--timeout SEKUNDEN]"});
}

} // namespace ztd
