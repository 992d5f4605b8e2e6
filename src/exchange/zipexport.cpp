// The zip export.
#include "exchange/exchange.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "core/compress.h"
#include "core/document.h"
#include "exchange/exchangeutil.h"
#include "exchange/oemcodepage.h"
#include "exchange/zip.h"

#include <sys/stat.h>

namespace zt {

namespace {

std::string MemberName(const std::string& relative) {
    return relative.empty() || relative[0] != '/' ? relative : relative.substr(1);
}

// A file's content in the compressed-buffer layout, as it is stored (no
// inflating, no deflating unless the store holds it uncompressed).
bool StoredBuffer(CZTDocument& doc, int32_t ident, size_t index, std::string& copy, std::string_view& buffer) {
    const CZTNode* n = doc.Archive().Core().Node(ident);
    if (!n || index >= n->files.size()) return false;
    const CZTFileEntry& e = n->files[index];
    if (e.inMemory && e.MethodLow() == 1) {
        buffer = e.data.str();
        return true;
    }
    if (e.uncompressedLength == 0 && !e.HasContentSource()) {
        buffer = {};
        return true;
    }
    CZTFileRecord r = doc.Archive().GetFile(ident, e.name);
    bool raw = false;
    if (!r.valid || !r.LoadCompressed(copy, raw)) return false;
    if (raw) copy = CompressBuffer(copy);
    buffer = copy;
    return true;
}

} // namespace

ExportOutcome ExportToZip(CZTDocument& doc, const std::string& archivePath, const ExportOptions& options,
                          Prompter& prompter) {
    ExportOutcome out;
    auto tell = [&](const std::string& text) {
        if (options.showMessages) prompter.Message(text, Prompter::Icon::Error);
    };
    const std::vector<ExportStep> steps = BuildExportSteps(doc.Tree(), options.what, options.page);
    const ExportContent content = options.content;
    const int format = content == ExportContent::Text ? options.format : kFormatDosText;

    // Count the members first: an archive that would be too large for its
    // form is refused before anything is written.
    uint64_t members = 0, total = 0;
    for (const auto& s : steps) {
        const int32_t ident = s.node->Ident();
        const int files = doc.Archive().FileCount(ident);
        const bool hasDir = content == ExportContent::ZipComments || files > 0 || s.node->HasChildren();
        members += uint64_t(hasDir) + (content == ExportContent::Text ? 1 : 0) + uint64_t(files);
        total += 1;
        if (const CZTNode* n = doc.Archive().Core().Node(ident))
            for (const auto& f : n->files) total += uint64_t(f.storedLength > 0 ? f.storedLength : 0);
    }
    if (members > ZipArchive::kMaxEntries) {
        tell(FormatMessage(Msg::ZipTooManyMembers, {archivePath}));
        return out;
    }

    ZipArchive zip;
    if (!zip.Open(archivePath, ZipArchive::kCreate)) {
        tell(MessageText(Msg::ZipOpenFailed));
        return out;
    }
    prompter.Status(MessageText(Msg::ExportingFiles));
    ProgressMeter meter(options.progress, total);
    ExportNameTable names;
    const std::string ext = TextFormatExtension(format);
    bool failed = false;
    auto writeFailed = [&]() {
        const auto e = zip.LastError();
        if (e == ZipArchive::Error::TooLarge) tell(FormatMessage(Msg::ZipNeedsZip64, {archivePath}));
        else if (e == ZipArchive::Error::TooManyMembers) tell(FormatMessage(Msg::ZipTooManyMembers, {archivePath}));
        else tell(MessageText(Msg::ZipCloseFailed));
        failed = true;
    };

    for (const auto& s : steps) {
        const CZTPageNode* node = s.node;
        const int32_t ident = node->Ident();
        const CZTNode* n = doc.Archive().Core().Node(ident);
        const size_t count = n ? n->files.size() : 0;
        const bool hasDir = content == ExportContent::ZipComments || count > 0 || node->HasChildren();
        // Only the page's time is needed here (its text comes converted).
        const int32_t pageTime = n && n->mtime > 0 ? n->mtime : 1;
        uint16_t dirEntry = ZipArchive::kNoEntry;
        if (hasDir) {
            const std::string rel = RegisterExportName(names, s.code, node->Title());
            dirEntry = zip.AddEntry(MemberName(rel) + "/", {});
            if (dirEntry == ZipArchive::kNoEntry) {
                writeFailed();
                break;
            }
            zip.Entry(dirEntry).externalAttributes = 0x10;
            zip.SetEntryTime(dirEntry, pageTime);
            if (content != ExportContent::ZipComments && !zip.WriteEntry(dirEntry)) {
                writeFailed();
                break;
            }
            ++out.directories;
        }
        if (content == ExportContent::FilesOnly) {
            if (!hasDir) RegisterExportName(names, s.code, node->Title());
        } else {
            std::string text;
            if (!PageTextInFormat(doc, ident, format, text)) {
                tell(FormatMessage(Msg::FileWriteFailed,
                                   {Cp1252ToUtf8(node->Title()) + "\n" + MessageText(Msg::TextNotConvertible)}));
                failed = true;
                break;
            }
            if (content == ExportContent::Text) {
                const std::string rel = RegisterExportName(names, hasDir ? "f" : s.code, node->Title() + ext);
                const uint16_t i = zip.AddEntry(MemberName(rel), text);
                if (i == ZipArchive::kNoEntry) {
                    writeFailed();
                    break;
                }
                zip.SetEntryTime(i, pageTime);
                if (!zip.WriteEntry(i)) {
                    writeFailed();
                    break;
                }
                ++out.files;
            } else {
                ZipEntry& d = zip.Entry(dirEntry);
                const size_t room = 65535 - d.name.size();
                if (text.size() > room) {
                    text.resize(room);
                    if (options.showMessages)
                        prompter.Message(FormatMessage(Msg::ZipCommentCut, {Cp1252ToUtf8(OemToAnsi(d.name))}),
                                         Prompter::Icon::Warning);
                }
                d.comment = std::move(text);
                if (!zip.WriteEntry(dirEntry)) {
                    writeFailed();
                    break;
                }
            }
        }
        uint64_t work = 1;
        for (size_t k = 0; k < count && !failed; ++k) {
            const std::string name = n->files[k].name;
            const int32_t fileTime = n->files[k].mtime;
            std::string copy;
            std::string_view buffer;
            if (!StoredBuffer(doc, ident, k, copy, buffer)) {
                tell(FormatMessage(Msg::FileWriteFailed,
                                   {Cp1252ToUtf8(node->Title() + "/" + name) + "\n" + MessageText(Msg::FileDamaged)}));
                failed = true;
                break;
            }
            uint32_t length = 0, crc = 0;
            if (!buffer.empty() && !BufferPrefix(buffer, length, crc)) buffer = {};
            const std::string rel = RegisterExportName(names, "f", name);
            const uint16_t i = zip.WriteCompressedEntry(MemberName(rel), buffer.empty() ? buffer : buffer.substr(8),
                                                        crc, length, fileTime > 0 ? fileTime : 1);
            if (i == ZipArchive::kNoEntry) {
                writeFailed();
                break;
            }
            work += buffer.size();
            ++out.files;
        }
        if (failed || !meter.Advance(work)) break;
    }
    prompter.Status({});
    if (failed) {
        zip.Abandon();
        return out;
    }
    if (meter.Stopped()) {
        std::string stem = archivePath;
        std::string suffix;
        if (stem.size() > 4 && (stem.compare(stem.size() - 4, 4, ".zip") == 0 || stem.compare(stem.size() - 4, 4, ".ZIP") == 0)) {
            suffix = stem.substr(stem.size() - 4);
            stem.resize(stem.size() - 4);
        }
        std::string incomplete = MakeUniqueName(stem + MessageText(Msg::ExportIncompleteSuffix) + suffix,
                                                [](const std::string& p) {
                                                    struct stat st;
                                                    return ::lstat(p.c_str(), &st) == 0;
                                                });
        zip.SetArchiveComment(AnsiToOem(Utf8ToCp1252(MessageText(Msg::ExportIncompleteSuffix))));
        if (!zip.Close(incomplete)) {
            tell(MessageText(Msg::ZipCloseFailed));
            return out;
        }
        out.result = ExchangeResult::Cancelled;
        out.written = incomplete;
        if (options.showMessages)
            prompter.Message(FormatMessage(Msg::ExportCancelled, {incomplete}), Prompter::Icon::Warning);
        return out;
    }
    if (!zip.Close()) {
        writeFailed();
        return out;
    }
    out.result = ExchangeResult::Ok;
    out.written = archivePath;
    return out;
}

} // namespace zt
