#include "docmodel.h"

#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/system.h"
#include "core/compress.h"
#include "core/extbytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void RemoveFile(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

} // namespace

// ---------------------------------------------------------------- file data

std::string CZTFileData::ExternalFile() const { return zt::JoinPath(base, extPath); }
std::string CZTFileData::TempFile() const { return zt::JoinPath(base, tempPath); }

void CZTFileData::ClearContent() {
    contentKeys.reset();
    data.clear();
    inMemory = false;
    base.clear();
    extPath.clear();
    tempPath.clear();
    inExternal = inTemp = filesOnDisk = missing = false;
}

namespace {

bool IsItemTag(std::string_view bytes) {
    return bytes.size() >= 4 && (bytes.compare(0, 4, "ZT07") == 0 || bytes.compare(0, 4, "ZT08") == 0);
}

// The zero padding of the last cipher block follows the compressed buffer; the
// record's stored length tells where it ends, else the end of the deflate stream.
void DropPadding(std::string& buffer, int64_t storedLength) {
    size_t keep = buffer.size();
    if (storedLength >= 0 && uint64_t(storedLength) <= buffer.size() && buffer.size() - size_t(storedLength) < 16)
        keep = size_t(storedLength);
    else
        keep = zt::CompressedBufferLength(buffer);
    if (keep >= buffer.size()) return;
    for (size_t i = keep; i < buffer.size(); ++i)
        if (buffer[i] != 0) return;
    buffer.resize(keep);
}

} // namespace

bool ReadExternalContent(const std::string& path, std::string& buffer, std::string* error,
                         const zt::CZtKeyRing* keys, int64_t storedLength) {
    std::string bytes;
    if (!zt::ReadWholeFile(path, bytes, error)) return false;
    buffer.clear();
    if (keys && keys->State() == zt::CZtKeyRing::kUnlocked) {
        // The files of an encrypted document are items of its key ring and
        // nothing else: a plain file put in their place is not taken.
        if (!IsItemTag(bytes)) {
            if (error) *error = "content file is not encrypted";
            return false;
        }
        bool mismatch = false;
        auto plain = keys->ReadItem(std::string_view(bytes).substr(0, 4), std::string_view(bytes).substr(4), &mismatch);
        if (!plain) {
            if (error) *error = mismatch ? zt::MessageText(zt::Msg::DataMacBad) : "damaged encrypted content";
            return false;
        }
        buffer.assign(plain->view());
        DropPadding(buffer, storedLength);
        return true;
    }
    if (bytes.empty()) return true;
    if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0x1F && uint8_t(bytes[1]) == 0x8B) {
        if (!zt::GzipToBuffer(bytes, buffer)) {
            if (error) *error = "damaged gzip data";
            return false;
        }
        return true;
    }
    if (IsItemTag(bytes)) {
        if (error) *error = "encrypted content without a key";
        return false;
    }
    buffer = zt::CompressBuffer(bytes);
    return !buffer.empty();
}

bool WriteExternalContent(const std::string& path, std::string_view buffer, std::string* error,
                          const zt::CZtKeyRing* keys) {
    if (keys && keys->State() == zt::CZtKeyRing::kUnlocked) {
        if (!buffer.empty() && buffer.size() < 8) {
            if (error) *error = "content is not a compressed buffer";
            return false;
        }
        auto item = keys->WriteItem("ZT08", buffer);
        if (!item) {
            if (error) *error = "encryption failed";
            return false;
        }
        return zt::WriteFileReplacing(path, *item, error);
    }
    std::string gz;
    if (!zt::BufferToGzip(buffer, gz)) {
        if (error) *error = "content is not a compressed buffer";
        return false;
    }
    return zt::WriteFileReplacing(path, gz, error);
}

// ---------------------------------------------------------------- header

void CZTDiscInfo::Reset(const std::string& user) {
    marker = kMarker;
    ctime = mtime = zt::NowStamp();
    createdBy = modifiedBy = user;
    title.clear();
    serverString.clear();
}

// ---------------------------------------------------------------- page record

CZTPageRecord CZTPageRecord::New(const std::string& user) {
    CZTPageRecord r;
    r.valid = true;
    r.ctime = r.mtime = zt::NowStamp();
    r.createdBy = r.modifiedBy = user;
    return r;
}

