// The in-memory document: the core with its flat node table of pages, the
// stored page and attached-file records, the document header and the detached
// record copies that the rest of the program works on.
//
// The core keeps pages in a table addressed by page ident (slot 0 is a
// placeholder, pages start at 1); the hierarchy lives in the page tree and
// travels through files as a pre-order page list.
#pragma once

#include "core/content.h"
#include "core/history.h"
#include "core/pagelist.h"
#include "security/keyring.h"

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where an attached file's content lives and what is known about it. Shared by
// the stored entry and its detached copy.
struct CZTFileData {
    std::string name;            // file name shown to the user, no directory part
    int32_t method = 0;          // low byte: 0 stored, 1 compressed buffer; bit 8: temp marking
    int32_t storedLength = 0;
    int32_t uncompressedLength = 0;
    uint32_t crc = 0;
    int32_t mtime = 0;
    int32_t ctime = 0;
    std::string createdBy;
    std::string modifiedBy;
    std::string ext;             // ext bytes

    // Content in memory, in the form the low byte of `method` names.
    CZTContent data;
    bool inMemory = false;
    // Content in files: base directory + external path, or base + temp path
    // (both relative paths start with "/"). Files are in the external content
    // file format.
    std::string base;
    std::string extPath;
    std::string tempPath;
    bool inExternal = false;
    bool inTemp = false;
    bool filesOnDisk = false;
    // The external content file was not there when the document was read; the
    // entry keeps its reference and is never rewritten as an empty file.
    bool missing = false;
    // The keys the content files on disk are encoded with ("ZT07"/"ZT08"
    // items of an encrypted document); null for gzip files.
    std::shared_ptr<const zt::CZtKeyRing> contentKeys;

    int MethodLow() const { return method & 0xFF; }
    bool HasContentSource() const { return inMemory || inExternal || inTemp; }
    std::string ExternalFile() const;
    std::string TempFile() const;
    // Drops every content source and file reference (not the files).
    void ClearContent();
};

struct CZTFileEntry : CZTFileData {};

// The stored fields of a page, shared by the node and its detached copy.
struct CZTPageData {
    int32_t storedLength = 0;
    CZTContent content;           // compressed buffer when method 1
    uint32_t crc = 0;
    int32_t method = 0;           // 0 no content, 1 compressed buffer
    int32_t uncompressedLength = 0;
    std::string createdBy;
    std::string modifiedBy;
    int32_t mtime = 0;
    int32_t ctime = 0;
    std::string ext;
};

struct CZTNode : CZTPageData {
    std::vector<CZTFileEntry> files;
    bool used = false;            // false for the placeholder, empty and deleted slots
};

// The document header.
struct CZTDiscInfo {
    static constexpr const char* kMarker = "CZTDiscInfo";
    std::string title;
    std::string createdBy;
    std::string modifiedBy;
    std::string serverString; // used by the server link only, never written
    std::string marker = kMarker;
    int32_t ctime = 0;
    int32_t mtime = 0;
    std::string ext;

    // Marker, times = now, users = the current user, title empty.
    void Reset(const std::string& user);
};

// A detached copy of one page.
class CZTPageRecord : public CZTPageData {
public:
    CZTPageRecord() = default;
    // A new record: valid, both times now, both users `user`, no content.
    static CZTPageRecord New(const std::string& user);

    bool valid = false;

    // The decompressed text, kept in a cache. Null with length 0 when there is
    // no content, the method is not 1, or the data is damaged (see Damaged()).
    const std::string* GetText() const;
    bool Damaged() const { return damaged_; }
    // Sets the text (modification time now, modifier `user`); empty = no text.
    bool SetText(std::string_view text, const std::string& user);
    // Takes an already compressed buffer (method 1).
    bool SetCompressedText(std::string buffer, const std::string& user);
    void SetExtItem(uint32_t kind, std::string_view data);

private:
    void Touch(const std::string& user);
    mutable std::unique_ptr<std::string> textCache_;
    mutable bool damaged_ = false;

public:
    CZTPageRecord(const CZTPageRecord& o);
    CZTPageRecord& operator=(const CZTPageRecord& o);
    CZTPageRecord(CZTPageRecord&&) noexcept = default;
    CZTPageRecord& operator=(CZTPageRecord&&) noexcept = default;
};

