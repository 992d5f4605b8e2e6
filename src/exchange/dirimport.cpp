// The directory import: directories as pages, files by their kind.
#include "exchange/exchange.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "exchange/exchangeutil.h"
#include "exchange/importjournal.h"
#include "exchange/textfiles.h"
#include "text/pagertf.h"

#include <algorithm>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace zt {

namespace {

constexpr int64_t kMaxFileSize = int64_t(1) << 30;
constexpr size_t kMaxDepth = 64;

size_t CharCount(std::string_view utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string LowerExtension(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return ext;
}

struct DirImporter {
    CZTDocument& doc;
    Prompter& prompter;
    ImportJournal& journal;
    ImportOutcome& outcome;
    BinaryChoice binary;
    ExchangeProgress* progress;
    std::string root; // canonical path of what was chosen
    std::set<std::pair<dev_t, ino_t>> visited;
    bool failed = false, cancelled = false;
    uint64_t done = 0;

    bool Step() {
        if (progress && !progress->Step(++done, 0)) cancelled = true;
        return !cancelled;
    }

    void Made(CZTPageNode* page, bool top) {
        ++outcome.pages;
        if (!outcome.first) outcome.first = page;
        if (top) outcome.last = page;
    }

    CZTPageNode* NewPage(CZTPageNode* anchor, bool asChild, const std::string& title, int64_t mtime, bool top) {
        CZTPageNode* page = doc.InsertPage(
            anchor, asChild ? CZTPageTree::Placement::AsChild : CZTPageTree::Placement::AsNeighbour, title);
        if (!page) return nullptr;
        CZTPageRecord r = doc.Archive().GetPage(page->Ident());
        r.mtime = PositiveStamp(mtime);
        doc.Archive().PutPage(page->Ident(), std::move(r));
        Made(page, top);
        return page;
    }

    // True when the path stays inside the chosen directory once resolved.
    bool Inside(const std::string& path) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return false;
        std::string r = real;
        std::free(real);
        return r == root || (r.size() > root.size() && r.compare(0, root.size(), root) == 0 &&
                             (root == "/" || r[root.size()] == '/'));
    }

    void Item(const std::string& path, CZTPageNode* anchor, bool asChild, size_t depth, bool top) {
        if (failed || cancelled) return;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) return;
        if (S_ISLNK(st.st_mode)) {
            if (!Inside(path) || ::stat(path.c_str(), &st) != 0) return;
        }
        const std::string name = FileNamePart(path);
        if (S_ISDIR(st.st_mode)) {
            if (depth > kMaxDepth || !visited.insert({st.st_dev, st.st_ino}).second) return; // a loop
            CZTPageNode* page = NewPage(anchor, asChild, Utf8ToCp1252(name), st.st_mtime, top);
            if (!page) {
                failed = true;
                return;
            }
            if (!Step()) return;
            if (CharCount(path) > 256) return;
            std::vector<std::string> entries;
            if (DIR* d = ::opendir(path.c_str())) {
                while (dirent* e = ::readdir(d)) {
                    std::string n = e->d_name;
                    if (n == "." || n == "..") continue;
                    if (CharCount(path) + 1 + CharCount(n) >= 260) continue;
                    entries.push_back(n);
                }
                ::closedir(d);
            }
            std::sort(entries.begin(), entries.end());
            for (const std::string& n : entries) Item(path + "/" + n, page, true, depth + 1, false);
            return;
        }
        if (!S_ISREG(st.st_mode)) return;
        prompter.Status(CharCount(name) > 150 ? MessageText(Msg::ImportingFiles) : name + ".");
        FileItem(path, st, anchor, asChild, top);
        prompter.Status(MessageText(Msg::ImportingFiles));
        Step();
    }