CZTPageRecord::CZTPageRecord(const CZTPageRecord& o) : CZTPageData(o), valid(o.valid) {}

CZTPageRecord& CZTPageRecord::operator=(const CZTPageRecord& o) {
    if (this != &o) {
        CZTPageRecord copy(o);
        *this = std::move(copy);
    }
    return *this;
}

const std::string* CZTPageRecord::GetText() const {
    if (textCache_) return textCache_.get();
    if (method != 1 || content.empty()) return nullptr;
    if (content.IsShared()) {
        // Checked against its revision's SHA-1 when the document was opened.
        textCache_ = std::make_unique<std::string>(content.SharedText());
        return textCache_.get();
    }
    auto text = std::make_unique<std::string>();
    if (!zt::DecompressBuffer(content, *text)) {
        damaged_ = true;
        return nullptr;
    }
    textCache_ = std::move(text);
    return textCache_.get();
}

void CZTPageRecord::Touch(const std::string& user) {
    mtime = zt::NowStamp();
    modifiedBy = user;
    textCache_.reset();
    damaged_ = false;
    content.clear();
    storedLength = uncompressedLength = 0;
    crc = 0;
    method = 0;
}

bool CZTPageRecord::SetText(std::string_view text, const std::string& user) {
    Touch(user);
    if (text.empty()) return true;
    std::string buffer = zt::CompressBuffer(text);
    if (buffer.empty()) return false;
    content = std::move(buffer);
    storedLength = int32_t(content.size());
    uncompressedLength = int32_t(text.size());
    crc = zt::Crc32(text);
    method = 1;
    textCache_ = std::make_unique<std::string>(text);
    return true;
}

bool CZTPageRecord::SetCompressedText(std::string buffer, const std::string& user) {
    Touch(user);
    uint32_t len = 0, c = 0;
    if (!zt::BufferPrefix(buffer, len, c)) return buffer.empty();
    content = std::move(buffer);
    storedLength = int32_t(content.size());
    uncompressedLength = int32_t(len);
    crc = c;
    method = 1;
    return true;
}

void CZTPageRecord::SetExtItem(uint32_t kind, std::string_view data) { ext = zt::SetExtItem(ext, kind, data); }

// ---------------------------------------------------------------- file record

CZTFileRecord CZTFileRecord::New(std::string_view name, const std::string& user) {
    CZTFileRecord r;
    r.valid = true;
    r.name = std::string(name);
    r.ctime = r.mtime = zt::NowStamp();
    r.createdBy = r.modifiedBy = user;
    return r;
}

CZTFileRecord::CZTFileRecord(const CZTFileRecord& o)
    : CZTFileData(o), valid(o.valid), longName(o.longName), sourcePath(o.sourcePath), ownsTempFile(false) {}

CZTFileRecord& CZTFileRecord::operator=(const CZTFileRecord& o) {
    if (this != &o) {
        CZTFileRecord copy(o);
        *this = std::move(copy);
    }
    return *this;
}

bool CZTFileRecord::LoadCompressed(std::string& buffer, bool& raw, std::string* error) const {
    raw = false;
    if (inMemory) {
        buffer = data;
        raw = MethodLow() == 0 && !data.empty();
        return true;
    }
    if (!sourcePath.empty()) {
        std::string bytes;
        if (!zt::ReadWholeFile(sourcePath, bytes, error)) return false;
        buffer = zt::CompressBuffer(bytes);
        return bytes.empty() || !buffer.empty();
    }
    if (inExternal && !missing && ReadExternalContent(ExternalFile(), buffer, error, contentKeys.get(), storedLength))
        return true;
    if (inTemp && ReadExternalContent(TempFile(), buffer, error, contentKeys.get(), storedLength)) return true;
    if (!HasContentSource()) {
        buffer.clear();
        return true; // a file without content
    }
    if (error && error->empty()) *error = "content file missing";
    return false;
}

