// The directory export and the special directory ("ZT-Verzeichnis").
#include "exchange/exchange.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "core/document.h"
#include "exchange/exchangeutil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

namespace {

bool PathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string StripTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

// Makes a new directory `name` (Windows-1252) in `parent`, numbered " (#N)"
// after the whole name until it is free. Returns the name taken, empty on
// failure (`error` set).
std::string MakeFreshDirectory(const std::string& parent, const std::string& name, bool numberWhole,
                               std::string& error) {
    for (int n = 0; n < 100000; ++n) {
        std::string candidate = name;
        if (n > 0) {
            candidate = numberWhole ? name + " (#" + std::to_string(n) + ")"
                                    : Utf8ToCp1252(FileNamePart(NumberedName(Cp1252ToUtf8(name), n)));
        }
        const std::string path = parent + "/" + Cp1252ToUtf8(candidate);
        if (PathExists(path)) continue;
        SafeTree tree(parent);
        if (tree.MakeDirectory(candidate, error)) return candidate;
        if (errno != EEXIST) return {};
    }
    error = std::strerror(EEXIST);
    return {};
}

uint64_t PageWork(CZTDocument& doc, int32_t ident) {
    uint64_t work = 1;
    if (const CZTNode* n = doc.Archive().Core().Node(ident)) {
        work += uint64_t(n->uncompressedLength > 0 ? n->uncompressedLength : 0);
        for (const auto& f : n->files) work += uint64_t(f.uncompressedLength > 0 ? f.uncompressedLength : 0);
    }
    return work;
}

// Renames the top directory of a stopped export and says so.
std::string MarkIncomplete(const std::string& parent, const std::string& name, Prompter& prompter, bool tell) {
    const std::string from = parent + "/" + Cp1252ToUtf8(name);
    std::string to = MakeUniqueName(from + MessageText(Msg::ExportIncompleteSuffix),
                                    [](const std::string& p) { return PathExists(p); });
    if (::rename(from.c_str(), to.c_str()) != 0) to = from;
    if (tell) prompter.Message(FormatMessage(Msg::ExportCancelled, {to}), Prompter::Icon::Warning);
    return to;
}

} // namespace