    void FileItem(const std::string& path, const struct stat& st, CZTPageNode* anchor, bool asChild, bool top) {
        const std::string name = FileNamePart(path);
        const std::string title = Utf8ToCp1252(name);
        const std::string ext = LowerExtension(name);
        if (ext == "zip") {
            CZTPageNode* page = NewPage(anchor, asChild, title, st.st_mtime, top);
            if (!page) {
                failed = true;
                return;
            }
            bool stop = false;
            if (!ImportZipInto(doc, path, page, prompter, journal, outcome, progress, stop)) {
                if (stop) cancelled = true;
                else failed = true;
            }
            return;
        }
        if (ext == "ztd") {
            CZTPageNode* page = NewPage(anchor, asChild, title, st.st_mtime, top);
            if (!page || !doc.InsertFile(path, page, true)) failed = true;
            return;
        }
        // Word processor files go through the converter when it is there.
        const int type = DetectTextFormat(path, false);
        if (type >= kFormatWord6 && type <= kFormatWrite) {
            TextFileOptions fo;
            fo.status = &prompter;
            if (progress) fo.run.keepGoing = [this] { return progress->Step(done, 0); };
            std::unique_ptr<CZTTextFile> file;
            std::string error, rtf;
            file = OpenTextFile(path, TextOpenMode::Read, error, fo);
            if (file && file->Converted()) {
                if (!ReadTextForPage(path, rtf, error, fo)) {
                    prompter.Message(error);
                    return; // the import goes on
                }
                CZTPageNode* page = NewPage(anchor, asChild, title, st.st_mtime, top);
                if (!page || !doc.SetPageText(page, rtf)) {
                    failed = true;
                    return;
                }
                CZTPageRecord r = doc.Archive().GetPage(page->Ident());
                r.mtime = PositiveStamp(st.st_mtime);
                doc.Archive().PutPage(page->Ident(), std::move(r));
                return;
            }
        }
        FileKind kind = LooksBinaryFile(path);
        BinaryChoice choice = binary;
        bool asPage = kind != FileKind::Binary;
        if (kind == FileKind::Binary) {
            if (choice == BinaryChoice::Ask) {
                switch (prompter.AskYesNoCancel(FormatMessage(Msg::BinaryAsPageQuestion, {path}))) {
                case Prompter::Answer::Yes: choice = BinaryChoice::All; break;
                case Prompter::Answer::No: choice = BinaryChoice::AsFiles; break;
                case Prompter::Answer::Cancel: return;
                }
            }
            if (choice == BinaryChoice::None) return;
            asPage = choice == BinaryChoice::All;
        }
        std::string bytes, error;
        if (asPage && uint64_t(st.st_size) > kMaxTextPageBytes) {
            prompter.Message(FormatMessage(Msg::TextFileTooLarge, {path, std::to_string(kMaxTextPageBytes >> 20)}));
            return; // refused before reading; the import goes on
        }
        if (st.st_size > kMaxFileSize || !ReadWholeFile(path, bytes, &error)) {
            prompter.Message(FormatMessage(Msg::FileLoadError, {path}));
            return; // the import goes on
        }
        if (!asPage) {
            CZTPageNode* page = anchor;
            if (!page) {
                page = NewPage(nullptr, true, CZTPageTree::NewEntryTitle(), NowStamp(), top);
                if (!page) {
                    failed = true;
                    return;
                }
            }
            const std::string fileName = MakeUniqueFileName(doc, page->Ident(), title);
            if (!StoreFile(doc, page, fileName, bytes, int32_t(st.st_mtime))) {
                prompter.Message(FormatMessage(Msg::FileLoadError, {path}));
                failed = true;
                return;
            }
            journal.FileAdded(page, fileName);
            ++outcome.files;
            return;
        }
        CZTPageNode* page = NewPage(anchor, asChild, title, st.st_mtime, top);
        if (!page || !doc.SetPageText(page, IsRtfText(bytes) ? bytes : TextToPageRtf(bytes, 10, false))) {
            failed = true;
            return;
        }
        CZTPageRecord r = doc.Archive().GetPage(page->Ident());
        r.mtime = PositiveStamp(st.st_mtime);
        doc.Archive().PutPage(page->Ident(), std::move(r));
    }
};

std::string Canonical(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string r = real;
    std::free(real);
    return r;
}

std::string WithoutTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

} // namespace