const std::string* CZTFileRecord::GetText(std::string* error) const {
    if (textCache_) return textCache_.get();
    if (inMemory && data.IsShared() && MethodLow() == 1) {
        // Checked against its revision's SHA-1 when the document was opened.
        textCache_ = std::make_unique<std::string>(data.SharedText());
        return textCache_.get();
    }
    std::string buffer;
    bool raw = false;
    if (!LoadCompressed(buffer, raw, error)) return nullptr;
    auto text = std::make_unique<std::string>();
    if (raw) {
        *text = std::move(buffer);
    } else if (!buffer.empty() && !zt::DecompressBuffer(buffer, *text, error)) {
        return nullptr;
    }
    textCache_ = std::move(text);
    return textCache_.get();
}

bool CZTFileRecord::SetContent(std::string_view bytes, const std::string& user) {
    std::string buffer = zt::CompressBuffer(bytes);
    if (!bytes.empty() && buffer.empty()) return false;
    ClearContent();
    sourcePath.clear();
    ownsTempFile = false;
    data = std::move(buffer);
    inMemory = true;
    method = data.empty() ? 0 : 1;
    storedLength = int32_t(data.size());
    uncompressedLength = int32_t(bytes.size());
    crc = bytes.empty() ? 0 : zt::Crc32(bytes);
    mtime = zt::NowStamp();
    modifiedBy = user;
    textCache_ = std::make_unique<std::string>(bytes);
    return true;
}

// ---------------------------------------------------------------- core

CZTDocCore::CZTDocCore() : user(zt::CurrentUserName()), nodes_(1) {}

CZTDocCore::~CZTDocCore() {
    // Temp copies belong to the open document only.
    for (auto& node : nodes_)
        for (auto& f : node.files)
            if (f.inTemp) RemoveFile(f.TempFile());
    if (!path.empty() && tempDirectory && directoryForm) {
        std::error_code ec;
        fs::remove(TempDirectoryPath(), ec); // only when empty
    }
}

void CZTDocCore::Swap(CZTDocCore& other) {
    using std::swap;
    swap(path, other.path);
    swap(directoryForm, other.directoryForm);
    swap(tempDirectory, other.tempDirectory);
    swap(keepExternal, other.keepExternal);
    swap(markExternal, other.markExternal);
    swap(docExt, other.docExt);
    swap(scheduledDeletions, other.scheduledDeletions);
    swap(missingContent, other.missingContent);
    swap(user, other.user);
    swap(history, other.history);
    keyRing.SwapKeys(other.keyRing);
    swap(encryptionOff, other.encryptionOff);
    swap(nodes_, other.nodes_);
    swap(fileKeys_, other.fileKeys_);
    swap(source_, other.source_);
    swap(pending_, other.pending_);
    swap(failures_, other.failures_);
}

void CZTDocCore::SetContentSource(CZTContentSource* source, std::set<int32_t> pending) {
    source_ = source;
    pending_ = source ? std::move(pending) : std::set<int32_t>{};
    failures_.clear();
}

bool CZTDocCore::EnsureContent(int32_t ident) const {
    if (!pending_.count(ident)) return true;
    if (!source_) {
        failures_.try_emplace(ident, "content not available");
        return false;
    }
    // A node that failed is not asked for again on every read (each would
    // be another round trip and another message); EnsureContentOf tries
    // again.
    if (failures_.count(ident)) return false;
    // The source stores through the ordinary operations: the node is not
    // pending while it runs, and pending again when the fetch failed.
    pending_.erase(ident);
    std::string error;
    auto* self = const_cast<CZTDocCore*>(this);
    if (source_->FetchNode(*self, ident, error)) {
        failures_.erase(ident);
        return true;
    }
    pending_.insert(ident);
    failures_[ident] = error.empty() ? std::string("fetch failed") : error;
    return false;
}

bool CZTDocCore::EnsureAllContent() const { return EnsureContentOf(pending_); }

bool CZTDocCore::EnsureContentOf(const CZTPageList& pages) const {
    std::set<int32_t> idents;
    for (const auto& e : pages)
        if (pending_.count(e.ident)) idents.insert(e.ident);
    return EnsureContentOf(idents);
}

