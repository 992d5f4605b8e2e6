// The zip import.
#include "exchange/exchange.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "exchange/exchangeutil.h"
#include "exchange/importjournal.h"
#include "exchange/oemcodepage.h"
#include "exchange/zip.h"
#include "text/pagertf.h"

#include <climits>

namespace zt {

namespace {

// Splits a member name into its components; false for a name that is
// absolute, names a drive, climbs with "..", or holds a NUL byte.
bool SplitMemberName(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty() || name.find('\0') != std::string_view::npos) return false;
    if (name[0] == '/' || name[0] == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t sep = name.find_first_of("/\\", pos);
        if (sep == std::string_view::npos) sep = name.size();
        std::string_view c = name.substr(pos, sep - pos);
        pos = sep + 1;
        if (c.empty() || c == ".") continue;
        if (c == "..") return false;
        parts.emplace_back(c);
    }
    return true;
}

struct ZipImporter {
    CZTDocument& doc;
    Prompter& prompter;
    ImportJournal& journal;
    ImportOutcome& outcome;

    CZTPageNode* FindOrCreate(CZTPageNode* anchor, const std::vector<std::string>& parts, size_t count) {
        CZTPageNode* page = anchor;
        for (size_t i = 0; i < count && page; ++i) {
            CZTPageNode* found = nullptr;
            for (CZTPageNode* child : page->Children())
                if (child->Title() == parts[i]) {
                    found = child;
                    break;
                }
            if (!found) {
                found = doc.AddPage(page, parts[i]);
                if (found) ++outcome.pages;
            }
            page = found;
        }
        return page;
    }

    bool SetText(CZTPageNode* page, const std::string& rtf) {
        journal.PageChanging(page);
        return doc.SetPageText(page, rtf);
    }
};

} // namespace

bool ImportZipInto(CZTDocument& doc, const std::string& archive, CZTPageNode* into, Prompter& prompter,
                   ImportJournal& journal, ImportOutcome& outcome, ExchangeProgress* progress, bool& cancelled) {
    cancelled = false;
    if (!into) return false;
    ZipArchive zip;
    auto refuse = [&](const ZipArchive& z) {
        switch (z.LastError()) {
        case ZipArchive::Error::Zip64: prompter.Message(FormatMessage(Msg::ZipNeedsZip64, {archive})); break;
        case ZipArchive::Error::TooManyMembers:
            prompter.Message(FormatMessage(Msg::ZipTooManyMembers, {archive}));
            break;
        case ZipArchive::Error::Damaged:
        case ZipArchive::Error::Method:
            prompter.Message(FormatMessage(Msg::ZipDamaged, {archive, z.ErrorDetail()}));
            break;
        default: prompter.Message(MessageText(Msg::ZipOpenFailed)); break;
        }
        return false;
    };
    if (!zip.Open(archive, ZipArchive::kReadOnDemand)) return refuse(zip);
    // Every name is checked before anything changes.
    std::vector<std::vector<std::string>> names(zip.EntryCount());
    uint64_t total = 0;
    for (size_t i = 0; i < zip.EntryCount(); ++i) {
        const std::string name = zip.EntryName(i);
        if (!SplitMemberName(name, names[i])) {
            prompter.Message(FormatMessage(Msg::ZipUnsafeName, {Cp1252ToUtf8(name)}));
            return false;
        }
        if (zip.Entry(i).uncompressedSize > uint32_t(INT32_MAX)) {
            prompter.Message(FormatMessage(Msg::ZipDamaged, {archive, "size"}));
            return false;
        }
        total += 1 + zip.Entry(i).compressedSize;
    }
    ZipImporter im{doc, prompter, journal, outcome};
    ProgressMeter meter(progress, total);
    if (!zip.ArchiveComment().empty())
        im.SetText(into, TextToPageRtf(OemToAnsi(zip.ArchiveComment()), 10, false));
    const std::string& user = doc.Archive().User();
    for (size_t i = 0; i < zip.EntryCount(); ++i) {
        const ZipEntry& e = zip.Entry(i);
        const std::vector<std::string>& parts = names[i];
        const std::string comment = OemToAnsi(e.comment);
        if (e.IsDirectory() || parts.empty()) {
            CZTPageNode* page = im.FindOrCreate(into, parts, parts.size());
            if (!page) return false;
            if (!comment.empty()) im.SetText(page, TextToPageRtf(comment, 10, false));
        } else {
            CZTPageNode* page = im.FindOrCreate(into, parts, parts.size() - 1);
            if (!page) return false;
            std::string buffer;
            if (!zip.GetEntryBuffer(i, buffer)) return refuse(zip);
            const std::string fileName = MakeUniqueFileName(doc, page->Ident(), parts.back());
            CZTFileRecord r = CZTFileRecord::New(fileName, user);
            r.mtime = PositiveStamp(zip.EntryTime(i));
            r.method = buffer.empty() ? 0 : 1;
            r.storedLength = int32_t(buffer.size());
            r.uncompressedLength = buffer.empty() ? 0 : int32_t(e.uncompressedSize);
            r.crc = buffer.empty() ? 0 : e.crc;
            CZTNode* node = doc.Archive().Core().Node(page->Ident());
            if (!doc.Archive().Core().directoryForm && node) {
                // The buffer moves into the store as it is (a document in
                // directory form writes it to a content file instead).
                CZTFileEntry entry;
                static_cast<CZTFileData&>(entry) = static_cast<const CZTFileData&>(r);
                entry.data = std::move(buffer);
                entry.inMemory = true;
                node->used = true;
                node->files.push_back(std::move(entry));
                doc.Tree().ApplyMark(page, CZTMarkEvent::FilesChanged);
                doc.SetModified();
            } else {
                r.data = std::move(buffer);
                r.inMemory = true;
                if (doc.AttachFile(page, r) == 0) {
                    prompter.Message(FormatMessage(Msg::FileLoadError, {Cp1252ToUtf8(zip.EntryName(i))}));
                    return false;
                }
            }
            journal.FileAdded(page, fileName);
            ++outcome.files;
            if (!comment.empty()) {
                const std::string body = "\\par\\par{\\fs24\\b " + RtfEscape(fileName) + "}\\par\\par{\\fs20 " +
                                         RtfEscape(comment) + "}\r\n";
                im.SetText(page, AppendRtf(doc.PageText(page), body));
            }
        }
        if (!meter.Advance(1 + e.compressedSize)) {
            cancelled = true;
            return false;
        }
    }
    return true;
}

