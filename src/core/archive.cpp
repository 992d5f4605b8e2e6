#include "archive.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/system.h"
#include "core/docstream.h"
#include "core/extbytes.h"
#include "core/olecf.h"
#include "core/revisions.h"
#include "core/serializer.h"
#include "core/ztexception.h"
#include "security/securebytes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>


using zt::Msg;

namespace {

std::string Utf8Path(const std::string& path) { return path; } // paths are kept as the system gives them

} // namespace

bool ReadDocumentBytes(const std::string& path, std::string& bytes, std::string* error) {
    if (!zt::ReadWholeFile(path, bytes, error)) return false;
    if (zt::IsCompoundFile(bytes)) {
        try {
            std::string contents;
            if (!zt::ReadCompoundStream(bytes, "Contents", contents, error)) return false;
            bytes = std::move(contents);
        } catch (const std::bad_alloc&) {
            bytes.clear();
            if (error) *error = zt::MessageText(Msg::OutOfMemory);
            return false;
        }
    }
    return true;
}

zt::CZtCredentials CredentialsFromUtf8(std::string_view name, std::string_view password) {
    auto bytes = [](std::string_view utf8) {
        bool lossless = true;
        std::string s = zt::Utf8ToCp1252(utf8, '?', &lossless);
        if (lossless) return s;
        zt::WipeString(s);
        return std::string(utf8);
    };
    return {bytes(name), bytes(password), nullptr};
}

CZTArchive::CZTArchive(zt::Prompter& prompter) : prompter_(prompter) {
    core_.keyRing.SetPrompter(&prompter_);
    NewDocument();
}

CZTArchive::~CZTArchive() = default;

void CZTArchive::Clear() {
    prompter_.Status(zt::MessageText(Msg::DeletingContents));
    core_.Clear();
    core_.path = zt::TempDirectory();
    core_.tempDirectory = true;
    prompter_.Status("");
}

void CZTArchive::NewDocument() {
    Clear();
    header_.Reset(core_.user);
    filePath_.clear();
    modified_ = false;
    changeTime_ = 0;
    neverSaved_ = true;
}

void CZTArchive::SetModified(bool modified) {
    modified_ = modified;
    if (modified) changeTime_ = zt::NowStamp();
}

void CZTArchive::ReportException(int code, const std::string& message) {
    (void)code;
    prompter_.Message(message, zt::Prompter::Icon::Error);
}

bool CZTArchive::ReadInto(std::string bytes, const std::string& path, CZTPageList& pages, bool opening,
                          bool historyOnly) {
    CZTDocStream stream = CZTDocStream::Loading(std::move(bytes), path);
    CZTDocSerializer serializer(stream);
    serializer.SetHistoryOnly(historyOnly);
    CZTDiscInfo header;
    const int32_t nodesBefore = core_.NodeCount();
    const size_t pagesBefore = pages.size();
    auto undo = [&] {
        core_.Truncate(nodesBefore);
        pages.resize(pagesBefore);
    };
    try {
        bool ok = serializer.Read(core_, pages, opening ? &header : nullptr, opening);
        // An encrypted file: ask for a name and a password until it opens or
        // the user cancels. The key ring tells about a wrong password itself.
        for (int attempt = 1; !ok && serializer.Halt() == CZTDocSerializer::ReadHalt::Credentials; ++attempt) {
            zt::Prompter::CredentialsQuestion question;
            question.document = zt::FileNamePart(path);
            question.attempt = attempt;
            question.certificates = true;
            std::string name, password;
            const bool answered = prompter_.AskCredentials(question, name, password);
            zt::CZtCredentials credentials = CredentialsFromUtf8(name, password);
            if (answered) credentials.keyObject = prompter_.ChosenKeyObject();
            zt::WipeString(name);
            zt::WipeString(password);
            if (!answered) break;
            ok = serializer.Read(core_, pages, opening ? &header : nullptr, opening, &credentials);
            zt::WipeString(credentials.name);
            zt::WipeString(credentials.password);
        }
        if (!ok) {
            undo();
            // A content tag mismatch was reported by the key ring already.
            if (serializer.Halt() != CZTDocSerializer::ReadHalt::DataCorrupt)
                ReportException(CZTDocCoreException::Encrypted, zt::MessageText(Msg::DocumentEncrypted));
            lastError = zt::MessageText(serializer.Halt() == CZTDocSerializer::ReadHalt::DataCorrupt
                                            ? Msg::DataMacBad
                                            : Msg::DocumentEncrypted);
            return false;
        }
    } catch (const CZTDocCoreException& e) {
        lastError = e.what();
        undo();
        // The table's text first, then the file and the reason in words; the
        // reader's own detail stays in lastError for the log.
        std::string text = e.UserMessage(true) + "\n" + Utf8Path(path);
        if (const std::string reason = e.Reason(); !reason.empty()) text += "\n" + reason;
        ReportException(e.Code(), text);
        return false;
    } catch (const std::bad_alloc&) {
        lastError = "out of memory";
        undo();
        ReportException(CZTDocCoreException::Damaged, zt::MessageText(Msg::OutOfMemory));
        return false;
    }
    if (serializer.HeaderForged()) prompter_.Message(zt::MessageText(Msg::HeaderForged), zt::Prompter::Icon::Warning);
    if (opening) {
        header_ = std::move(header);
        if (header_.marker.empty()) header_.marker = CZTDiscInfo::kMarker;
    }
    return true;
}