bool CZTDocCore::EnsureContentOf(std::set<int32_t> idents) const {
    std::set<int32_t> left;
    for (int32_t ident : idents)
        if (pending_.erase(ident)) left.insert(ident);
    if (left.empty()) return true;
    if (!source_) {
        pending_.insert(left.begin(), left.end());
        return false;
    }
    const std::set<int32_t> wanted = left;
    std::string error;
    const bool ok = source_->FetchNodes(*const_cast<CZTDocCore*>(this), left, error);
    // What the source did not store stays pending.
    pending_.insert(left.begin(), left.end());
    for (int32_t ident : wanted)
        if (!left.count(ident)) failures_.erase(ident);
    if (!ok || !left.empty()) {
        if (!left.empty() && !failures_.count(*left.begin()))
            failures_[*left.begin()] = error.empty() ? std::string("fetch failed") : error;
        return false;
    }
    return true;
}

const std::string* CZTDocCore::FetchFailure(int32_t ident) const {
    auto it = failures_.find(ident);
    return it == failures_.end() || !pending_.count(ident) ? nullptr : &it->second;
}

CZTNode* CZTDocCore::Node(int32_t ident) {
    return ident > 0 && ident < int32_t(nodes_.size()) ? &nodes_[size_t(ident)] : nullptr;
}
const CZTNode* CZTDocCore::Node(int32_t ident) const {
    return ident > 0 && ident < int32_t(nodes_.size()) ? &nodes_[size_t(ident)] : nullptr;
}

CZTNode& CZTDocCore::NodeGrow(int32_t ident) {
    if (ident >= int32_t(nodes_.size())) nodes_.resize(size_t(ident) + 1);
    return nodes_[size_t(ident)];
}

void CZTDocCore::Truncate(int32_t count) {
    if (count >= 1 && count < int32_t(nodes_.size())) {
        for (size_t i = size_t(count); i < nodes_.size(); ++i)
            for (auto& f : nodes_[i].files)
                if (f.inTemp) RemoveFile(f.TempFile());
        nodes_.resize(size_t(count));
    }
}

int32_t CZTDocCore::AppendNode() {
    nodes_.emplace_back();
    nodes_.back().used = true;
    return int32_t(nodes_.size()) - 1;
}

CZTPageRecord CZTDocCore::GetPage(int32_t ident) {
    CZTPageRecord r;
    if (ident <= 0 || !EnsureContent(ident)) return r;
    static_cast<CZTPageData&>(r) = NodeGrow(ident);
    r.valid = true;
    return r;
}

bool CZTDocCore::PutPage(int32_t ident, CZTPageRecord record) {
    if (!record.valid || ident <= 0 || !EnsureContent(ident)) return false;
    CZTNode& n = NodeGrow(ident);
    static_cast<CZTPageData&>(n) = std::move(static_cast<CZTPageData&>(record));
    n.used = true;
    return true;
}

bool CZTDocCore::InsideDocumentDirectory(const std::string& file) const {
    if (path.empty() || file.empty()) return false;
    std::error_code ec;
    fs::path dir = fs::weakly_canonical(fs::path(path), ec);
    if (ec) return false;
    fs::path target = fs::weakly_canonical(fs::path(file), ec);
    if (ec) return false;
    auto d = dir.begin(), t = target.begin();
    for (; d != dir.end(); ++d, ++t)
        if (t == target.end() || *d != *t) return false;
    return t != target.end();
}

void CZTDocCore::ScheduleDeletion(const std::string& file) {
    if (InsideDocumentDirectory(file)) scheduledDeletions.push_back(file);
}

void CZTDocCore::ReleaseFiles(CZTNode& node) {
    for (auto& f : node.files) {
        if (f.inExternal && f.filesOnDisk && f.base == path) ScheduleDeletion(f.ExternalFile());
        if (f.inTemp) RemoveFile(f.TempFile());
    }
    node.files.clear();
}

bool CZTDocCore::DeletePage(int32_t ident) {
    pending_.erase(ident);
    failures_.erase(ident);
    CZTNode* n = Node(ident);
    if (!n) return true;
    ReleaseFiles(*n);
    *n = CZTNode();
    return true;
}

int32_t CZTDocCore::FileCount(int32_t ident) const {
    // Counting is no reason to fetch: the source knows how many there are.
    if (Pending(ident)) return source_ ? source_->PendingFileCount(ident) : 0;
    const CZTNode* n = Node(ident);
    return n ? int32_t(n->files.size()) : 0;
}

