// Reads and writes document files over a CZTDocStream.
//
// A file is: an optional subtree header (0xFF41 or "ZT02" + string), an
// optional header record ("ZT03"), the document ext bytes ("ZT04"), and a body
// selected by its format tag: the plain form "ZT01", the directory form "ZT05"
// whose attached-file contents live in external gzip files, the older forms
// 0xFF40, 0xFF42 and 0xFF43, or the revision container "ZT09".
#pragma once

#include "core/docmodel.h"
#include "core/docstream.h"
#include "core/pagelist.h"

#include <memory>
#include <string>
#include <vector>

namespace zt {

enum FormatTag : uint32_t {
    kTagFF40 = 0xFF40, // oldest body; also the end marker after every page record
    kTagFF41 = 0xFF41, // subtree header
    kTagFF42 = 0xFF42,
    kTagFF43 = 0xFF43,
    kTagZT01 = 0x3130545A,
    kTagZT02 = 0x3230545A,
    kTagZT03 = 0x3330545A,
    kTagZT04 = 0x3430545A,
    kTagZT05 = 0x3530545A,
    kTagZT06 = 0x3630545A,
    kTagZT07 = 0x3730545A,
    kTagZT08 = 0x3830545A,
    kTagZT09 = 0x3930545A,
};

// The form of a document file as its tags show it.
enum class DocumentForm { Empty, Plain, Directory, Revision, Old, Encrypted, Unknown };
DocumentForm DetectForm(std::string_view fileStart);
const char* FormName(DocumentForm form);

} // namespace zt

class CZTDocSerializer {
public:
    explicit CZTDocSerializer(CZTDocStream& stream);
    ~CZTDocSerializer();

    // Writes the pages of `pages` (pre-order) with the header (may be null).
    // A directory-form core always gets the directory form. When the core's
    // key ring is unlocked and encryption is not switched off for this write,
    // the key area is refreshed and stored as document ext item 5, and
    // everything after the document ext bytes is encrypted ("ZT06"); the body
    // writers see only the stream. Returns false when a page or file could not
    // be written (Problems() names them), or when the write was aborted
    // (Aborted(): nothing usable was written).
    bool Write(CZTDocCore& core, const CZTPageList& pages, const CZTDiscInfo* header, bool asRevision);

    // Reads a file. opening = true: the file becomes the open document (header
    // and document ext bytes are taken over, "ZT05" makes a directory-form
    // document); false: the pages are inserted after the existing nodes.
    // An encrypted file's key area goes to the core's key ring when opening,
    // to a ring of the serializer's own when inserting; Read then returns
    // false with Halt() == Credentials until a call with `credentials` that
    // unlock it (each such call resumes there). The encrypted remainder is
    // decrypted and its tag checked before any page is read. Returns false
    // also when the remainder fails its tag (Halt() == DataCorrupt, already
    // reported) or a key area is present without "ZT06". Throws
    // CZTDocCoreException for damaged data or an unknown format; the core
    // then holds no node of the failed read.
    bool Read(CZTDocCore& core, CZTPageList& pages, CZTDiscInfo* header, bool opening,
              const zt::CZtCredentials* credentials = nullptr);

    enum class ReadHalt { None, Credentials, DataCorrupt, KeyAreaWithoutEncryption };
    ReadHalt Halt() const { return halt_; }
    bool Aborted() const { return aborted_; }

    // The pages (tree indicator and title) and after each page its attached
    // files (indicator "f" and the name), without keeping contents.
    void ReadListing(CZTPageList& list, CZTDiscInfo* header);

    // A revision container is then read into the core's history only, without
    // its pages: the revisions stay within reach when the newest is damaged.
    void SetHistoryOnly(bool historyOnly) { historyOnly_ = historyOnly; }

    // Document ext bytes of a file read with opening = false.
    const std::string& InsertedExt() const { return insertedExt_; }
    // What could not be written (file names, page titles).
    const std::vector<std::string>& Problems() const { return problems_; }
    // Reading an encrypted file: the clear header differed from the header
    // sealed inside the encrypted part (written by this program at the same
    // save), so it was changed without the password; the sealed one was taken.
    bool HeaderForged() const { return headerForged_; }
    // The format level of the body read.
    int Level() const { return level_; }

private:
    struct ReadContext;
    uint32_t ReadPreamble(CZTDocCore* core, CZTDiscInfo* header, bool opening, bool& refused,
                          std::string* keyArea);
    bool DecryptRemainder(zt::CZtKeyRing& ring);
    bool ReadBody(CZTDocCore& core, CZTPageList& pages, bool opening, uint32_t tag);
    void ReadPlainBody(CZTDocCore& core, CZTPageList& pages, ReadContext& ctx);
    void ReadPage(CZTNode& node, ReadContext& ctx, bool keep);
    void ReadFileRecord(CZTFileEntry& entry, ReadContext& ctx, bool keep);
    void TakeSealedHeader(CZTDocCore& core, const CZTPageList& pages, size_t first, CZTDiscInfo* header);
    void WritePage(CZTDocCore& core, const CZTPageListEntry& entry, bool first, bool directory);
    void WriteFileHead(const CZTFileEntry& entry, int32_t methodWord, int32_t storedLength);
    void WriteDirectoryFile(CZTDocCore& core, CZTFileEntry& entry, const std::string& pageTitle);

    CZTDocStream& stream_;
    std::string insertedExt_;
    std::vector<std::string> problems_;
    int level_ = -1;
    bool historyOnly_ = false;
    ReadHalt halt_ = ReadHalt::None;
    bool aborted_ = false;
    bool headerForged_ = false;
    // Reading an encrypted file: the ring its key area went to, and the ring of
    // an inserted file (the open document's ring stays untouched).
    zt::CZtKeyRing* readRing_ = nullptr;
    std::unique_ptr<zt::CZtKeyRing> insertRing_;
    bool awaitingCredentials_ = false;
    // Writing: the ring that encodes external content files and the keys they
    // are then encoded with (both null for plain files).
    const zt::CZtKeyRing* fileRing_ = nullptr;
    std::shared_ptr<const zt::CZtKeyRing> fileKeys_;
};
