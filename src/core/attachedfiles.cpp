#include "core/attachedfiles.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/document.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zt {

namespace {

std::string U(std::string_view cp1252) { return Cp1252ToUtf8(cp1252); }

void Tell(Prompter& prompter, Msg id, const std::string& arg) {
    prompter.Message(FormatMessage(id, {arg}), Prompter::Icon::Error);
}

// Reads a regular file of at most `maxSize` bytes; false with `error` set.
bool ReadRegularFile(const std::string& path, int64_t maxSize, std::string& bytes, std::string& error) {
    return ReadWholeFile(path, bytes, &error, maxSize < 0 ? 0 : uint64_t(maxSize));
}

struct Importer {
    CZTDocument& doc;
    ConflictResolver& conflicts;
    Prompter& prompter;
    const ImportOptions& options;
    ImportResult result;
    std::string root; // canonical directory being walked (files may link into it)

    void Status(const std::string& path) {
        prompter.Status(path.size() > 150 ? MessageText(Msg::ImportingFiles) : path);
    }

    bool File(CZTPageNode* page, const std::string& path, std::string name) {
        if (result.cancelled) return false;
        bool overwrite = false;
        auto exists = [&](const std::string& n) { return doc.Archive().GetFile(page->Ident(), n).valid; };
        auto unique = [&](const std::string& n) { return MakeUniqueFileName(doc, page->Ident(), n); };
        switch (conflicts.Resolve(name, path, exists, unique, overwrite)) {
        case ConflictResolver::Outcome::Skip: return false;
        case ConflictResolver::Outcome::Cancel: result.cancelled = true; return false;
        case ConflictResolver::Outcome::Store: break;
        }
        Status(path);
        std::string bytes, error;
        if (!ReadRegularFile(path, options.maxFileSize, bytes, error) ||
            !StoreFile(doc, page, name, bytes, NowStamp())) {
            Tell(prompter, Msg::FileLoadError, path);
            return false;
        }
        ++result.imported;
        return true;
    }

    void Directory(CZTPageNode* anchor, CZTPageTree::Placement placement, const std::string& path, int depth) {
        if (result.cancelled) return;
        if (path.size() > options.maxPathLength || depth > options.maxDepth) return;
        Status(path);
        std::string title = Utf8ToCp1252(FileNamePart(path));
        CZTPageNode* page = doc.InsertPage(anchor, placement, title);
        if (!page) {
            Tell(prompter, Msg::FileLoadError, path);
            return;
        }
        ++result.pages;
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
        if (ec) {
            Tell(prompter, Msg::FileLoadError, path);
            return;
        }
        // Byte order of the names; directory pages are each put first, so
        // they are made in reverse to end up in order.
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
        std::vector<std::string> dirs;
        for (const auto& e : entries) {
            if (result.cancelled) return;
            const std::string p = e.path().string();
            if (p.size() > options.maxPathLength) continue;
            std::error_code sec;
            fs::file_status st = e.symlink_status(sec);
            if (sec) continue;
            if (fs::is_directory(st)) {
                dirs.push_back(p);
            } else if (fs::is_regular_file(st)) {
                File(page, p, Utf8ToCp1252(FileNamePart(p)));
            } else if (fs::is_symlink(st)) {
                // A link is followed only to a regular file inside the tree.
                fs::path target = fs::canonical(e.path(), sec);
                if (sec || !fs::is_regular_file(target, sec)) continue;
                const std::string t = target.string();
                if (t.compare(0, root.size(), root) != 0 || t.size() <= root.size() || t[root.size()] != '/') continue;
                File(page, p, Utf8ToCp1252(FileNamePart(p)));
            }
        }
        for (auto it = dirs.rbegin(); it != dirs.rend(); ++it)
            Directory(page, CZTPageTree::Placement::AsChild, *it, depth + 1);
    }
};

} // namespace

// ---- binary test

FileKind LooksBinary(std::string_view head) {
    head = head.substr(0, 60);
    for (char ch : head) {
        unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) || c == 0x7F) return FileKind::Binary;
    }
    return head.substr(0, 6) == "{\\rtf1" ? FileKind::Rtf : FileKind::Text;
}

FileKind LooksBinaryFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FileKind::Binary;
    struct stat st;
    char buf[60];
    ssize_t n = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        size_t got = 0;
        while (got < sizeof buf) {
            ssize_t r = ::read(fd, buf + got, sizeof buf - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                if (r < 0) got = size_t(-1);
                break;
            }
            got += size_t(r);
        }
        n = got == size_t(-1) ? -1 : ssize_t(got);
    }
    ::close(fd);
    return n < 0 ? FileKind::Binary : LooksBinary(std::string_view(buf, size_t(n)));
}

// ---- names

