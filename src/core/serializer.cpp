#include "serializer.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "core/compress.h"
#include "core/extbytes.h"
#include "core/revisions.h"
#include "core/ztexception.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zt;

namespace zt {

DocumentForm DetectForm(std::string_view s) {
    if (s.empty()) return DocumentForm::Empty;
    size_t pos = 0;
    auto tag = [&]() -> uint32_t {
        if (s.size() - pos < 4) return 0;
        uint32_t t = GetLE32(s.data() + pos);
        pos += 4;
        return t;
    };
    uint32_t t = tag();
    if (t == kTagFF41 || t == kTagZT02) {
        if (!ReadPrefixedString(s, pos)) return DocumentForm::Unknown;
        t = tag();
    }
    if (t == kTagZT03) {
        for (int i = 0; i < 4; ++i)
            if (!ReadPrefixedString(s, pos)) return DocumentForm::Unknown;
        pos += 8;
        if (pos > s.size()) return DocumentForm::Unknown;
        t = tag();
    }
    if (t == kTagZT04) {
        uint32_t n = tag();
        if (n > s.size() - std::min(pos, s.size())) return DocumentForm::Unknown;
        std::string_view key;
        bool encrypted = FindExtItem(s.substr(pos, n), kExtKeyArea, key) && !key.empty();
        pos += n;
        t = tag();
        if (encrypted || t == kTagZT06) return DocumentForm::Encrypted;
    }
    switch (t) {
    case kTagZT01: return DocumentForm::Plain;
    case kTagZT05: return DocumentForm::Directory;
    case kTagZT09: return DocumentForm::Revision;
    case kTagZT06: return DocumentForm::Encrypted;
    case kTagFF40: case kTagFF42: case kTagFF43: return DocumentForm::Old;
    default: return DocumentForm::Unknown;
    }
}

const char* FormName(DocumentForm form) {
    switch (form) {
    case DocumentForm::Empty: return "empty";
    case DocumentForm::Plain: return "plain";
    case DocumentForm::Directory: return "directory";
    case DocumentForm::Revision: return "revision";
    case DocumentForm::Old: return "old";
    case DocumentForm::Encrypted: return "encrypted";
    default: return "unknown";
    }
}

} // namespace zt

struct CZTDocSerializer::ReadContext {
    int level = 5;
    bool opening = true;
    CZTDocCore* core = nullptr;
    std::string docDir;      // level 9: the opened file's directory
    std::string sourceDir;   // levels 10, 11: the directory stored in the file
    bool sourceDirUsable = false;
    std::string pageTitle;   // for messages
    // Encrypted documents: the keys of the content files (level 9) and the
    // ring that reads the source files of an inserted copy (levels 10, 11).
    std::shared_ptr<const zt::CZtKeyRing> fileKeys;
    const zt::CZtKeyRing* sourceKeys = nullptr;
};

CZTDocSerializer::CZTDocSerializer(CZTDocStream& stream) : stream_(stream) {}
CZTDocSerializer::~CZTDocSerializer() = default;