// A detached copy of one attached file.
class CZTFileRecord : public CZTFileData {
public:
    bool valid = false;
    std::string longName;
    // A file of the file system to take the content from (plain bytes).
    std::string sourcePath;
    // True when the record's temp copy belongs to it alone (it may be moved).
    bool ownsTempFile = false;

    // A new record for a file of the given name, created now by `user`.
    static CZTFileRecord New(std::string_view name, const std::string& user);

    // The content in the compressed-buffer layout (or stored bytes for method
    // 0 in `raw`), loading it from the first source present. False when every
    // source fails; `error` tells why.
    bool LoadCompressed(std::string& buffer, bool& raw, std::string* error = nullptr) const;
    // The decompressed content, cached. Null when it cannot be had.
    const std::string* GetText(std::string* error = nullptr) const;
    // Replaces the content by `bytes` (compressed into memory), modification
    // time now, modifier `user`; drops every other source.
    bool SetContent(std::string_view bytes, const std::string& user);

    CZTFileRecord() = default;
    CZTFileRecord(const CZTFileRecord& o);
    CZTFileRecord& operator=(const CZTFileRecord& o);
    CZTFileRecord(CZTFileRecord&&) noexcept = default;
    CZTFileRecord& operator=(CZTFileRecord&&) noexcept = default;

private:
    mutable std::unique_ptr<std::string> textCache_;
};

// Reads an external content file into a compressed buffer. Without `keys`: a
// gzip file, or plain bytes that are compressed; an empty file gives an empty
// buffer. With `keys` (an unlocked key ring) only "ZT07" and "ZT08" items are
// accepted; `storedLength` (when known) drops the zero padding of the last
// cipher block. False when the file cannot be read, is damaged or fails its
// tag (`error` tells why).
bool ReadExternalContent(const std::string& path, std::string& buffer, std::string* error = nullptr,
                         const zt::CZtKeyRing* keys = nullptr, int64_t storedLength = -1);
// Writes a compressed buffer as an external content file through a temporary
// file and a rename, so a failure never leaves half a file: a "ZT08" item of
// `keys` when given (an unlocked key ring), else the gzip form.
bool WriteExternalContent(const std::string& path, std::string_view buffer, std::string* error = nullptr,
                          const zt::CZtKeyRing* keys = nullptr);

class CZTDocCore;

// Where the bodies of pages kept elsewhere come from (the pages of a document
// on the document server): a node marked pending has its place in the tree
// but neither body nor files yet. The source stores them in the core with
// PutPage / PutFile the first time they are needed.
class CZTContentSource {
public:
    virtual ~CZTContentSource() = default;
    // Fetches one node; false with `error` set when it cannot be had.
    virtual bool FetchNode(CZTDocCore& core, int32_t ident, std::string& error) = 0;
    // Fetches every node in `idents` (in one go where it can) and takes the
    // nodes it stored out of the set. False with `error` at the first failure.
    virtual bool FetchNodes(CZTDocCore& core, std::set<int32_t>& idents, std::string& error) = 0;
    // How many files a pending node has (FileCount does not fetch).
    virtual int32_t PendingFileCount(int32_t ident) const = 0;
};

class CZTDocCore {
public:
    CZTDocCore();
    ~CZTDocCore();
    CZTDocCore(const CZTDocCore&) = delete;
    CZTDocCore& operator=(const CZTDocCore&) = delete;
    // Exchanges the whole content with another core (its nodes, files,
    // revisions, keys and paths).
    void Swap(CZTDocCore& other);

    // Path: the directory of a directory-form document, else the temporary directory.
    std::string path;
    bool directoryForm = false;
    bool tempDirectory = false;
    bool keepExternal = false;
    bool markExternal = false;
    std::string docExt;
    std::vector<std::string> scheduledDeletions;
    // Names ("page title / file" where known) of attached files whose content
    // files were missing when the document was read.
    std::vector<std::string> missingContent;
    // The user all stamps use; read when the core is created and cleared.
    std::string user;
    // The revisions read with the document and written again with every save.
    CZTHistory history;

    // The key ring of the document (state 0 when it is not encrypted).
    zt::CZtKeyRing keyRing;
    // Set while a copy or an export is written: that write is not encrypted.
    bool encryptionOff = false;