std::string SafeDiskName(std::string_view name) {
    std::string s = DiskNameRule(name);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '-';
    if (s == "." || s == "..") s += "!";
    s = Cp1252ToUtf8(s);
    constexpr size_t kMax = 200;
    if (s.size() > kMax) {
        size_t dot = s.rfind('.');
        std::string ext = dot != std::string::npos && s.size() - dot <= 20 ? s.substr(dot) : std::string();
        size_t keep = kMax - ext.size();
        while (keep > 0 && (static_cast<unsigned char>(s[keep]) & 0xC0) == 0x80) --keep; // whole characters
        s = s.substr(0, keep) + ext;
    }
    return s;
}

std::string MakeUniqueFileName(CZTDocument& doc, int32_t ident, std::string_view name) {
    return MakeUniqueName(name, [&](const std::string& n) { return doc.Archive().GetFile(ident, n).valid; });
}

// ---- conflicts

ConflictResolver::Outcome ConflictResolver::Resolve(std::string& name, const std::string& source,
                                                    const std::function<bool(const std::string&)>& exists,
                                                    const std::function<std::string(const std::string&)>& unique,
                                                    bool& overwrite) {
    overwrite = false;
    if (cancelled_) return Outcome::Cancel;
    for (;;) {
        if (!name.empty() && !exists(name)) return Outcome::Store;
        ConflictAnswer answer = ConflictAnswer::Unique;
        if (mode_ == Mode::OverwriteAll && !name.empty()) answer = ConflictAnswer::Overwrite;
        else if (mode_ == Mode::UniqueAll && !name.empty()) answer = ConflictAnswer::Unique;
        else if (asker_) answer = asker_->Ask(name, source);
        else if (name.empty()) return Outcome::Skip;
        switch (answer) {
        case ConflictAnswer::OverwriteAll: mode_ = Mode::OverwriteAll; [[fallthrough]];
        case ConflictAnswer::Overwrite:
            if (name.empty()) continue; // an emptied name is asked for again
            overwrite = true;
            return Outcome::Store;
        case ConflictAnswer::UniqueAll: mode_ = Mode::UniqueAll; [[fallthrough]];
        case ConflictAnswer::Unique:
            if (name.empty()) continue;
            name = unique(name);
            return Outcome::Store;
        case ConflictAnswer::Retry: continue;
        case ConflictAnswer::Skip: return Outcome::Skip;
        case ConflictAnswer::Cancel: cancelled_ = true; return Outcome::Cancel;
        }
    }
}

// ---- storing and importing

bool StoreFile(CZTDocument& doc, CZTPageNode* page, const std::string& name, std::string_view bytes, int32_t time) {
    if (!page || name.empty() || bytes.size() > size_t(INT32_MAX)) return false;
    const std::string& user = doc.Archive().User();
    CZTFileRecord r = CZTFileRecord::New(name, user);
    if (!r.SetContent(bytes, user)) return false;
    r.mtime = PositiveStamp(time);
    r.ctime = r.mtime;
    CZTFileRecord old = doc.Archive().GetFile(page->Ident(), name);
    if (old.valid) { // a replaced file keeps who made it and when
        r.createdBy = old.createdBy;
        r.ctime = old.ctime;
    }
    return doc.AttachFile(page, r) != 0;
}

ImportResult ImportFiles(CZTDocument& doc, CZTPageNode* page, const std::vector<std::string>& paths,
                         ConflictResolver& conflicts, Prompter& prompter, const ImportOptions& options) {
    Importer im{doc, conflicts, prompter, options, {}, {}};
    if (!page) return im.result;
    for (const std::string& path : paths) {
        if (im.result.cancelled) break;
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            if (path.size() > options.maxPathLength) { // its entries would be longer still
                Tell(prompter, Msg::FileLoadError, path);
                continue;
            }
            fs::path canon = fs::canonical(path, ec);
            im.root = ec ? path : canon.string();
            std::string p = path;
            while (p.size() > 1 && p.back() == '/') p.pop_back();
            im.Directory(page, options.placement, p, 0);
        } else {
            im.File(page, path, Utf8ToCp1252(FileNamePart(path)));
        }
    }
    prompter.Status({});
    im.result.cancelled = im.result.cancelled || conflicts.Cancelled();
    return im.result;
}

bool ImportFile(CZTDocument& doc, CZTPageNode* page, const std::string& path, std::string name,
                ConflictResolver& conflicts, Prompter& prompter, const ImportOptions& options) {
    if (!page) return false;
    Importer im{doc, conflicts, prompter, options, {}, {}};
    bool ok = im.File(page, path, std::move(name));
    prompter.Status({});
    return ok;
}

// ---- exporting

bool FileContent(CZTDocument& doc, int32_t ident, const std::string& name, std::string& bytes, Prompter& prompter) {
    CZTFileRecord r = doc.Archive().GetFile(ident, name);
    if (!r.valid) {
        Tell(prompter, Msg::AttachedFileNotFound, U(name));
        return false;
    }
    const std::string* text = r.GetText();
    if (!text) {
        if (r.uncompressedLength == 0 && !r.HasContentSource()) {
            bytes.clear();
            return true;
        }
        prompter.Message(MessageText(Msg::FileDamaged), Prompter::Icon::Error);
        return false;
    }
    bytes = *text;
    return true;
}