ImportOutcome ImportDirectory(CZTDocument& doc, const std::string& pathIn, CZTPageNode* anchor, InsertMode mode,
                              BinaryChoice binary, Prompter& prompter, ExchangeProgress* progress) {
    ImportOutcome outcome;
    const std::string path = WithoutTrailingSlashes(pathIn);
    ImportJournal journal(doc);
    prompter.Status(MessageText(Msg::ImportingFiles));
    bool ok = true, cancelled = false;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        prompter.Status({});
        outcome.result = ExchangeResult::Ok; // a missing path does nothing
        return outcome;
    }
    if (mode == InsertMode::Files) {
        // The files import of the files view: directories become pages,
        // files attached files of their directory's page.
        CZTPageNode* page = anchor;
        std::vector<std::string> paths{path};
        if (!page) {
            if (S_ISDIR(st.st_mode)) {
                page = doc.InsertPage(nullptr, CZTPageTree::Placement::AsNeighbour, Utf8ToCp1252(FileNamePart(path)));
                paths.clear();
                DIR* d = page ? ::opendir(path.c_str()) : nullptr;
                std::vector<std::string> entries;
                while (d) {
                    dirent* e = ::readdir(d);
                    if (!e) break;
                    std::string n = e->d_name;
                    if (n != "." && n != "..") entries.push_back(path + "/" + n);
                }
                if (d) ::closedir(d);
                std::sort(entries.begin(), entries.end());
                paths = entries;
            } else {
                page = doc.InsertPage(nullptr, CZTPageTree::Placement::AsNeighbour, CZTPageTree::NewEntryTitle());
            }
            if (page) {
                ++outcome.pages;
                outcome.first = outcome.last = page;
            }
        }
        if (!page) {
            ok = false;
        } else {
            ConflictResolver conflicts;
            ImportOptions options;
            options.placement = CZTPageTree::Placement::AsChild;
            ImportResult r = ImportFiles(doc, page, paths, conflicts, prompter, options);
            outcome.files += size_t(r.imported);
            outcome.pages += size_t(r.pages);
            cancelled = r.cancelled;
            if (!outcome.first && r.pages > 0) outcome.first = page->FirstChild();
        }
    } else {
        DirImporter im{doc, prompter, journal, outcome, binary, progress, Canonical(path), {}};
        im.Item(path, anchor, mode == InsertMode::Children, 0, true);
        ok = !im.failed;
        cancelled = im.cancelled;
    }
    FinishImport(journal, outcome, ok, cancelled, prompter);
    return outcome;
}

ImportOutcome ImportDocumentFiles(CZTDocument& doc, const std::vector<std::string>& files, CZTPageNode* after,
                                  Prompter& prompter, ExchangeProgress* progress) {
    ImportOutcome outcome;
    ImportJournal journal(doc);
    prompter.Status(MessageText(Msg::ImportingFiles));
    bool ok = true, cancelled = false;
    CZTPageNode* previous = after;
    for (const std::string& path : files) {
        DirImporter im{doc, prompter, journal, outcome, BinaryChoice::Ask, progress, Canonical(path), {}};
        CZTPageNode* before = outcome.last;
        im.Item(path, previous, false, 0, true);
        if (im.failed || im.cancelled) {
            ok = !im.failed;
            cancelled = im.cancelled;
            break;
        }
        if (outcome.last && outcome.last != before) previous = outcome.last;
    }
    FinishImport(journal, outcome, ok, cancelled, prompter);
    return outcome;
}

ImportOutcome ImportTextFiles(CZTDocument& doc, const std::vector<std::string>& files, CZTPageNode* after,
                              BinaryChoice binary, Prompter& prompter, ExchangeProgress* progress) {
    ImportOutcome outcome;
    ImportJournal journal(doc);
    prompter.Status(MessageText(Msg::ImportingFiles));
    bool ok = true, cancelled = false;
    CZTPageNode* previous = after;
    for (const std::string& path : files) {
        DirImporter im{doc, prompter, journal, outcome, binary, progress, Canonical(path), {}};
        CZTPageNode* before = outcome.last;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
            // Missing, or a pipe or device that would never end.
            prompter.Message(FormatMessage(Msg::FileLoadError, {path}));
            continue; // the import goes on
        }
        im.Item(path, previous, false, 0, true);
        if (im.failed || im.cancelled) {
            ok = !im.failed;
            cancelled = im.cancelled;
            break;
        }
        if (outcome.last && outcome.last != before) previous = outcome.last;
    }
    FinishImport(journal, outcome, ok, cancelled, prompter);
    return outcome;
}

ImportOutcome ImportDirectoryAsDocument(CZTDocument& doc, const std::string& pathIn, InsertMode mode,
                                        BinaryChoice binary, Prompter& prompter, ExchangeProgress* progress) {
    const std::string path = WithoutTrailingSlashes(pathIn);
    doc.New();
    doc.Archive().Header().title = Utf8ToCp1252(FileNamePart(path));
    ImportOutcome outcome = ImportDirectory(doc, path, nullptr, mode, binary, prompter, progress);
    if (outcome.result == ExchangeResult::Ok) {
        outcome.first = doc.Tree().FirstRootPage();
        doc.SetModified();
    }
    return outcome;
}

} // namespace zt
