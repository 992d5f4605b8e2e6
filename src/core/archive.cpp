#include "archive.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/system.h"
#include "core/docstream.h"
#include "core/olecf.h"
#include "core/serializer.h"
#include "core/ztexception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>


using zt::Msg;

namespace {

std::string Utf8Path(const std::string& path) { return path; } // paths are kept as the system gives them

// RAII for the temporary file of an atomic write.
struct TempFile {
    std::string path;
    int fd = -1;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!path.empty()) ::unlink(path.c_str());
    }
};

bool SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool ReadDocumentBytes(const std::string& path, std::string& bytes, std::string* error) {
    CZTDocStream stream;
    if (!CZTDocStream::LoadFile(path, stream, error)) return false;
    bytes = stream.TakeData();
    if (zt::IsCompoundFile(bytes)) {
        std::string contents;
        if (!zt::ReadCompoundStream(bytes, "Contents", contents, error)) return false;
        bytes = std::move(contents);
    }
    return true;
}

CZTArchive::CZTArchive(zt::Prompter& prompter) : prompter_(prompter) { NewDocument(); }

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

bool CZTArchive::ReadInto(std::string bytes, const std::string& path, CZTPageList& pages, bool opening) {
    CZTDocStream stream = CZTDocStream::Loading(std::move(bytes), path);
    CZTDocSerializer serializer(stream);
    CZTDiscInfo header;
    const int32_t nodesBefore = core_.NodeCount();
    const size_t pagesBefore = pages.size();
    try {
        if (!serializer.Read(core_, pages, opening ? &header : nullptr, opening)) {
            core_.Truncate(nodesBefore);
            pages.resize(pagesBefore);
            ReportException(CZTDocCoreException::Encrypted, zt::MessageText(Msg::DocumentEncrypted));
            return false;
        }
    } catch (const CZTDocCoreException& e) {
        lastError = e.what();
        core_.Truncate(nodesBefore);
        pages.resize(pagesBefore);
        ReportException(e.Code(), e.UserMessage(true));
        return false;
    } catch (const std::bad_alloc&) {
        lastError = "out of memory";
        core_.Truncate(nodesBefore);
        pages.resize(pagesBefore);
        ReportException(CZTDocCoreException::Damaged,
                        zt::FormatMessage(Msg::DamagedRecord, {"Nicht genügend Arbeitsspeicher."}));
        return false;
    }
    if (opening) {
        header_ = std::move(header);
        if (header_.marker.empty()) header_.marker = CZTDiscInfo::kMarker;
    }
    return true;
}

bool CZTArchive::Open(const std::string& path, CZTPageList& pages) {
    pages.clear();
    Clear();
    std::string bytes, error;
    bool ok = ReadDocumentBytes(path, bytes, &error);
    if (!ok) {
        lastError = error;
        prompter_.Message(zt::FormatMessage(Msg::OpenFailed, {Utf8Path(path), error}), zt::Prompter::Icon::Error);
    } else {
        header_.Reset(core_.user);
        ok = ReadInto(std::move(bytes), path, pages, true);
    }
    if (!ok) {
        // A failed open leaves a new, untitled and unmodified document, never
        // one that invites a save over the file that failed to open.
        pages.clear();
        NewDocument();
        return false;
    }
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
    std::string dir = zt::DirectoryPart(path);
    std::string name = zt::FileNamePart(path);
    TempFile tmp;
    tmp.path = (dir.empty() ? std::string("./") : dir) + "." + name + ".XXXXXX";
    tmp.fd = ::mkstemp(tmp.path.data());
    if (tmp.fd < 0) {
        lastError = std::strerror(errno);
        tmp.path.clear();
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, lastError}), zt::Prompter::Icon::Error);
        return false;
    }
    // Keep the permissions of the file being replaced; new files get the usual ones.
    struct stat st;
    mode_t mode = 0644;
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(tmp.fd, mode);

    bool written = false;
    CZTDocStream stream = CZTDocStream::StoringFile(tmp.fd, path);
    try {
        CZTDocSerializer serializer(stream);
        written = serializer.Write(core_, pages, &header, asRevision);
        if (!written && !stream.Failed()) {
            lastError.clear();
            for (const auto& p : serializer.Problems()) lastError += p + "\n";
        }
    } catch (const CZTDocCoreException& e) {
        lastError = e.what();
        prompter_.Message(e.UserMessage(false), zt::Prompter::Icon::Error);
        return false;
    } catch (const std::bad_alloc&) {
        lastError = "out of memory";
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, "Nicht genügend Arbeitsspeicher."}));
        return false;
    }
    if (!stream.Flush() || stream.Failed()) {
        lastError = stream.Error();
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, lastError}), zt::Prompter::Icon::Error);
        return false;
    }
    if (!written) {
        prompter_.Message(zt::MessageText(Msg::ErrorReadingData), zt::Prompter::Icon::Error);
        if (!askOnProblems || !prompter_.AskYesNo(zt::MessageText(Msg::ErrorsCollectingSaveAnyway))) return false;
    }
    if (::fsync(tmp.fd) != 0 || ::close(tmp.fd) != 0) {
        tmp.fd = -1;
        lastError = std::strerror(errno);
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, lastError}), zt::Prompter::Icon::Error);
        return false;
    }
    tmp.fd = -1;
    if (::rename(tmp.path.c_str(), path.c_str()) != 0) {
        lastError = std::strerror(errno);
        prompter_.Message(zt::FormatMessage(Msg::SaveFailed, {path, lastError}), zt::Prompter::Icon::Error);
        return false;
    }
    tmp.path.clear();
    SyncDirectory(dir);
    return true;
}

bool CZTArchive::Save(const std::string& path, const CZTPageList& pages) {
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
    if (!WriteFileAtomically(path, pages, header_, true, true)) {
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

namespace {

// Sets the core's flags for writing a copy and puts them back afterwards.
class CopyFlags {
public:
    CopyFlags(CZTDocCore& core, CZTArchive::CopyKind kind)
        : core_(core), dirForm_(core.directoryForm), keep_(core.keepExternal), mark_(core.markExternal) {
        if (kind == CZTArchive::CopyKind::External) {
            core.directoryForm = false;
            core.keepExternal = true;
        } else {
            core.markExternal = true;
        }
    }
    ~CopyFlags() {
        core_.directoryForm = dirForm_;
        core_.keepExternal = keep_;
        core_.markExternal = mark_;
    }

private:
    CZTDocCore& core_;
    bool dirForm_, keep_, mark_;
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
    const CZTDiscInfo header = CopyHeader(options);
    CopyFlags flags(core_, options.kind);
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
    const CZTDiscInfo header = CopyHeader(options);
    CopyFlags flags(core_, options.kind);
    if (options.kind == CopyKind::External) core_.PackContents(pages);
    return WriteFileAtomically(path, pages, header, false, false);
}