bool ExportFile(CZTDocument& doc, int32_t ident, const std::string& name, const std::string& path,
                Prompter& prompter) {
    std::string bytes, error;
    if (!FileContent(doc, ident, name, bytes, prompter)) return false;
    if (!WriteFileReplacing(path, bytes, &error)) {
        prompter.Message(FormatMessage(Msg::FileWriteFailed, {path + "\n" + error}), Prompter::Icon::Error);
        return false;
    }
    return true;
}

int ExportFiles(CZTDocument& doc, int32_t ident, const std::vector<std::string>& names, const std::string& folder,
                ConflictResolver& conflicts, Prompter& prompter) {
    int written = 0;
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    auto exists = [&](const std::string& n) {
        struct stat st;
        return ::lstat(JoinPath(base, "/" + SafeDiskName(n)).c_str(), &st) == 0;
    };
    auto unique = [&](const std::string& n) {
        return MakeUniqueName(n, [&](const std::string& c) { return exists(c); });
    };
    for (const std::string& name : names) {
        std::string target = name;
        bool overwrite = false;
        auto outcome = conflicts.Resolve(target, name, exists, unique, overwrite);
        if (outcome == ConflictResolver::Outcome::Cancel) break;
        if (outcome == ConflictResolver::Outcome::Skip) continue;
        const std::string path = JoinPath(base, "/" + SafeDiskName(target));
        prompter.Status(path.size() > 150 ? MessageText(Msg::ExportingFiles) : path);
        if (ExportFile(doc, ident, name, path, prompter)) ++written;
    }
    prompter.Status({});
    return written;
}

// ---- temporary copies

CZTTempFiles::~CZTTempFiles() { Clear(); }

std::string& CZTTempFiles::DirectoryFor(bool privateContent) {
    std::string& dir = privateContent ? privateDir_ : plainDir_;
    struct stat st;
    if (!dir.empty() && ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    std::string parent = TempDirectory();
    if (privateContent) {
        const char* run = std::getenv("XDG_RUNTIME_DIR");
        if (run && *run && ::stat(run, &st) == 0 && S_ISDIR(st.st_mode)) parent = run;
    }
    std::string tmpl = parent + "/zettrix-files-XXXXXX";
    dir = ::mkdtemp(tmpl.data()) ? tmpl : std::string(); // mode 0700
    return dir;
}

std::string CZTTempFiles::NewPath(const std::string& diskName, bool privateContent) {
    const std::string& dir = DirectoryFor(privateContent);
    if (dir.empty()) return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = MakeUniquePath(dir + "/" + diskName);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            paths_.push_back(path);
            return path;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

void CZTTempFiles::Forget(const std::string& path) {
    paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
}

void CZTTempFiles::Remove(const std::string& path) {
    if (!Contains(path)) return;
    ::chmod(path.c_str(), 0600);
    ::unlink(path.c_str());
    Forget(path);
}

bool CZTTempFiles::Contains(const std::string& path) const {
    return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

void CZTTempFiles::Clear() {
    for (const std::string& p : paths_) {
        ::chmod(p.c_str(), 0600);
        ::unlink(p.c_str());
    }
    paths_.clear();
    for (std::string* dir : {&plainDir_, &privateDir_}) {
        if (dir->empty()) continue;
        std::error_code ec;
        fs::remove_all(*dir, ec); // our own directory: whatever else landed in it goes too
        dir->clear();
    }
}

std::string WriteTempCopy(CZTDocument& doc, int32_t ident, const std::string& name, CZTTempFiles& temps,
                          Prompter& prompter) {
    std::string bytes;
    if (!FileContent(doc, ident, name, bytes, prompter)) return {};
    std::string path = temps.NewPath(SafeDiskName(name), doc.Archive().IsEncrypted());
    std::string error = SystemErrorText(EIO);
    bool ok = !path.empty();
    if (ok) {
        int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
        ok = fd >= 0;
        size_t done = 0;
        while (ok && done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = SystemErrorText(errno);
                ok = false;
            } else {
                done += size_t(n);
            }
        }
        if (fd >= 0 && ::close(fd) != 0) ok = false;
    }
    if (!ok) {
        if (!path.empty()) temps.Remove(path);
        prompter.Message(FormatMessage(Msg::FileWriteFailed, {path + "\n" + error}), Prompter::Icon::Error);
        return {};
    }
    return path;
}

bool ReadBackFile(CZTDocument& doc, CZTPageNode* page, const std::string& name, const std::string& path,
                  Prompter& prompter) {
    std::string bytes, error;
    if (!page || !ReadRegularFile(path, ImportOptions{}.maxFileSize, bytes, error) ||
        !StoreFile(doc, page, name, bytes, NowStamp())) {
        Tell(prompter, Msg::FileLoadError, path);
        return false;
    }
    return true;
}

} // namespace zt
