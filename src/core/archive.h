// The content store: the access layer through which everything reads and
// changes pages, attached files and ext items of the open document, and the
// document-level flows (open, insert, save, write a copy) that connect the
// store to the file format. Questions and messages go through a Prompter.
#pragma once

#include "base/prompter.h"
#include "core/docmodel.h"
#include "core/pagelist.h"

#include <string>

class CZTArchive {
public:
    explicit CZTArchive(zt::Prompter& prompter);
    ~CZTArchive();

    CZTDocCore& Core() { return core_; }
    const CZTDocCore& Core() const { return core_; }
    CZTDiscInfo& Header() { return header_; }
    // The key ring of the document; its edits take effect at the next save.
    zt::CZtKeyRing& KeyRing() { return core_.keyRing; }
    bool IsEncrypted() const { return core_.keyRing.State() != zt::CZtKeyRing::kUnencrypted; }
    const CZTDiscInfo& Header() const { return header_; }
    zt::Prompter& Prompter() { return prompter_; }
    const std::string& User() const { return core_.user; }

    // ---- store operations (a page is addressed by ident, a file by ident + name)
    int32_t AppendNode() { return core_.AppendNode(); }
    CZTPageRecord GetPage(int32_t ident) { return core_.GetPage(ident); }
    bool PutPage(int32_t ident, CZTPageRecord record) { return core_.PutPage(ident, std::move(record)); }
    bool DeletePage(int32_t ident) { return core_.DeletePage(ident); }
    int32_t FileCount(int32_t ident) const { return core_.FileCount(ident); }
    std::string FileName(int32_t ident, int32_t& position) const { return core_.FileName(ident, position); }
    CZTFileRecord GetFile(int32_t ident, std::string_view name) const { return core_.GetFile(ident, name); }
    int PutFile(int32_t ident, const CZTFileRecord& record, std::string* error = nullptr) {
        return core_.PutFile(ident, record, error);
    }
    bool DeleteFile(int32_t ident, std::string_view name) { return core_.DeleteFile(ident, name); }
    bool GetExtItem(int32_t ident, uint32_t kind, std::string_view& data) const {
        return core_.GetExtItem(ident, kind, data);
    }
    bool SetExtItem(int32_t ident, uint32_t kind, std::string_view data) {
        return core_.SetExtItem(ident, kind, data);
    }

    // Empties the document for a new one or before opening another: the core
    // is cleared, the user read again, the path set to the temporary directory.
    void Clear();
    // A new, untitled, unmodified document.
    void NewDocument();

    // ---- document state
    const std::string& FilePath() const { return filePath_; }
    bool IsModified() const { return modified_; }
    // Setting the flag records the time of the change.
    void SetModified(bool modified = true);
    int32_t ChangeTime() const { return changeTime_; }
    bool NeverSaved() const { return neverSaved_; }

    // ---- flows
    // Opens a document file (an OLE compound file's "Contents" stream is read
    // in its place). An encrypted file asks the prompter for a name and a
    // password, again after every failed attempt, until it opens or the user
    // cancels. On failure the user was told why, and the archive still holds
    // the document that was open before, unchanged.
    bool Open(const std::string& path, CZTPageList& pages);
    // Reads the header and the version history of a document file, not its
    // pages, so that the older revisions stay within reach when the newest is
    // damaged. The archive is then an untitled document without pages that
    // holds that history. Credentials are asked for as by Open.
    bool OpenHistory(const std::string& path);
    // Makes a revision body the document: a new, untitled document of the
    // body's pages whose header title is `title` (a revision shown on its own).
    bool OpenRevisionBody(std::string_view body, const std::string& title, CZTPageList& pages);
    // Inserts the pages of a document file (or of bytes in the file format)
    // after the existing nodes; every inserted page and file is stamped as
    // created now by the current user.
    bool Insert(const std::string& path, CZTPageList& pages);
    bool InsertBytes(std::string bytes, CZTPageList& pages, const std::string& sourcePath = {});

    // Saves the whole document to `path` (the document takes that name),
    // encrypted when the document is. The file is replaced atomically; a
    // failed or refused save leaves it as it was. Saving over the file of a
    // document whose current key block is a direct block of an older document
    // first keeps that file as name + ".bak" (made unique).
    bool Save(const std::string& path, const CZTPageList& pages);

    enum class CopyKind {
        Internal, // duplication, clipboard, drag and drop inside the program
        External, // exports and files for other programs: self-contained
    };
    struct CopyOptions {
        CopyKind kind = CopyKind::External;
        bool wholeDocument = true;   // title "Copy of " + document title
        std::string subtreeTitle;    // title of a subtree copy
        bool keepHeader = false;     // the document's own header, unchanged
        // Written encrypted like a save (the single-file copy that Save As
        // makes of a directory-form document); every other copy is plain.
        bool keepEncryption = false;
    };
    // Writes a copy of `pages` into `bytes` (plain form). Changes neither the
    // document's name nor its state; no scheduled file is deleted. Copies are
    // written unencrypted: the key area item leaves the document ext bytes (the
    // next encrypted save stores it again), and a copy of an encrypted
    // directory-form document holds its contents inline.
    bool WriteCopy(const CZTPageList& pages, const CopyOptions& options, std::string& bytes);
    // Writes a copy to a file, atomically.
    bool SaveCopy(const std::string& path, const CZTPageList& pages, const CopyOptions& options);

    // Test hook: the serializer's Write result as the save sees it.
    std::string lastError;

private:
    bool ReadInto(std::string bytes, const std::string& path, CZTPageList& pages, bool opening,
                  bool historyOnly = false);
    bool WriteFileAtomically(const std::string& path, const CZTPageList& pages, const CZTDiscInfo& header,
                             bool asRevision, bool askOnProblems);
    bool KeepBackup(const std::string& path);
    void ReportException(int code, const std::string& message);
    CZTDiscInfo CopyHeader(const CopyOptions& options) const;

    zt::Prompter& prompter_;
    CZTDocCore core_;
    CZTDiscInfo header_;
    std::string filePath_;
    bool modified_ = false;
    int32_t changeTime_ = 0;
    bool neverSaved_ = true;
};

// Reads a document file's bytes; an OLE compound file gives its "Contents"
// stream. False with `error` set when the file cannot be read.
bool ReadDocumentBytes(const std::string& path, std::string& bytes, std::string* error);

// Credentials from a name and a password typed in UTF-8. Documents keep them as
// Windows-1252 bytes; a text that code page cannot hold keeps its UTF-8 bytes,
// so that no two different passwords become the same.
zt::CZtCredentials CredentialsFromUtf8(std::string_view name, std::string_view password);