void FinishImport(ImportJournal& journal, ImportOutcome& outcome, bool ok, bool cancelled, Prompter& prompter) {
    prompter.Status({});
    if (ok && !cancelled) {
        outcome.result = ExchangeResult::Ok;
        return;
    }
    journal.Rollback();
    outcome.first = outcome.last = nullptr;
    outcome.pages = outcome.files = 0;
    outcome.result = cancelled ? ExchangeResult::Cancelled : ExchangeResult::Failed;
    prompter.Message(MessageText(cancelled ? Msg::ImportCancelled : Msg::ImportFailedUnchanged),
                     cancelled ? Prompter::Icon::Information : Prompter::Icon::Error);
}

ImportOutcome ImportZip(CZTDocument& doc, const std::string& archive, CZTPageNode* into, Prompter& prompter,
                        ExchangeProgress* progress) {
    ImportOutcome outcome;
    ImportJournal journal(doc);
    prompter.Status(MessageText(Msg::ImportingFiles));
    bool cancelled = false;
    const bool ok = ImportZipInto(doc, archive, into, prompter, journal, outcome, progress, cancelled);
    FinishImport(journal, outcome, ok, cancelled, prompter);
    return outcome;
}

ImportOutcome ImportZipFiles(CZTDocument& doc, const std::vector<std::string>& archives, CZTPageNode* after,
                             Prompter& prompter, ExchangeProgress* progress) {
    ImportOutcome outcome;
    ImportJournal journal(doc);
    prompter.Status(MessageText(Msg::ImportingFiles));
    bool ok = true, cancelled = false;
    CZTPageNode* previous = after;
    for (const std::string& path : archives) {
        CZTPageNode* page = doc.InsertPage(previous, CZTPageTree::Placement::AsNeighbour,
                                           Utf8ToCp1252(FileNamePart(path)));
        if (!page) {
            ok = false;
            break;
        }
        ++outcome.pages;
        if (!outcome.first) outcome.first = page;
        outcome.last = page;
        previous = page;
        ok = ImportZipInto(doc, path, page, prompter, journal, outcome, progress, cancelled);
        if (!ok) break;
    }
    FinishImport(journal, outcome, ok, cancelled, prompter);
    return outcome;
}

ImportOutcome ImportZipAsDocument(CZTDocument& doc, const std::vector<std::string>& archives, Prompter& prompter,
                                  ExchangeProgress* progress) {
    doc.New();
    if (!archives.empty()) {
        std::string title = FileNamePart(archives.front());
        const size_t dot = title.rfind('.');
        if (dot != std::string::npos && dot > 0) title.resize(dot);
        doc.Archive().Header().title = Utf8ToCp1252(title);
    }
    ImportOutcome outcome = ImportZipFiles(doc, archives, nullptr, prompter, progress);
    if (outcome.result == ExchangeResult::Ok) {
        outcome.first = doc.Tree().FirstRootPage();
        doc.SetModified();
    }
    return outcome;
}

} // namespace zt