bool CZTArchive::Open(const std::string& path, CZTPageList& pages) {
    pages.clear();
    std::string bytes, error;
    const bool read = ReadDocumentBytes(path, bytes, &error);
    // What a killed save of this document left behind is removed now.
    if (read) zt::RemoveStaleTempFiles(path);
    if (!read) {
        // Nothing was read: the open document stays as it is.
        lastError = error;
        prompter_.Message(zt::FormatMessage(Msg::OpenFailed, {Utf8Path(path), error}), zt::Prompter::Icon::Error);
        return false;
    }
    // The file is read into a core of its own. The open document is kept
    // aside until the new one has been read whole and comes back unchanged
    // when the file turns out damaged, foreign or locked.
    CZTDocCore kept;
    kept.Swap(core_);
    const CZTDiscInfo keptHeader = header_;
    Clear();
    header_.Reset(core_.user);
    if (!ReadInto(std::move(bytes), path, pages, true)) {
        pages.clear();
        core_.Clear();
        core_.Swap(kept);
        header_ = keptHeader;
        return false;
    }
    kept.Clear(); // the old document's temporary copies go now
    filePath_ = path;
    modified_ = false;
    changeTime_ = 0;
    neverSaved_ = false;
    if (!core_.missingContent.empty()) {
        std::string list;
        for (const auto& m : core_.missingContent) list += "  " + m + "\n";
        if (!list.empty()) list.pop_back();
        prompter_.Message(zt::FormatMessage(Msg::ContentFilesMissing, {list}), zt::Prompter::Icon::Warning);
    }
    return true;
}

bool CZTArchive::OpenHistory(const std::string& path) {
    NewDocument();
    std::string bytes, error;
    if (!ReadDocumentBytes(path, bytes, &error)) {
        lastError = error;
        prompter_.Message(zt::FormatMessage(Msg::OpenFailed, {Utf8Path(path), error}), zt::Prompter::Icon::Error);
        return false;
    }
    CZTPageList none;
    if (!ReadInto(std::move(bytes), path, none, true, true)) {
        NewDocument();
        return false;
    }
    core_.Truncate(1);
    return true;
}

bool CZTArchive::OpenRevisionBody(std::string_view body, const std::string& title, CZTPageList& pages) {
    pages.clear();
    NewDocument();
    header_.title = title;
    try {
        zt::ReadRevisionBody(body, core_, pages);
        // The header sealed into an encrypted save is no page property.
        for (const auto& e : pages)
            if (CZTNode* n = core_.Node(e.ident)) n->ext = zt::SetExtItem(n->ext, zt::kExtSealedHeader, {});
    } catch (const CZTDocCoreException& e) {
        lastError = e.what();
        pages.clear();
        NewDocument();
        ReportException(e.Code(), e.UserMessage(true));
        return false;
    }
    return true;
}

bool CZTArchive::Insert(const std::string& path, CZTPageList& pages) {
    std::string bytes, error;
    if (!ReadDocumentBytes(path, bytes, &error)) {
        lastError = error;
        prompter_.Message(zt::FormatMessage(Msg::OpenFailed, {Utf8Path(path), error}), zt::Prompter::Icon::Error);
        return false;
    }
    return InsertBytes(std::move(bytes), pages, path);
}