std::string CZTDocCore::FileName(int32_t ident, int32_t& position) const {
    const CZTNode* n = EnsureContent(ident) ? Node(ident) : nullptr;
    if (!n || position < 0 || position >= int32_t(n->files.size())) {
        position = -1;
        return {};
    }
    return n->files[size_t(position++)].name;
}

CZTFileRecord CZTDocCore::GetFile(int32_t ident, std::string_view name) const {
    CZTFileRecord r;
    const CZTNode* n = EnsureContent(ident) ? Node(ident) : nullptr;
    if (!n) return r;
    for (const auto& f : n->files) {
        if (f.name == name) {
            static_cast<CZTFileData&>(r) = f;
            r.valid = true;
            return r;
        }
    }
    return r;
}

std::string CZTDocCore::TempDirectoryPath() const { return zt::JoinPath(path, "/ZTTmp/") + ""; }

bool CZTDocCore::EnsureTempDirectory(std::string* error) {
    std::error_code ec;
    fs::create_directories(zt::JoinPath(path, "/ZTTmp"), ec);
    if (ec) {
        if (error) *error = ec.message();
        return false;
    }
    return true;
}

bool CZTDocCore::StoreContent(CZTFileEntry& entry, const CZTFileRecord& record, std::string* error) {
    std::string buffer;
    bool raw = false;
    if (!record.LoadCompressed(buffer, raw, error)) return false;
    if (raw) buffer = zt::CompressBuffer(buffer);
    uint32_t len = 0, crc = 0;
    if (!buffer.empty() && !zt::BufferPrefix(buffer, len, crc)) return false;
    const size_t bufferSize = buffer.size();

    if (directoryForm) {
        std::string dir = tempDirectory ? "/ZTTmp/" : "/";
        std::string rel = zt::MakeUniqueName(dir + zt::DiskNameRule(record.name) + ".gz", [&](const std::string& r) {
            struct stat st;
            return lstat(zt::JoinPath(path, r).c_str(), &st) == 0;
        });
        std::string target = zt::JoinPath(path, rel);
        auto keys = FileKeys();
        if (record.ownsTempFile && record.inTemp && !record.inMemory && record.sourcePath.empty() &&
            record.contentKeys == keys && InsideDocumentDirectory(record.TempFile()) &&
            ::rename(record.TempFile().c_str(), target.c_str()) == 0) {
            // moved within the document
        } else if (!WriteExternalContent(target, buffer, error, FileRing())) {
            return false;
        }
        entry.ClearContent();
        entry.contentKeys = std::move(keys);
        entry.base = path;
        if (tempDirectory) {
            entry.tempPath = rel;
            entry.inTemp = true;
        } else {
            entry.extPath = rel;
            entry.inExternal = true;
        }
        entry.filesOnDisk = true;
    } else {
        entry.ClearContent();
        entry.data = std::move(buffer);
        entry.inMemory = true;
    }
    entry.method = bufferSize ? 1 : 0;
    entry.storedLength = int32_t(bufferSize);
    entry.uncompressedLength = int32_t(len);
    entry.crc = crc;
    return true;
}

int CZTDocCore::PutFile(int32_t ident, const CZTFileRecord& record, std::string* error) {
    if (ident <= 0 || record.name.empty()) return 0;
    if (!EnsureContent(ident)) {
        if (error) {
            const std::string* why = FetchFailure(ident);
            *error = why ? *why : std::string("content not available");
        }
        return 0;
    }
    if (directoryForm && tempDirectory && !EnsureTempDirectory(error)) return 0;
    CZTNode& n = NodeGrow(ident);
    n.used = true;
    auto copyFields = [&](CZTFileEntry& e) {
        e.name = record.name;
        e.mtime = record.mtime;
        e.ctime = record.ctime;
        e.createdBy = record.createdBy;
        e.modifiedBy = record.modifiedBy;
        e.ext = record.ext;
    };
    for (auto& e : n.files) {
        if (e.name == record.name) {
            CZTFileEntry fresh;
            if (!StoreContent(fresh, record, error)) return 0;
            // The replaced content's files go: temp copies now, document files after the next save.
            if (e.inTemp && !(fresh.inTemp && fresh.tempPath == e.tempPath)) RemoveFile(e.TempFile());
            if (e.inExternal && e.filesOnDisk && e.base == path) ScheduleDeletion(e.ExternalFile());
            copyFields(fresh);
            e = std::move(fresh);
            return -1;
        }
    }
    CZTFileEntry fresh;
    if (!StoreContent(fresh, record, error)) return 0;
    copyFields(fresh);
    n.files.push_back(std::move(fresh));
    return 1;
}