    // The keys content files are encoded with from now on: a snapshot of the
    // unlocked key ring, renewed whenever the document key changes; null when
    // the document is not encrypted. A file encoded under other keys (after
    // encryption was created or removed, or the document key changed) is
    // re-encoded at the next save.
    std::shared_ptr<const zt::CZtKeyRing> FileKeys();
    // The ring that writes content files: the key ring when it is unlocked.
    const zt::CZtKeyRing* FileRing() const;

    // Node table.
    int32_t NodeCount() const { return int32_t(nodes_.size()); }
    CZTNode* Node(int32_t ident);             // null for a bad ident
    const CZTNode* Node(int32_t ident) const;
    CZTNode& NodeGrow(int32_t ident);         // grows the table up to ident
    void Truncate(int32_t count);             // back to `count` nodes (after a failed read)

    // Store operations.
    int32_t AppendNode();
    CZTPageRecord GetPage(int32_t ident);
    bool PutPage(int32_t ident, CZTPageRecord record);
    bool DeletePage(int32_t ident);
    int32_t FileCount(int32_t ident) const;
    std::string FileName(int32_t ident, int32_t& position) const;
    CZTFileRecord GetFile(int32_t ident, std::string_view name) const;
    // 1 added, -1 replaced, 0 failed (nothing changed). `error` tells why.
    int PutFile(int32_t ident, const CZTFileRecord& record, std::string* error = nullptr);
    bool DeleteFile(int32_t ident, std::string_view name);
    bool GetExtItem(int32_t ident, uint32_t kind, std::string_view& data) const;
    bool SetExtItem(int32_t ident, uint32_t kind, std::string_view data);
    void SetDocumentExt(std::string ext) { docExt = std::move(ext); }

    // ---- content kept elsewhere
    // Sets (or, with null, drops) the source of pending nodes; `pending` are
    // the nodes whose content it holds. The source must outlive the core or
    // be dropped first.
    void SetContentSource(CZTContentSource* source, std::set<int32_t> pending);
    CZTContentSource* ContentSource() const { return source_; }
    // The source goes; pending nodes stay pending, so that they read as not
    // there and refuse changes (and no save writes them empty).
    void DropContentSource() { source_ = nullptr; }
    bool Pending(int32_t ident) const { return pending_.count(ident) != 0; }
    bool AnyPending() const { return !pending_.empty(); }
    // Fetches the node's content when it is pending; false when it could not
    // be had (FetchFailure tells why). The store operations call it (but
    // FileCount and GetExtItem, which answer without fetching): such a page
    // reads as invalid and refuses changes. Node() never fetches.
    bool EnsureContent(int32_t ident) const;
    // Fetches everything not yet here, for whatever walks all pages (saves,
    // copies, exports, search, printing); false at the first failure.
    bool EnsureAllContent() const;
    // The same for the pages of a list, or for some nodes.
    bool EnsureContentOf(const CZTPageList& pages) const;
    bool EnsureContentOf(std::set<int32_t> idents) const;
    // Why the last fetch of the node failed; null when it did not fail.
    const std::string* FetchFailure(int32_t ident) const;

    // Empties the document: temp copies and the temp directory are deleted,
    // flags reset, one placeholder node left.
    void Clear();
    // Deletes every scheduled path and empties the list.
    void DeleteScheduledFiles();
    // Recompresses the page texts and in-memory file contents of `pages` that
    // are kept in stored blocks (as read from a revision body).
    void PackContents(const CZTPageList& pages);
    // The temp sub-directory path + "/ZTTmp/".
    std::string TempDirectoryPath() const;
    bool EnsureTempDirectory(std::string* error = nullptr);
    // Schedules a content file for deletion after the next committed save; only
    // files inside the document directory are ever scheduled.
    void ScheduleDeletion(const std::string& file);
    bool InsideDocumentDirectory(const std::string& file) const;

private:
    void ReleaseFiles(CZTNode& node);
    bool StoreContent(CZTFileEntry& entry, const CZTFileRecord& record, std::string* error);
    std::vector<CZTNode> nodes_;
    std::shared_ptr<const zt::CZtKeyRing> fileKeys_;
    CZTContentSource* source_ = nullptr;
    mutable std::set<int32_t> pending_;
    mutable std::map<int32_t, std::string> failures_;
};