ExportOutcome ExportToDirectory(CZTDocument& doc, const std::string& targetIn, const ExportOptions& options,
                                Prompter& prompter) {
    ExportOutcome out;
    const std::string target = StripTrailingSlashes(targetIn);
    auto tell = [&](Msg id, const std::string& arg) {
        if (options.showMessages) prompter.Message(FormatMessage(id, {arg}), Prompter::Icon::Error);
    };
    std::vector<ExportStep> steps = BuildExportSteps(doc.Tree(), options.what, options.page);
    const bool documentExport = options.what == ExportWhat::Document;
    std::string baseDir = target, topName, error;
    if (documentExport) {
        topName = MakeFreshDirectory(target, DocumentExportName(doc), false, error);
        if (topName.empty()) {
            tell(Msg::ExportMainDirFailed, target + "/" + Cp1252ToUtf8(DocumentExportName(doc)) + "\n" + error);
            return out;
        }
        baseDir = target + "/" + Cp1252ToUtf8(topName);
        out.written = baseDir;
        ++out.directories;
    } else if (steps.empty()) {
        return out;
    }
    prompter.Status(MessageText(Msg::ExportingFiles));
    uint64_t total = 0;
    for (const auto& s : steps) total += PageWork(doc, s.node->Ident());
    ProgressMeter meter(options.progress, total);
    SafeTree tree(baseDir);
    ExportNameTable names;
    const std::string ext = TextFormatExtension(options.format);
    bool failed = false;

    for (size_t i = 0; i < steps.size() && !failed; ++i) {
        const CZTPageNode* node = steps[i].node;
        const int32_t ident = node->Ident();
        const std::string& code = steps[i].code;
        const bool firstOfPart = i == 0 && !documentExport;
        const int fileCount = doc.Archive().FileCount(ident);
        const bool hasDir = firstOfPart || fileCount > 0 || node->HasChildren();
        CZTPageRecord page = doc.Archive().GetPage(ident);
        const int64_t mtime = ExportFileTime(page.mtime);

        if (hasDir) {
            std::string title = node->Title();
            if (firstOfPart) {
                title = MakeFreshDirectory(target, ExportSafeName(title), true, error);
                if (title.empty()) {
                    tell(Msg::ExportMainDirFailed, target + "/" + Cp1252ToUtf8(ExportSafeName(node->Title())) +
                                                       "\n" + error);
                    return out;
                }
                topName = title;
                out.written = target + "/" + Cp1252ToUtf8(title);
                ++out.directories;
                RegisterExportName(names, code, title);
                // Made beside the base: the tree's base is the target itself.
            } else {
                const std::string rel = RegisterExportName(names, code, title);
                if (!tree.MakeDirectory(rel, error)) {
                    tell(Msg::ExportDirFailed, tree.DiskPath(rel) + "\n" + error);
                    failed = true;
                    break;
                }
                ++out.directories;
            }
        }
        if (options.content == ExportContent::FilesOnly) {
            if (!hasDir) RegisterExportName(names, code, node->Title());
        } else {
            std::string text;
            if (!PageTextInFormat(doc, ident, options.format, text)) {
                tell(Msg::FileWriteFailed, Cp1252ToUtf8(node->Title()) + "\n" + MessageText(Msg::TextNotConvertible));
                failed = true;
                break;
            }
            const std::string rel = RegisterExportName(names, hasDir ? "f" : code, node->Title() + ext);
            if (!tree.WriteFile(rel, text, mtime, error)) {
                tell(Msg::FileWriteFailed, tree.DiskPath(rel) + "\n" + error);
                failed = true;
                break;
            }
            ++out.files;
        }
        int32_t pos = 0;
        for (std::string name = doc.Archive().FileName(ident, pos); pos >= 0 && !failed;
             name = doc.Archive().FileName(ident, pos)) {
            CZTFileRecord f = doc.Archive().GetFile(ident, name);
            std::string err;
            const std::string* bytes = f.GetText(&err);
            const std::string rel = RegisterExportName(names, "f", name);
            if (!bytes && !(f.uncompressedLength == 0 && !f.HasContentSource())) {
                tell(Msg::FileWriteFailed, tree.DiskPath(rel) + "\n" + MessageText(Msg::FileDamaged));
                failed = true;
                break;
            }
            if (!tree.WriteFile(rel, bytes ? std::string_view(*bytes) : std::string_view(), mtime, error)) {
                tell(Msg::FileWriteFailed, tree.DiskPath(rel) + "\n" + error);
                failed = true;
                break;
            }
            ++out.files;
        }
        if (!failed && !meter.Advance(PageWork(doc, ident))) break;
    }
    prompter.Status({});
    if (failed) return out;
    // The files were written without a flush each; one sync makes the whole
    // tree durable before the export counts as done.
    if (!tree.Sync(error)) {
        tell(Msg::FileWriteFailed, baseDir + "\n" + error);
        return out;
    }
    if (meter.Stopped()) {
        out.result = ExchangeResult::Cancelled;
        out.written = MarkIncomplete(target, topName, prompter, options.showMessages);
        return out;
    }
    out.result = ExchangeResult::Ok;
    return out;
}

std::string ExportSpecialDirectory(CZTDocument& doc, const std::string& targetIn, Prompter& prompter) {
    const std::string target = StripTrailingSlashes(targetIn);
    const std::string name = DocumentExportName(doc);
    std::string error;
    const std::string dirName = MakeFreshDirectory(target, name, false, error);
    if (dirName.empty()) {
        prompter.Message(FormatMessage(Msg::ExportMainDirFailed, {target + "/" + Cp1252ToUtf8(name) + "\n" + error}),
                         Prompter::Icon::Error);
        return {};
    }
    const std::string dir = target + "/" + Cp1252ToUtf8(dirName);
    prompter.Status(MessageText(Msg::ExportingFiles));
    // The copy is written and read back by a store of its own, which then
    // saves itself in directory form: the open document keeps its own form,
    // files and modified state, and never refers to the exported directory.
    const std::string copyPath = dir + "/.copy.ztd";
    CZTArchive::CopyOptions copy;
    copy.keepHeader = true;
    bool ok = doc.Archive().SaveCopy(copyPath, doc.Tree().BuildPageList(), copy);
    if (ok) {
        CZTArchive store(prompter);
        CZTPageList pages;
        ok = store.Open(copyPath, pages);
        ::unlink(copyPath.c_str());
        if (ok) {
            store.Core().directoryForm = true;
            store.Core().tempDirectory = false;
            store.Core().path = dir;
            ok = store.Save(dir + "/" + Cp1252ToUtf8(name) + ".ztd", pages);
        }
    }
    ::unlink(copyPath.c_str());
    prompter.Status({});
    return ok ? dir : std::string();
}

} // namespace zt