bool CZTDocCore::DeleteFile(int32_t ident, std::string_view name) {
    if (!EnsureContent(ident)) return false;
    CZTNode* n = Node(ident);
    if (!n) return true;
    for (auto it = n->files.begin(); it != n->files.end(); ++it) {
        if (it->name == name) {
            if (it->inExternal && it->filesOnDisk && it->base == path) ScheduleDeletion(it->ExternalFile());
            if (it->inTemp) RemoveFile(it->TempFile());
            n->files.erase(it);
            return true;
        }
    }
    return true;
}

bool CZTDocCore::GetExtItem(int32_t ident, uint32_t kind, std::string_view& data) const {
    if (ident == -1) return zt::FindExtItem(docExt, kind, data);
    // The properties of a page not fetched yet are not here; whatever needs
    // all of them fetches everything first.
    const CZTNode* n = Pending(ident) ? nullptr : Node(ident);
    return n && zt::FindExtItem(n->ext, kind, data);
}

bool CZTDocCore::SetExtItem(int32_t ident, uint32_t kind, std::string_view data) {
    if (ident == -1) {
        docExt = zt::SetExtItem(docExt, kind, data);
        return true;
    }
    CZTNode* n = EnsureContent(ident) ? Node(ident) : nullptr;
    if (!n) return false;
    n->ext = zt::SetExtItem(n->ext, kind, data);
    return true;
}

void CZTDocCore::Clear() {
    for (auto& node : nodes_)
        for (auto& f : node.files)
            if (f.inTemp) RemoveFile(f.TempFile());
    if (directoryForm && !path.empty()) {
        std::error_code ec;
        fs::remove(zt::JoinPath(path, "/ZTTmp"), ec); // only when empty
    }
    nodes_.assign(1, CZTNode());
    source_ = nullptr;
    pending_.clear();
    failures_.clear();
    keyRing.Clear();
    fileKeys_.reset();
    encryptionOff = false;
    directoryForm = false;
    keepExternal = markExternal = false;
    docExt.clear();
    scheduledDeletions.clear();
    missingContent.clear();
    history.Clear();
    user = zt::CurrentUserName();
}

std::shared_ptr<const zt::CZtKeyRing> CZTDocCore::FileKeys() {
    if (keyRing.State() != zt::CZtKeyRing::kUnlocked) {
        fileKeys_.reset();
        return nullptr;
    }
    if (!fileKeys_ || !(fileKeys_->DocumentKey() == keyRing.DocumentKey())) {
        std::shared_ptr<zt::CZtKeyRing> snapshot = keyRing.Clone();
        snapshot->SetPrompter(nullptr); // readers report through their error text
        fileKeys_ = std::move(snapshot);
    }
    return fileKeys_;
}

const zt::CZtKeyRing* CZTDocCore::FileRing() const {
    return keyRing.State() == zt::CZtKeyRing::kUnlocked ? &keyRing : nullptr;
}

void CZTDocCore::DeleteScheduledFiles() {
    for (const auto& p : scheduledDeletions) RemoveFile(p);
    scheduledDeletions.clear();
}

void CZTDocCore::PackContents(const CZTPageList& pages) {
    for (const auto& entry : pages) {
        CZTNode* n = Node(entry.ident);
        if (!n) continue;
        if (n->method == 1 && zt::PackBuffer(n->content.Mutable())) n->storedLength = int32_t(n->content.size());
        for (auto& f : n->files)
            if (f.inMemory && f.MethodLow() == 1 && zt::PackBuffer(f.data.Mutable())) f.storedLength = int32_t(f.data.size());
    }
}