bool CZTArchive::InsertBytes(std::string bytes, CZTPageList& pages, const std::string& sourcePath) {
    const size_t first = pages.size();
    if (!ReadInto(std::move(bytes), sourcePath, pages, false)) return false;
    const int32_t now = zt::PositiveStamp(zt::NowStamp());
    for (size_t i = first; i < pages.size(); ++i) {
        CZTNode* n = core_.Node(pages[i].ident);
        if (!n) continue;
        n->createdBy = core_.user;
        n->ctime = now;
        for (auto& f : n->files) {
            f.createdBy = core_.user;
            f.ctime = now;
        }
    }
    if (pages.size() > first) SetModified(true);
    return true;
}

bool CZTArchive::WriteFileAtomically(const std::string& path, const CZTPageList& pages,
                                     const CZTDiscInfo& header, bool asRevision, bool askOnProblems) {
    auto failed = [&](const std::string& why) {
        lastError = why;
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, why}), zt::Prompter::Icon::Error);
        return false;
    };
    // Leftovers of a killed save of this file go first. Through a symbolic
    // link the link's target is replaced and the link stays; a document is
    // never written into a device or FIFO.
    zt::RemoveStaleTempFiles(path);
    zt::CAtomicFileWriter file;
    if (!file.Open(path, zt::CAtomicFileWriter::Direct::Refuse)) return failed(file.Error());

    bool written = false;
    bool aborted = false;
    CZTDocStream stream = CZTDocStream::StoringFile(file.Fd(), file.Target());
    try {
        CZTDocSerializer serializer(stream);
        written = serializer.Write(core_, pages, &header, asRevision);
        aborted = serializer.Aborted();
        if (!written && !stream.Failed()) {
            lastError.clear();
            for (const auto& p : serializer.Problems()) lastError += p + "\n";
        }
    } catch (const CZTDocCoreException& e) {
        lastError = e.what();
        prompter_.Message(e.UserMessage(false), zt::Prompter::Icon::Error);
        return false;
    } catch (const std::bad_alloc&) {
        return failed(zt::MessageText(Msg::OutOfMemory));
    }
    if (!stream.Flush() || stream.Failed()) return failed(stream.Error());
    if (aborted) {
        // Nothing usable was written (the encryption could not be set up).
        return failed(zt::Cp1252ToUtf8(lastError));
    }
    if (!written) {
        std::string text = zt::MessageText(Msg::ErrorReadingData);
        if (!lastError.empty()) text += "\n" + zt::Cp1252ToUtf8(lastError);
        prompter_.Message(text, zt::Prompter::Icon::Error);
        if (!askOnProblems || !prompter_.AskYesNo(zt::MessageText(Msg::ErrorsCollectingSaveAnyway))) return false;
    }
    if (!file.Commit()) return failed(file.Error());
    return true;
}

namespace {

// Pages whose content is kept elsewhere are fetched before anything walks
// them; a source that failed has told why, content without a source is
// told here.
bool FetchContent(CZTDocCore& core, zt::Prompter& prompter, const CZTPageList& pages, std::string& lastError) {
    if (core.EnsureContentOf(pages)) return true;
    lastError = "content not available";
    if (!core.ContentSource()) prompter.Message(zt::MessageText(zt::Msg::ErrorReadingData));
    return false;
}

} // namespace

bool CZTArchive::Save(const std::string& path, const CZTPageList& pages) {
    // Pages kept elsewhere are fetched first; without them nothing is written.
    if (!FetchContent(core_, prompter_, pages, lastError)) return false;
    const CZTDiscInfo before = header_;
    const int32_t changeBefore = changeTime_;
    // The header records who changed the document last and when.
    if (changeTime_ != 0 || modified_) {
        header_.modifiedBy = core_.user;
        header_.mtime = zt::PositiveStamp(changeTime_ ? changeTime_ : zt::NowStamp());
        changeTime_ = 0;
    }
    const bool firstSave = neverSaved_ || filePath_.empty();
    if (firstSave) {
        header_.createdBy = core_.user;
        header_.ctime = zt::PositiveStamp(zt::NowStamp());
        std::string title = zt::FileNamePart(path);
        size_t dot = title.rfind('.');
        if (dot != std::string::npos) title.resize(dot);
        header_.title = zt::Utf8ToCp1252(title);
    }
    // Scheduled deletions belong to the document's own file.
    const bool ownFile = !filePath_.empty() && filePath_ == path;
    if ((ownFile && core_.keyRing.CurrentBlockDirect() && !KeepBackup(path)) ||
        !WriteFileAtomically(path, pages, header_, true, true)) {
        header_ = before;
        changeTime_ = changeBefore;
        return false;
    }
    if (ownFile) core_.DeleteScheduledFiles();
    filePath_ = path;
    neverSaved_ = false;
    modified_ = false;
    return true;
}