namespace {

[[noreturn]] void Damaged(const std::string& what) { ThrowDamaged(what); }

std::string Where(const std::string& title, const std::string& file = {}) {
    std::string w = "Seite \"" + Cp1252ToUtf8(title) + "\"";
    if (!file.empty()) w += ", Datei \"" + Cp1252ToUtf8(file) + "\"";
    return w;
}

// Turns the raw or zlib content of an old record into a compressed buffer.
void ConvertOldContent(int level, int method, std::string& content, int32_t& storedLength, uint32_t& crc,
                       int32_t& uncompressedLength, int32_t& outMethod, const std::string& where) {
    std::string text;
    if (level == 4 && method == 1) {
        if (content.size() < 4) Damaged(where);
        uint32_t expected = GetLE32(content.data());
        if (!InflateZlib(std::string_view(content).substr(4), expected, text)) Damaged(where);
    } else {
        text = std::move(content);
    }
    crc = text.empty() ? 0 : Crc32(text);
    uncompressedLength = int32_t(text.size());
    content = CompressBuffer(text);
    if (!text.empty() && content.empty()) Damaged(where);
    storedLength = int32_t(content.size());
    outMethod = content.empty() ? 0 : 1;
}

// A compressed buffer read from a file must agree with its record.
void CheckBuffer(const std::string& content, int32_t method, int32_t uncompressedLength, uint32_t crc,
                 const std::string& where) {
    if (method != 1 || content.empty()) return;
    uint32_t len = 0, c = 0;
    if (!BufferPrefix(content, len, c) || len != uint32_t(uncompressedLength) || c != crc ||
        len > MaxInflatedSize(content.size() - 8))
        Damaged(where);
}

bool IsDirectory(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// True when `file` lies inside `dir` after resolving links.
bool Inside(const std::string& dir, const std::string& file) {
    std::error_code ec;
    fs::path d = fs::weakly_canonical(dir, ec);
    if (ec) return false;
    fs::path f = fs::weakly_canonical(file, ec);
    if (ec) return false;
    auto a = d.begin(), b = f.begin();
    for (; a != d.end(); ++a, ++b)
        if (b == f.end() || *a != *b) return false;
    return b != f.end();
}

} // namespace

// --------------------------------------------------------------------- reading

uint32_t CZTDocSerializer::ReadPreamble(CZTDocCore* core, CZTDiscInfo* header, bool opening, bool& refused,
                                        std::string* keyArea) {
    refused = false;
    uint32_t tag = stream_.ReadUInt();
    if (tag == kTagFF41 || tag == kTagZT02) {
        stream_.ReadString();
        tag = stream_.ReadUInt();
    }
    if (tag == kTagZT03) {
        CZTDiscInfo info;
        stream_.ReadString(); // marker
        info.title = stream_.ReadString();
        info.createdBy = stream_.ReadString();
        info.modifiedBy = stream_.ReadString();
        info.ctime = stream_.ReadInt();
        info.mtime = stream_.ReadInt();
        if (header && opening) *header = std::move(info);
        tag = stream_.ReadUInt();
    }
    if (tag == kTagZT04) {
        int32_t n = stream_.ReadInt();
        std::string ext = stream_.ReadBytes(n);
        // The key area travels in the file's own ext bytes: a file inserted
        // into an encrypted document is judged by what it is itself.
        std::string_view area;
        bool hasKey = n > 0 && FindExtItem(ext, kExtKeyArea, area) && !area.empty();
        if (core) {
            if (opening) {
                core->docExt = ext;
                if (header) header->ext = ext;
            } else {
                insertedExt_ = ext;
            }
        }
        tag = stream_.ReadUInt();
        if (hasKey) {
            if (tag != kTagZT06) {
                refused = true;
                return tag;
            }
            if (!keyArea) throw CZTDocCoreException(CZTDocCoreException::Encrypted);
            keyArea->assign(area);
        }
    }
    return tag;
}

static int LevelOf(uint32_t tag) {
    switch (tag) {
    case kTagFF40: return 0;
    case kTagFF42: return 3;
    case kTagFF43: return 4;
    case kTagZT01: return 5;
    case kTagZT05: return 9;
    case kTagZT09: return 15;
    case kTagZT06: throw CZTDocCoreException(CZTDocCoreException::Encrypted);
    default:
        if ((tag & 0xFFFF) == 0x545A) throw CZTDocCoreException(CZTDocCoreException::LaterVersion);
        ThrowDamaged("unknown format tag");
    }
}

bool CZTDocSerializer::Read(CZTDocCore& core, CZTPageList& pages, CZTDiscInfo* header, bool opening,
                            const zt::CZtCredentials* credentials) {
    if (stream_.IsStoring()) return false;
    halt_ = ReadHalt::None;
    if (!awaitingCredentials_) {
        if (stream_.Size() == 0) return true;
        bool refused = false;
        std::string keyArea;
        uint32_t tag = ReadPreamble(&core, header, opening, refused, &keyArea);
        if (refused) {
            halt_ = ReadHalt::KeyAreaWithoutEncryption;
            return false;
        }
        if (keyArea.empty()) {
            const size_t first = pages.size();
            bool ok = ReadBody(core, pages, opening, tag);
            TakeSealedHeader(core, pages, first, nullptr); // only encrypted files carry one
            return ok;
        }
        if (opening) {
            readRing_ = &core.keyRing;
        } else {
            insertRing_ = std::make_unique<zt::CZtKeyRing>(core.keyRing.MessagePrompter());
            readRing_ = insertRing_.get();
        }
        int loaded = readRing_->LoadKeyArea(keyArea);
        zt::WipeString(keyArea);
        if (loaded == -2) throw CZTDocCoreException(CZTDocCoreException::LaterVersion, "key area");
        if (loaded != 0) ThrowDamaged("key area");
        awaitingCredentials_ = true;
    }
    // An encrypted file: unlock with the credentials given, then decrypt the
    // remainder and read on from its first tag.
    if (!credentials || !readRing_->Unlock(*credentials)) {
        halt_ = ReadHalt::Credentials;
        return false;
    }
    awaitingCredentials_ = false;
    if (!DecryptRemainder(*readRing_)) {
        halt_ = ReadHalt::DataCorrupt;
        return false;
    }
    const size_t first = pages.size();
    const bool ok = ReadBody(core, pages, opening, stream_.ReadUInt());
    TakeSealedHeader(core, pages, first, opening ? header : nullptr);
    return ok;
}

namespace {

// The sealed header: "ZTH1", the 16-byte IV of the key area it was written
// under (renewed on every save, and bound to the key check values, so it
// names the save), then the header record's strings and times.
constexpr std::string_view kSealedMagic = "ZTH1";

std::string SealHeader(const CZTDiscInfo& h, std::string_view iv) {
    std::string out(kSealedMagic);
    out += iv;
    for (const std::string* s : {&h.title, &h.createdBy, &h.modifiedBy}) out += zt::StringPrefix(s->size()) + *s;
    char b[8];
    zt::SetLE32(b, uint32_t(h.ctime > 0 ? h.ctime : 1));
    zt::SetLE32(b + 4, uint32_t(h.mtime > 0 ? h.mtime : 1));
    out.append(b, 8);
    return out;
}

bool UnsealHeader(std::string_view data, std::string& iv, CZTDiscInfo& h) {
    if (data.size() < 4 + 16 || data.substr(0, 4) != kSealedMagic) return false;
    iv.assign(data.substr(4, 16));
    size_t pos = 20;
    for (std::string* s : {&h.title, &h.createdBy, &h.modifiedBy}) {
        auto v = zt::ReadPrefixedString(data, pos);
        if (!v) return false;
        *s = std::move(*v);
    }
    if (data.size() - pos < 8) return false;
    h.ctime = int32_t(zt::GetLE32(data.data() + pos));
    h.mtime = int32_t(zt::GetLE32(data.data() + pos + 4));
    return true;
}

// What the clear header of an encrypted file holds: only the record's form.
bool IsNeutralHeader(const CZTDiscInfo& h) {
    return h.title.empty() && h.createdBy.empty() && h.modifiedBy.empty() && h.ctime <= 1 && h.mtime <= 1;
}

std::string CurrentIv(const zt::CZtKeyRing& ring) {
    if (ring.BlockCount() == 0) return {};
    const std::string& block = ring.Block(ring.CurrentBlock());
    return block.size() >= 48 ? block.substr(32, 16) : std::string();
}

} // namespace

// The sealed header never stays in the pages read. When opening an encrypted
// file it replaces the clear header: written at the same save (same IV), it
// is authentic and the clear one can only differ by tampering; written at an
// earlier save (another program saved since and kept the item), it fills in
// what that program's clear header left neutral.
void CZTDocSerializer::TakeSealedHeader(CZTDocCore& core, const CZTPageList& pages, size_t first,
                                        CZTDiscInfo* header) {
    std::string sealed;
    for (size_t i = first; i < pages.size(); ++i) {
        CZTNode* node = core.Node(pages[i].ident);
        std::string_view data;
        if (!node || !FindExtItem(node->ext, kExtSealedHeader, data)) continue;
        if (i == first) sealed.assign(data);
        node->ext = SetExtItem(node->ext, kExtSealedHeader, {});
    }
    if (!header || !readRing_ || sealed.empty()) return;
    std::string iv;
    CZTDiscInfo inner;
    if (!UnsealHeader(sealed, iv, inner)) return;
    if (iv == CurrentIv(*readRing_)) {
        const bool same = header->title == inner.title && header->createdBy == inner.createdBy &&
                          header->modifiedBy == inner.modifiedBy && header->ctime == inner.ctime &&
                          header->mtime == inner.mtime;
        headerForged_ = !IsNeutralHeader(*header) && !same;
        header->title = inner.title;
        header->createdBy = inner.createdBy;
        header->modifiedBy = inner.modifiedBy;
        header->ctime = inner.ctime;
        header->mtime = inner.mtime;
        return;
    }
    if (header->title.empty()) header->title = inner.title;
    if (header->createdBy.empty()) header->createdBy = inner.createdBy;
    if (header->modifiedBy.empty()) header->modifiedBy = inner.modifiedBy;
    if (header->ctime <= 1) header->ctime = inner.ctime;
    if (header->mtime <= 1) header->mtime = inner.mtime;
}

// Decrypts everything after "ZT06" and checks its tag before a single byte of
// it is parsed: content that fails authentication never reaches the document.
bool CZTDocSerializer::DecryptRemainder(zt::CZtKeyRing& ring) {
    std::string_view rest = stream_.PeekRemaining();
    size_t pos = 0;
    zt::RawReader reader = [rest, &pos](void* p, size_t n) {
        if (rest.size() - pos < n) return false;
        std::memcpy(p, rest.data() + pos, n);
        pos += n;
        return true;
    };
    if (!ring.BeginRead(rest.size(), std::move(reader))) ThrowDamaged("encrypted data");
    std::string plain(rest.size(), '\0');
    size_t got = 0;
    while (got < plain.size()) {
        size_t n = ring.Read(plain.data() + got, plain.size() - got);
        if (n == 0) break;
        got += n;
    }
    plain.resize(got);
    switch (ring.EndRead()) {
    case zt::CZtCipherStream::End::Ok: break;
    case zt::CZtCipherStream::End::TagMismatch: return false; // reported by the ring
    case zt::CZtCipherStream::End::Failed: ThrowDamaged("encrypted data ends early");
    }
    stream_.ContinueWith(std::move(plain));
    return true;
}

bool CZTDocSerializer::ReadBody(CZTDocCore& core, CZTPageList& pages, bool opening, uint32_t tag) {
    level_ = LevelOf(tag);
    ReadContext ctx;
    ctx.opening = opening;
    ctx.core = &core;
    ctx.level = level_;
    ctx.sourceKeys = readRing_;
    if (opening) ctx.fileKeys = core.FileKeys();
    if (level_ == 15) {
        zt::ReadRevisionDocument(stream_, core, pages, opening, historyOnly_);
        return true;
    }
    if (level_ == 9) {
        std::string stored = stream_.ReadString();
        if (opening) {
            ctx.level = 9;
            std::string dir;
            if (!stream_.DirectoryOfFile(dir)) dir = "./";
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            ctx.docDir = dir;
            core.directoryForm = true;
            core.path = dir;
        } else {
            ctx.level = core.directoryForm ? 10 : 11;
            // The stored directory is untrusted: only a local absolute directory
            // without ".." is read from.
            std::string d = stored;
            for (char& c : d)
                if (c == '\\') c = '/';
            while (d.size() > 1 && d.back() == '/') d.pop_back();
            ctx.sourceDir = d;
            ctx.sourceDirUsable = !d.empty() && d[0] == '/' && d.find('\0') == std::string::npos &&
                                  IsSafeRelativePath(d.substr(1).empty() ? "x" : d.substr(1)) && IsDirectory(d);
        }
        level_ = ctx.level;
    }
    ReadPlainBody(core, pages, ctx);
    return true;
}

void CZTDocSerializer::ReadPlainBody(CZTDocCore& core, CZTPageList& pages, ReadContext& ctx) {
    int32_t count = stream_.ReadInt();
    // Every page takes at least 10 bytes: two empty strings, a length and the end tag.
    if (count < 0 || uint64_t(count) > stream_.Remaining() / 10) Damaged("page count beyond the data");
    const int32_t before = core.NodeCount();
    const size_t pagesBefore = pages.size();
    try {
        for (int32_t i = 0; i < count; ++i) {
            CZTPageListEntry entry;
            entry.indicator = stream_.ReadString();
            entry.title = stream_.ReadString();
            ctx.pageTitle = entry.title;
            int32_t ident = core.AppendNode();
            ReadPage(*core.Node(ident), ctx, true);
            if (stream_.ReadUInt() != kTagFF40) Damaged(Where(entry.title) + ": Endmarke fehlt");
            entry.ident = ident;
            pages.push_back(std::move(entry));
        }
    } catch (...) {
        core.Truncate(before);
        pages.resize(pagesBefore);
        throw;
    }
}

void CZTDocSerializer::ReadPage(CZTNode& node, ReadContext& ctx, bool keep) {
    const int level = ctx.level;
    int32_t method = level > 3 ? stream_.ReadInt() : 0;
    if (method < 0 || method > 1) Damaged(Where(ctx.pageTitle) + ": unbekannte Methode");
    int32_t stored = stream_.ReadInt();
    if (stored < 0 || uint64_t(stored) > stream_.Remaining()) Damaged(Where(ctx.pageTitle) + ": Länge");
    node.used = true;
    node.method = method;
    if (level > 4) {
        node.crc = stream_.ReadUInt();
        node.uncompressedLength = stream_.ReadInt();
        node.createdBy = stream_.ReadString();
        node.modifiedBy = stream_.ReadString();
        node.ctime = stream_.ReadInt();
        node.mtime = stream_.ReadInt();
        int32_t e = stream_.ReadInt();
        node.ext = stream_.ReadBytes(e);
    }
    if (keep) {
        node.content = stream_.ReadBytes(stored);
    } else {
        stream_.Skip(size_t(stored));
    }
    node.storedLength = stored;
    if (keep) {
        if (level < 5) {
            ConvertOldContent(level, method, node.content.Mutable(), node.storedLength, node.crc, node.uncompressedLength,
                              node.method, Where(ctx.pageTitle));
        } else {
            CheckBuffer(node.content, node.method, node.uncompressedLength, node.crc, Where(ctx.pageTitle));
        }
    }
    if (level > 2) {
        int32_t files = stream_.ReadInt();
        // A file record takes at least 9 bytes.
        if (files < 0 || uint64_t(files) > stream_.Remaining() / 9) Damaged(Where(ctx.pageTitle) + ": Dateianzahl");
        node.files.reserve(size_t(files));
        for (int32_t i = 0; i < files; ++i) {
            node.files.emplace_back();
            ReadFileRecord(node.files.back(), ctx, keep);
        }
    }
}

void CZTDocSerializer::ReadFileRecord(CZTFileEntry& f, ReadContext& ctx, bool keep) {
    const int level = ctx.level;
    f.name = stream_.ReadString();
    const std::string where = Where(ctx.pageTitle, f.name);
    int32_t word = level > 3 ? stream_.ReadInt() : 0;
    if ((word & 0xFF) > 1 || word < 0 || word > 511 || ((word & 0x100) && level != 10 && level != 11))
        Damaged(where + ": unbekannte Methode");
    f.method = word;
    int32_t stored = stream_.ReadInt();
    if (stored < 0) Damaged(where + ": Länge");
    f.storedLength = stored;
    f.mtime = stream_.ReadInt();
    f.ctime = stream_.ReadInt();
    if (level > 4) {
        f.crc = stream_.ReadUInt();
        f.createdBy = stream_.ReadString();
        f.modifiedBy = stream_.ReadString();
        f.uncompressedLength = stream_.ReadInt();
        int32_t e = stream_.ReadInt();
        f.ext = stream_.ReadBytes(e);
    }
    if (level < 9) {
        if (uint64_t(stored) > stream_.Remaining()) Damaged(where + ": Länge");
        if (!keep) {
            stream_.Skip(size_t(stored));
            return;
        }
        f.data = stream_.ReadBytes(stored);
        f.inMemory = true;
        if (level < 5) {
            int32_t m = 0;
            ConvertOldContent(level, word & 0xFF, f.data.Mutable(), f.storedLength, f.crc, f.uncompressedLength, m, where);
            f.method = m;
        } else {
            CheckBuffer(f.data, f.MethodLow(), f.uncompressedLength, f.crc, where);
        }
        return;
    }
    // Directory form: a path relative to the document directory.
    std::string rel = stream_.ReadString();
    if (!keep) return;
    CZTDocCore& core = *ctx.core;
    const bool tempMarked = (word & 0x100) != 0;
    f.method = word & 0xFF;
    if (rel.empty()) {
        // An attached file without content.
        f.storedLength = f.uncompressedLength = 0;
        f.crc = 0;
        f.method = 0;
        return;
    }
    if (level == 9) {
        f.base = ctx.docDir;
        f.extPath = rel;
        f.inExternal = true;
        f.filesOnDisk = true;
        f.contentKeys = ctx.fileKeys;
        std::string file = f.ExternalFile();
        if (!IsSafeRelativePath(rel) || !Inside(ctx.docDir, file) || !IsRegularFile(file)) {
            f.missing = true;
            core.missingContent.push_back(Cp1252ToUtf8(ctx.pageTitle) + " / " + Cp1252ToUtf8(f.name));
        }
        return;
    }
    // Levels 10 and 11: the copy refers to another document's files.
    std::string source = JoinPath(ctx.sourceDir, rel);
    std::string buffer, error;
    if (!ctx.sourceDirUsable || !IsSafeRelativePath(rel) || !Inside(ctx.sourceDir, source) ||
        !ReadExternalContent(source, buffer, &error, ctx.sourceKeys, stored))
        Damaged(where + ": Inhaltsdatei fehlt");
    (void)tempMarked;
    uint32_t len = 0, crc = 0;
    if (!buffer.empty() && !BufferPrefix(buffer, len, crc)) Damaged(where);
    f.storedLength = int32_t(buffer.size());
    f.uncompressedLength = int32_t(len);
    f.crc = crc;
    f.method = buffer.empty() ? 0 : 1;
    if (level == 11) {
        f.data = std::move(buffer);
        f.inMemory = true;
        return;
    }
    // Level 10: a temp copy in the open directory-form document.
    if (!core.EnsureTempDirectory(&error)) Damaged(where + ": " + error);
    std::string relTemp = MakeUniqueName("/ZTTmp/" + DiskNameRule(f.name) + ".gz", [&](const std::string& r) {
        struct stat st;
        return lstat(JoinPath(core.path, r).c_str(), &st) == 0;
    });
    if (!WriteExternalContent(JoinPath(core.path, relTemp), buffer, &error, core.FileRing()))
        Damaged(where + ": " + error);
    f.contentKeys = core.FileKeys();
    f.base = core.path;
    f.tempPath = relTemp;
    f.inTemp = true;
    f.filesOnDisk = true;
}

void CZTDocSerializer::ReadListing(CZTPageList& list, CZTDiscInfo* header) {
    if (stream_.Size() == 0) return;
    bool refused = false;
    uint32_t tag = ReadPreamble(nullptr, header, true, refused, nullptr);
    if (refused) throw CZTDocCoreException(CZTDocCoreException::Encrypted);
    if (tag == kTagZT09) {
        // The newest revision is the document.
        CZTDocCore core;
        CZTPageList pages;
        zt::ReadRevisionDocument(stream_, core, pages, false, false);
        for (auto& entry : pages) {
            const CZTNode* node = core.Node(entry.ident);
            list.push_back({std::move(entry.indicator), std::move(entry.title), 0, {}});
            if (node)
                for (const auto& f : node->files) list.push_back({"f", f.name, 0, {}});
        }
        return;
    }
    ReadContext ctx;
    ctx.level = LevelOf(tag);
    ctx.opening = false;
    if (ctx.level == 9) {
        stream_.ReadString();
        ctx.level = 11;
    }
    int32_t count = stream_.ReadInt();
    if (count < 0 || uint64_t(count) > stream_.Remaining() / 10) Damaged("page count beyond the data");
    for (int32_t i = 0; i < count; ++i) {
        CZTPageListEntry entry;
        entry.indicator = stream_.ReadString();
        entry.title = stream_.ReadString();
        ctx.pageTitle = entry.title;
        CZTNode node;
        ReadPage(node, ctx, false);
        if (stream_.ReadUInt() != kTagFF40) Damaged(Where(entry.title) + ": Endmarke fehlt");
        list.push_back(std::move(entry));
        for (const auto& f : node.files) list.push_back({"f", f.name, 0, {}});
    }
}

// --------------------------------------------------------------------- writing

bool CZTDocSerializer::Write(CZTDocCore& core, const CZTPageList& pages, const CZTDiscInfo* header,
                             bool asRevision) {
    if (!stream_.IsStoring()) return false;
    problems_.clear();
    // Encrypted unless the key ring is locked or encryption is switched off for
    // this write (copies and exports); a plain file never carries a key area.
    zt::CZtKeyRing& ring = core.keyRing;
    const bool encrypt = ring.State() == zt::CZtKeyRing::kUnlocked && !ring.Bypass() && !core.encryptionOff;
    std::string ext = core.docExt;
    std::string_view oldArea;
    if (encrypt) {
        if (!ring.PrepareSave()) {
            aborted_ = true;
            problems_.push_back(zt::MessageText(zt::Msg::NoRandomSource));
            return false;
        }
        core.docExt = SetExtItem(core.docExt, kExtKeyArea, ring.KeyArea());
        ext = core.docExt;
    } else if (FindExtItem(ext, kExtKeyArea, oldArea)) {
        ext = SetExtItem(ext, kExtKeyArea, {});
    }
    // The header of an encrypted file: neutral values in the clear record,
    // which nobody can then read or change without the password; the real
    // ones sealed into the first page's ext bytes inside the encrypted part.
    struct SealedHeader {
        CZTNode* node = nullptr;
        std::string ext;
        ~SealedHeader() {
            if (node) node->ext = std::move(ext);
        }
    } sealed;
    if (header) {
        const bool seal = encrypt && !pages.empty() && core.Node(pages.front().ident);
        CZTDiscInfo neutral;
        const CZTDiscInfo& clear = seal ? neutral : *header;
        stream_.WriteUInt(kTagZT03);
        stream_.WriteString(CZTDiscInfo::kMarker);
        stream_.WriteString(clear.title);
        stream_.WriteString(clear.createdBy);
        stream_.WriteString(clear.modifiedBy);
        stream_.WriteInt(clear.ctime > 0 ? clear.ctime : 1);
        stream_.WriteInt(clear.mtime > 0 ? clear.mtime : 1);
        if (seal) {
            sealed.node = core.Node(pages.front().ident);
            sealed.ext = sealed.node->ext;
            sealed.node->ext = SetExtItem(sealed.ext, kExtSealedHeader, SealHeader(*header, CurrentIv(ring)));
        }
    }
    fileRing_ = encrypt ? &ring : nullptr;
    fileKeys_ = encrypt ? core.FileKeys() : nullptr;
    stream_.WriteUInt(kTagZT04);
    stream_.WriteInt(int32_t(ext.size()));
    stream_.WriteBytes(ext);
    if (encrypt) {
        stream_.WriteUInt(kTagZT06);
        if (!stream_.BeginEncryption(ring)) {
            aborted_ = true;
            problems_.push_back("encryption failed");
            return false;
        }
    }
    // Whatever happens below, the cipher stream of the ring is closed again.
    struct CipherEnd {
        CZTDocStream& stream;
        ~CipherEnd() {
            if (stream.Encrypting()) stream.EndEncryption();
        }
    } cipherEnd{stream_};
    const bool directory = core.directoryForm;
    if (directory) {
        stream_.WriteUInt(kTagZT05);
        stream_.WriteString(core.path);
        level_ = 9;
    } else if (asRevision) {
        stream_.WriteUInt(kTagZT09);
        level_ = 15;
        zt::WriteRevisionContainer(stream_, core, pages, problems_);
    } else {
        stream_.WriteUInt(kTagZT01);
        level_ = 5;
    }
    if (level_ != 15) {
        stream_.WriteInt(int32_t(pages.size()));
        for (size_t i = 0; i < pages.size(); ++i) WritePage(core, pages[i], i == 0, directory);
    }
    if (encrypt && !stream_.EndEncryption()) aborted_ = true;
    stream_.Flush();
    return problems_.empty() && !stream_.Failed() && !aborted_;
}

void CZTDocSerializer::WritePage(CZTDocCore& core, const CZTPageListEntry& entry, bool first, bool directory) {
    stream_.WriteString(first ? std::string("c") : entry.indicator);
    stream_.WriteString(entry.title);
    static const CZTNode kEmpty;
    CZTNode* node = core.Node(entry.ident);
    const CZTNode& n = node ? *node : kEmpty;
    stream_.WriteInt(n.method);
    stream_.WriteInt(int32_t(n.content.size()));
    stream_.WriteUInt(n.crc);
    stream_.WriteInt(n.uncompressedLength);
    stream_.WriteString(n.createdBy);
    stream_.WriteString(n.modifiedBy);
    stream_.WriteInt(n.ctime);
    stream_.WriteInt(n.mtime);
    stream_.WriteInt(int32_t(n.ext.size()));
    stream_.WriteBytes(n.ext);
    stream_.WriteBytes(n.content);
    if (!node) {
        stream_.WriteInt(0);
        stream_.WriteUInt(kTagFF40);
        return;
    }
    if (directory) {
        stream_.WriteInt(int32_t(node->files.size()));
        for (auto& f : node->files) WriteDirectoryFile(core, f, entry.title);
    } else {
        // Contents held in files are read first; a file whose content cannot be
        // read is left out of the copy (and reported) rather than written empty.
        struct Item {
            CZTFileEntry* entry;
            std::string loaded;
            bool fromFile;
        };
        std::vector<Item> items;
        for (auto& f : node->files) {
            if (f.inMemory || !f.HasContentSource()) {
                items.push_back({&f, {}, false});
                continue;
            }
            CZTFileRecord r;
            static_cast<CZTFileData&>(r) = f;
            std::string buffer, error;
            bool raw = false;
            if (!r.LoadCompressed(buffer, raw, &error)) {
                problems_.push_back(Where(entry.title, f.name) + ": " + error);
                continue;
            }
            uint32_t len = 0, crc = 0;
            BufferPrefix(buffer, len, crc);
            f.uncompressedLength = int32_t(len);
            f.crc = crc;
            f.storedLength = int32_t(buffer.size());
            items.push_back({&f, std::move(buffer), true});
        }
        stream_.WriteInt(int32_t(items.size()));
        for (auto& item : items) {
            CZTFileEntry& f = *item.entry;
            const std::string& payload = item.fromFile ? item.loaded : f.data.str();
            int32_t method = payload.empty() ? 0 : (item.fromFile ? 1 : f.MethodLow());
            WriteFileHead(f, method, int32_t(payload.size()));
            stream_.WriteBytes(payload);
        }
    }
    stream_.WriteUInt(kTagFF40);
}

void CZTDocSerializer::WriteFileHead(const CZTFileEntry& f, int32_t methodWord, int32_t storedLength) {
    stream_.WriteString(f.name);
    stream_.WriteInt(methodWord);
    stream_.WriteInt(storedLength);
    stream_.WriteInt(f.mtime);
    stream_.WriteInt(f.ctime);
    stream_.WriteUInt(f.crc);
    stream_.WriteString(f.createdBy);
    stream_.WriteString(f.modifiedBy);
    stream_.WriteInt(f.uncompressedLength);
    stream_.WriteInt(int32_t(f.ext.size()));
    stream_.WriteBytes(f.ext);
}

namespace {

// Whether an external content file is a "ZT07" item. Such an item is bound to
// the IV of the key area it was written under, which every save renews; it is
// therefore rewritten as a self-contained "ZT08" item.
bool IsZt07File(const std::string& path) {
    char head[4];
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool zt07 = ::read(fd, head, 4) == 4 && std::memcmp(head, "ZT07", 4) == 0;
    ::close(fd);
    return zt07;
}

} // namespace

// One attached file of a directory-form document: its content goes to an
// external content file in the document directory D (= the core's path) and
// the record names it by a path relative to D. Content files are encoded as
// the write asks (items of the key ring, or gzip); a file on disk encoded
// otherwise (the encryption was created or removed, or the document key
// changed since it was written) is re-encoded into a new file, and the old
// one is deleted only after the save succeeded.
void CZTDocSerializer::WriteDirectoryFile(CZTDocCore& core, CZTFileEntry& f, const std::string& pageTitle) {
    const std::string& D = core.path;
    const std::string where = Where(pageTitle, f.name);
    auto fail = [&](const std::string& why) {
        problems_.push_back(where + ": " + why);
        WriteFileHead(f, f.MethodLow(), f.storedLength);
        stream_.WriteString(f.inExternal ? f.extPath : std::string());
    };

    // A content file that was missing when the document was read keeps its
    // reference; nothing is written in its place.
    if (f.missing && !f.inMemory && !f.inTemp) {
        WriteFileHead(f, f.MethodLow(), f.storedLength);
        stream_.WriteString(f.extPath);
        return;
    }

    const bool tempMark = core.markExternal && (f.inMemory || (f.inTemp && !f.inExternal));
    const bool onDisk = !f.inMemory && (f.inExternal || f.inTemp);
    const bool reencode = onDisk && (f.contentKeys != fileKeys_ ||
                                     (fileRing_ && IsZt07File(f.inExternal ? f.ExternalFile() : f.TempFile())));
    std::string current = f.inExternal ? f.extPath : f.tempPath;
    bool needNew = current.empty() || f.base != D || reencode;
    // A temp copy without temp marking moves to a final place of its own, never
    // onto itself; content in memory never overwrites a file the last saved
    // state still refers to.
    if (!tempMark && f.inTemp && !f.inExternal) needNew = true;
    if (f.inMemory && !current.empty()) needNew = true;
    std::string rel = current;
    if (needNew) {
        rel = MakeUniqueName((tempMark ? "/ZTTmp/" : "/") + DiskNameRule(f.name) + ".gz",
                             [&](const std::string& r) {
                                 struct stat st;
                                 return lstat(JoinPath(D, r).c_str(), &st) == 0;
                             });
    }
    const std::string target = JoinPath(D, rel);
    std::string error;
    if (tempMark && !core.EnsureTempDirectory(&error)) return fail(error);

    uint32_t len = uint32_t(f.uncompressedLength), crc = f.crc;
    int32_t stored = f.storedLength;
    // Reads the content from the entry's own file and writes it to the target.
    auto copyContent = [&](const std::string& source) {
        std::string buffer;
        if (!ReadExternalContent(source, buffer, &error, f.contentKeys.get(), f.storedLength) ||
            !WriteExternalContent(target, buffer, &error, fileRing_))
            return false;
        if (buffer.empty() || !BufferPrefix(buffer, len, crc)) len = crc = 0;
        stored = int32_t(buffer.size());
        return true;
    };
    if (f.inMemory || !f.HasContentSource()) {
        std::string buffer = f.data;
        if (f.inMemory && f.MethodLow() == 0 && !buffer.empty()) buffer = CompressBuffer(f.data);
        if (!buffer.empty() && !BufferPrefix(buffer, len, crc)) return fail("ungültiger Inhalt");
        if (buffer.empty()) len = crc = 0;
        stored = int32_t(buffer.size());
        if (!WriteExternalContent(target, buffer, &error, fileRing_)) return fail(error);
        if (!core.keepExternal) {
            if (f.inTemp) ::unlink(f.TempFile().c_str());
            if (f.inExternal && f.base == D && f.extPath != rel) core.ScheduleDeletion(f.ExternalFile());
            f.ClearContent();
            f.base = D;
            if (tempMark) {
                f.tempPath = rel;
                f.inTemp = true;
            } else {
                f.extPath = rel;
                f.inExternal = true;
            }
            f.filesOnDisk = true;
            f.contentKeys = fileKeys_;
        }
    } else if (f.inTemp && !f.inExternal && needNew) {
        const std::string source = f.TempFile();
        if (source != target) {
            bool moved = false;
            if (!core.keepExternal && !reencode) moved = ::rename(source.c_str(), target.c_str()) == 0;
            if (!moved) {
                if (!copyContent(source)) return fail(error);
                if (!core.keepExternal) ::unlink(source.c_str());
            }
        }
        if (!core.keepExternal) {
            f.tempPath.clear();
            f.inTemp = false;
            f.extPath = rel;
            f.inExternal = true;
            f.base = D;
            f.filesOnDisk = true;
            f.contentKeys = fileKeys_;
            f.storedLength = stored;
        }
    } else if (needNew) {
        const std::string source = f.inExternal ? f.ExternalFile() : f.TempFile();
        if (!copyContent(source)) return fail(error);
        if (reencode && f.base == D && !core.keepExternal && !tempMark) {
            // Re-encoded in the document's own directory: the entry moves to
            // the new file; the old one goes after the save has succeeded.
            if (f.inExternal) core.ScheduleDeletion(f.ExternalFile());
            if (f.inTemp) ::unlink(f.TempFile().c_str());
            f.tempPath.clear();
            f.inTemp = false;
            f.extPath = rel;
            f.inExternal = true;
            f.contentKeys = fileKeys_;
            f.storedLength = stored;
        }
        // Otherwise (content in a file of another directory) the content was
        // copied and the entry stays as it was.
    }
    // Otherwise the content already lies at D + rel.
    CZTFileEntry head = f;
    head.uncompressedLength = int32_t(len);
    head.crc = crc;
    if (f.inExternal || f.inTemp) {
        f.uncompressedLength = int32_t(len);
        f.crc = crc;
    }
    int32_t methodWord = (stored > 0 || len > 0 ? 1 : f.MethodLow()) | (tempMark ? 0x100 : 0);
    WriteFileHead(head, methodWord, stored);
    stream_.WriteString(rel);
}