// The file of an older encrypted document is kept before it is saved over:
// the older program reads it, while the saved file may be beyond it.
bool CZTArchive::KeepBackup(const std::string& path) {
    std::string bytes, error;
    if (::access(path.c_str(), F_OK) != 0) return true;
    auto fail = [&](const std::string& why) {
        lastError = why;
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, why}), zt::Prompter::Icon::Error);
        return false;
    };
    if (!zt::ReadWholeFile(path, bytes, &error)) return fail(error);
    const std::string& data = bytes;
    const std::string backup = zt::MakeUniquePath(path + ".bak");
    int fd = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return fail(zt::SystemErrorText(errno));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = zt::SystemErrorText(errno);
            ::close(fd);
            ::unlink(backup.c_str());
            return fail(error);
        }
        done += size_t(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = zt::SystemErrorText(errno);
        ::unlink(backup.c_str());
        return fail(error);
    }
    return true;
}

namespace {

// Sets the core's flags for writing a copy and puts them back afterwards.
// Copies are written unencrypted, except the single-file copy of Save As; a
// copy of an encrypted directory-form document carries its contents inline,
// so that nothing of it lands on disk in clear beside the document.
class CopyFlags {
public:
    CopyFlags(CZTDocCore& core, const CZTArchive::CopyOptions& options)
        : core_(core), dirForm_(core.directoryForm), keep_(core.keepExternal), mark_(core.markExternal),
          off_(core.encryptionOff) {
        const bool encrypted = core.keyRing.State() != zt::CZtKeyRing::kUnencrypted;
        if (options.kind == CZTArchive::CopyKind::External || (encrypted && core.directoryForm)) {
            core.directoryForm = false;
            core.keepExternal = true;
        } else {
            core.markExternal = true;
        }
        if (!options.keepEncryption) {
            core.encryptionOff = true;
            // The next encrypted save stores the key area again.
            std::string_view area;
            if (zt::FindExtItem(core.docExt, zt::kExtKeyArea, area)) core.SetExtItem(-1, zt::kExtKeyArea, {});
        }
    }
    ~CopyFlags() {
        core_.directoryForm = dirForm_;
        core_.keepExternal = keep_;
        core_.markExternal = mark_;
        core_.encryptionOff = off_;
    }

private:
    CZTDocCore& core_;
    bool dirForm_, keep_, mark_, off_;
};

} // namespace

CZTDiscInfo CZTArchive::CopyHeader(const CopyOptions& options) const {
    CZTDiscInfo header = header_;
    if (options.keepHeader) return header;
    header.createdBy = core_.user;
    header.ctime = zt::PositiveStamp(zt::NowStamp());
    header.title = options.wholeDocument ? std::string(zt::MessageText(Msg::CopyOf)) + header_.title
                                         : options.subtreeTitle;
    return header;
}

bool CZTArchive::WriteCopy(const CZTPageList& pages, const CopyOptions& options, std::string& bytes) {
    // Pages kept elsewhere are fetched first; without them nothing is written.
    if (!FetchContent(core_, prompter_, pages, lastError)) return false;
    const CZTDiscInfo header = CopyHeader(options);
    CopyFlags flags(core_, options);
    if (options.kind == CopyKind::External) core_.PackContents(pages);
    CZTDocStream stream = CZTDocStream::StoringMemory();
    bool ok = false;
    try {
        CZTDocSerializer serializer(stream);
        ok = serializer.Write(core_, pages, &header, false);
        if (!ok) {
            lastError.clear();
            for (const auto& p : serializer.Problems()) lastError += p + "\n";
        }
    } catch (const CZTDocCoreException& e) {
        lastError = e.what();
        prompter_.Message(e.UserMessage(false), zt::Prompter::Icon::Error);
    }
    if (!ok) return false;
    bytes = stream.TakeData();
    return true;
}

bool CZTArchive::SaveCopy(const std::string& path, const CZTPageList& pages, const CopyOptions& options) {
    // Pages kept elsewhere are fetched first; without them nothing is written.
    if (!FetchContent(core_, prompter_, pages, lastError)) return false;
    const CZTDiscInfo header = CopyHeader(options);
    CopyFlags flags(core_, options);
    if (options.kind == CopyKind::External) core_.PackContents(pages);
    return WriteFileAtomically(path, pages, header, false, false);
}
