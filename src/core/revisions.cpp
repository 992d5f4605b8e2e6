#include "revisions.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/messages.h"
#include "base/system.h"
#include "base/xml.h"
#include "core/chunker.h"
#include "core/compress.h"
#include "core/ztexception.h"
#include "security/crypto.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <initializer_list>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_set>

namespace zt {

namespace {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kOctets = 0x04;
constexpr uint8_t kContext0 = 0x80; // revision time, compressed chunk, checksum
constexpr uint8_t kContext1 = 0x81; // visibility; byte blocks in bodies
constexpr uint8_t kBodyInteger = 0xC0;
constexpr uint8_t kBodyString = 0xC1;
constexpr size_t kShaSize = 20;

[[noreturn]] void Damaged(const std::string& what) { ThrowDamaged("Versionsspeicher: " + what); }

void AppendLength(std::string& out, size_t n) {
    if (n < 0x80) {
        out.push_back(char(n));
        return;
    }
    int bytes = n <= 0xFF ? 1 : n <= 0xFFFF ? 2 : n <= 0xFFFFFF ? 3 : 4;
    out.push_back(char(0x80 + bytes));
    for (int i = bytes - 1; i >= 0; --i) out.push_back(char((uint64_t(n) >> (8 * i)) & 0xFF));
}

void AppendBE32(std::string& out, uint32_t v) {
    out.push_back(char(v >> 24));
    out.push_back(char(v >> 16));
    out.push_back(char(v >> 8));
    out.push_back(char(v));
}

uint32_t GetBE32(const char* p) {
    auto b = reinterpret_cast<const uint8_t*>(p);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

// ------------------------------------------------------------ container input

// Reads the container's elements from the stream and keeps the running
// Adler-32 of what it read.
class ContainerReader {
public:
    explicit ContainerReader(CZTDocStream& s) : s_(s) {}

    struct Sequence {
        bool indefinite = true;
        uint64_t end = 0;
    };

    uint8_t Byte() { return uint8_t(View(1)[0]); }
    std::string Bytes(size_t n) { return std::string(View(n)); }
    std::string_view View(size_t n) {
        std::string_view b = s_.ReadView(int64_t(n));
        Sum(b);
        return b;
    }
    // The contents of a primitive element whose tag was read, sharing the
    // stream's bytes instead of copying them.
    CZTBytes SharedPrimitive() {
        std::string_view v = View(Length());
        if (const auto& owner = s_.LoadedBytes()) return CZTBytes(owner, v);
        return CZTBytes(std::string(v));
    }
    // A definite BER length.
    size_t Length() {
        uint8_t first = Byte();
        if (first < 0x80) return first;
        int count = first - 0x80;
        if (count < 1 || count > 4) Damaged("ungültige Länge");
        uint64_t n = 0;
        for (int i = 0; i < count; ++i) n = (n << 8) | Byte();
        if (n > s_.Remaining()) Damaged("Länge hinter dem Ende der Daten");
        return size_t(n);
    }
    // The contents of a primitive element whose tag was read.
    std::string Primitive() { return Bytes(Length()); }
    // A sequence whose tag was read.
    Sequence Open() {
        Sequence seq;
        uint8_t first = Byte();
        if (first == 0x80) return seq;
        int count = first < 0x80 ? 0 : first - 0x80;
        if (count > 4) Damaged("ungültige Länge");
        uint64_t n = first < 0x80 ? first : 0;
        for (int i = 0; i < count; ++i) n = (n << 8) | Byte();
        if (n > s_.Remaining()) Damaged("Länge hinter dem Ende der Daten");
        seq.indefinite = false;
        seq.end = s_.Position() + n;
        return seq;
    }
    // The tag of the next element of `seq`, or 0 when the sequence ends here
    // (its close is read).
    uint8_t Next(const Sequence& seq) {
        if (!seq.indefinite) {
            if (s_.Position() == seq.end) return 0;
            if (s_.Position() > seq.end) Damaged("Element ragt über seine Folge hinaus");
            uint8_t t = Byte();
            if (t == 0) Damaged("unerwartetes Ende einer Folge");
            return t;
        }
        uint8_t t = Byte();
        if (t == 0 && Byte() != 0) Damaged("ungültiges Folgenende");
        return t;
    }
    void ExpectTag(const Sequence& seq, uint8_t tag, const char* what) {
        if (Next(seq) != tag) Damaged(std::string(what) + " fehlt");
    }
    void ExpectEnd(const Sequence& seq, const char* what) {
        if (Next(seq) != 0) Damaged(std::string("überzähliges Element in ") + what);
    }
    std::string Sha1Element(const Sequence& seq, const char* what) {
        ExpectTag(seq, kOctets, what);
        std::string h = Primitive();
        if (h.size() != kShaSize) Damaged(std::string(what) + " hat eine falsche Länge");
        return h;
    }

    void StopSum() { summing_ = false; }
    uint32_t Adler() const { return adler_; }
    uint64_t Remaining() const { return s_.Remaining(); }

private:
    void Sum(std::string_view b) {
        if (summing_) adler_ = Adler32(b, adler_);
    }
    CZTDocStream& s_;
    uint32_t adler_ = 1;
    bool summing_ = true;
};

// An entry from its visibility element on (the tag after the time was read
// into `tag`).
void ReadEntryRest(ContainerReader& in, const ContainerReader::Sequence& entry, uint8_t tag, int32_t time,
                   CZTHistory& history) {
    CZTRevision revision;
    if (tag == kContext1) {
        std::string flag = in.Primitive();
        if (flag.size() != 1) Damaged("Sichtbarkeit hat eine falsche Länge");
        revision.visible = flag[0] != 0;
        tag = in.Next(entry);
    }
    if (tag != kSequence) Damaged("Versionsdaten fehlen");
    auto data = in.Open();
    in.ExpectTag(data, kSequence, "Blockliste");
    auto items = in.Open();
    for (uint8_t t; (t = in.Next(items)) != 0;) {
        if (t != kSequence) Damaged("Block erwartet");
        auto item = in.Open();
        CZTStoredChunk chunk;
        chunk.hash = DigestOf(in.Sha1Element(item, "Blockprüfsumme"));
        uint8_t kind = in.Next(item);
        if (kind != kContext0 && kind != kOctets) Damaged("Blockinhalt fehlt");
        chunk.compressed = kind == kContext0;
        chunk.bytes = in.SharedPrimitive();
        in.ExpectEnd(item, "Block");
        history.AddChunk(std::move(chunk));
    }
    in.ExpectTag(data, kSequence, "Prüfsummenliste");
    auto hashes = in.Open();
    revision.body = DigestOf(in.Sha1Element(hashes, "Inhaltsprüfsumme"));
    in.ExpectTag(hashes, kSequence, "Blockfolge");
    auto list = in.Open();
    for (uint8_t t; (t = in.Next(list)) != 0;) {
        if (t != kOctets) Damaged("Blockprüfsumme erwartet");
        std::string h = in.Primitive();
        if (h.size() != kShaSize) Damaged("Blockprüfsumme hat eine falsche Länge");
        revision.chunks.push_back(DigestOf(h));
    }
    in.ExpectEnd(hashes, "Prüfsummenliste");
    in.ExpectEnd(data, "Versionsdaten");
    history.PutRevision(time, std::move(revision));
}

void ReadEntry(ContainerReader& in, CZTHistory& history) {
    auto entry = in.Open();
    in.ExpectTag(entry, kInteger, "Eintragsversion");
    std::string version = in.Primitive();
    if (version.size() != 1 || version[0] != 2) Damaged("unbekannte Eintragsversion");
    in.ExpectTag(entry, kContext0, "Versionszeit");
    std::string time = in.Primitive();
    if (time.size() != 4) Damaged("Versionszeit hat eine falsche Länge");
    ReadEntryRest(in, entry, in.Next(entry), int32_t(GetBE32(time.data())), history);
    in.ExpectEnd(entry, "Versionseintrag");
}

// The older delta form: a checksum, a flag byte and a payload of records; a
// record of type 2 holds the rest of a revision entry.
void ReadDeltaForm(ContainerReader& in, CZTHistory& history) {
    const uint8_t n = in.Byte();
    if (n != 4 && n != 32) Damaged("unbekannte Prüfsumme der Deltaform");
    // The checksum names the body buffer of the reading core; that buffer is
    // empty whenever a file is read (bodies are streamed while they are
    // written), so there is nothing to compare it with.
    in.Bytes(n);
    history.deltaFlag = in.Byte();
    std::string size = in.Bytes(4);
    const int32_t m = int32_t(GetLE32(size.data()));
    if (m < 0) Damaged("negative Länge der Deltaform");
    const std::string payload = in.Bytes(size_t(m));
    size_t pos = 0;
    while (payload.size() - pos >= 10) {
        const uint8_t type = uint8_t(payload[pos]);
        const int32_t key = int32_t(GetLE32(payload.data() + pos + 1));
        const int32_t length = int32_t(GetLE32(payload.data() + pos + 5));
        if (length <= 0 || type >= 3) break;
        pos += 9;
        if (size_t(length) > payload.size() - pos) Damaged("Deltasatz ragt über das Ende hinaus");
        if (type == 2) {
            CZTDocStream record = CZTDocStream::Loading(payload.substr(pos, size_t(length)));
            ContainerReader rin(record);
            rin.StopSum();
            // The record is the inside of an entry after its time.
            ContainerReader::Sequence rest;
            rest.indefinite = false;
            rest.end = uint64_t(length);
            ReadEntryRest(rin, rest, rin.Next(rest), key, history);
        }
        pos += size_t(length);
    }
}

// ------------------------------------------------------------ body input

// The pieces of a body in order.
class PieceSource {
public:
    virtual ~PieceSource() = default;
    virtual uint64_t Size() const = 0;
    // The next piece; empty at the end. Throws code 2 for a damaged body.
    virtual std::string_view Next() = 0;
};

class MemorySource : public PieceSource {
public:
    explicit MemorySource(std::string_view body) : body_(body) {}
    uint64_t Size() const override { return body_.size(); }
    std::string_view Next() override {
        std::string_view p = done_ ? std::string_view() : body_;
        done_ = true;
        return p;
    }

private:
    std::string_view body_;
    bool done_ = false;
};

// Reads the BER elements of a body from its pieces.
class BodyCursor {
public:
    explicit BodyCursor(PieceSource& source) : source_(source), size_(source.Size()) {}
    // The source hands out `block` itself in one piece: page texts are then
    // kept as ranges of it instead of being copied.
    BodyCursor(PieceSource& source, std::shared_ptr<const CZTBlock> block)
        : source_(source), size_(source.Size()), block_(std::move(block)) {}

    struct Sequence {
        bool indefinite = true;
        uint64_t end = 0;
    };

    uint8_t Byte() {
        if (cur_.empty() && !Fill()) Fail("unerwartetes Ende");
        const uint8_t b = uint8_t(cur_[0]);
        cur_.remove_prefix(1);
        ++pos_;
        return b;
    }
    // Hands the next n bytes to `f` in pieces.
    template <class F>
    void Take(size_t n, F&& f) {
        while (n > 0) {
            if (cur_.empty() && !Fill()) Fail("unerwartetes Ende");
            const size_t k = std::min(n, cur_.size());
            f(cur_.substr(0, k));
            cur_.remove_prefix(k);
            pos_ += k;
            n -= k;
        }
    }
    // A definite BER length whose first byte is `first`.
    size_t Length(uint8_t first) {
        if (first < 0x80) return first;
        const int count = first - 0x80;
        if (count < 1 || count > 4) Fail("ungültige Länge");
        uint64_t n = 0;
        for (int i = 0; i < count; ++i) n = (n << 8) | Byte();
        if (n > size_ - pos_) Fail("Länge hinter dem Ende");
        return size_t(n);
    }
    // A sequence whose tag was read.
    Sequence Open() {
        Sequence seq;
        const uint8_t first = Byte();
        if (first == 0x80) return seq;
        seq.indefinite = false;
        seq.end = pos_ + Length(first);
        return seq;
    }
    Sequence OpenList() {
        if (Byte() != kSequence) Fail("Seitenliste fehlt");
        return Open();
    }
    // The tag of the next element of `seq`; 0 at its end (the close is read).
    uint8_t Next(const Sequence& seq) {
        if (!seq.indefinite) {
            if (pos_ == seq.end) return 0;
            if (pos_ > seq.end) Fail("Element ragt über seine Folge hinaus");
            const uint8_t t = Byte();
            if (t == 0) Fail("unerwartetes Folgenende");
            return t;
        }
        const uint8_t t = Byte();
        if (t == 0 && Byte() != 0) Fail("ungültiges Folgenende");
        return t;
    }
    void Expect(const Sequence& seq, uint8_t tag) {
        if (Next(seq) != tag) Fail("Element fehlt");
    }
    void ExpectEnd(const Sequence& seq) {
        if (Next(seq) != 0) Fail("überzähliges Element");
    }
    // The length of a primitive element of `seq` with that tag.
    size_t Primitive(const Sequence& seq, uint8_t tag) {
        Expect(seq, tag);
        return Length(Byte());
    }
    std::string String(const Sequence& seq, uint8_t tag = kBodyString) {
        std::string s;
        const size_t n = Primitive(seq, tag);
        s.reserve(n);
        Take(n, [&](std::string_view p) { s.append(p); });
        return s;
    }
    int32_t Integer(const Sequence& seq) {
        const size_t n = Primitive(seq, kBodyInteger);
        if (n > 4) Fail("Zahl zu lang");
        uint32_t x = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = Byte();
            if (i == 0 && (b & 0x80)) x = 0xFFFFFFFFu;
            x = (x << 8) | b;
        }
        return int32_t(x);
    }
    // A text element taken into a buffer of stored blocks (see StoreBuffer):
    // one copy and the CRC-32, no compression.
    void Text(const Sequence& seq, std::string& buffer, int32_t& stored, uint32_t& crc, int32_t& length,
              int32_t& method) {
        const size_t n = Primitive(seq, kContext1);
        if (n > size_t(INT32_MAX) - 4096) Fail("Text zu lang");
        buffer.clear();
        crc = 0;
        if (n > 0) {
            constexpr size_t kBlock = 65535;
            buffer.reserve(8 + 5 * ((n + kBlock - 1) / kBlock) + n);
            buffer.append(8, '\0');
            for (size_t at = 0; at < n; at += kBlock) {
                const size_t k = std::min(kBlock, n - at);
                const char head[5] = {char(at + k == n ? 1 : 0), char(k & 0xFF), char(k >> 8), char(~k & 0xFF),
                                      char((~k >> 8) & 0xFF)};
                buffer.append(head, 5);
                Take(k, [&](std::string_view p) {
                    buffer.append(p);
                    crc = Crc32(p, crc);
                });
            }
            SetLE32(buffer.data(), uint32_t(n));
            SetLE32(buffer.data() + 4, crc);
        }
        stored = int32_t(buffer.size());
        length = int32_t(n);
        method = n > 0 ? 1 : 0;
    }
    // A page text: shared with the block when there is one (its CRC-32 is
    // left for the caller to fill in), else copied.
    void Text(const Sequence& seq, CZTContent& content, int32_t& stored, uint32_t& crc, int32_t& length,
              int32_t& method) {
        if (!block_) {
            std::string buffer;
            Text(seq, buffer, stored, crc, length, method);
            content = std::move(buffer);
            return;
        }
        const size_t n = Primitive(seq, kContext1);
        if (n > size_t(INT32_MAX) - 4096) Fail("Text zu lang");
        const uint64_t at = pos_;
        Take(n, [](std::string_view) {});
        content.clear();
        crc = 0;
        if (n > 0) content.Share(block_, size_t(at), n);
        stored = int32_t(StoredBufferSize(n));
        length = int32_t(n);
        method = n > 0 ? 1 : 0;
    }
    // The next byte, left unread.
    uint8_t Peek() {
        if (cur_.empty() && !Fill()) Fail("unerwartetes Ende");
        return uint8_t(cur_[0]);
    }
    // Reads the rest of the body (so that all of it is checked).
    void Drain() {
        while (Fill()) pos_ += cur_.size();
        cur_ = {};
    }

    [[noreturn]] void Fail(const char* what) {
        ThrowDamaged(std::string("Versionsinhalt: ") + what + " bei Byte " + std::to_string(pos_));
    }

private:
    bool Fill() {
        cur_ = source_.Next();
        return !cur_.empty();
    }
    PieceSource& source_;
    const uint64_t size_;
    std::shared_ptr<const CZTBlock> block_;
    std::string_view cur_;
    uint64_t pos_ = 0;
};

// Sets a page text or file content given whole (XML bodies).
void TakeText(std::string_view text, std::string& buffer, int32_t& stored, uint32_t& crc, int32_t& length,
              int32_t& method) {
    if (text.size() > size_t(INT32_MAX) - 4096) ThrowDamaged("Versionsinhalt: Text zu lang");
    buffer = StoreBuffer(text);
    uint32_t len = 0;
    crc = 0;
    BufferPrefix(buffer, len, crc);
    stored = int32_t(buffer.size());
    length = int32_t(text.size());
    method = buffer.empty() ? 0 : 1;
}

void ReadBerBody(BodyCursor& in, CZTDocCore& core, CZTPageList& pages) {
    auto list = in.OpenList();
    for (uint8_t t; (t = in.Next(list)) != 0;) {
        if (t != kSequence) in.Fail("Seite erwartet");
        auto page = in.Open();
        CZTPageListEntry entry;
        entry.indicator = in.String(page);
        entry.title = in.String(page);
        in.Integer(page); // record version
        const int32_t ident = core.AppendNode();
        CZTNode& node = *core.Node(ident);
        node.createdBy = in.String(page);
        node.modifiedBy = in.String(page);
        node.ctime = in.Integer(page);
        node.mtime = in.Integer(page);
        node.ext = in.String(page, kContext1);
        in.Text(page, node.content, node.storedLength, node.crc, node.uncompressedLength, node.method);
        in.Expect(page, kSequence);
        auto files = in.Open();
        for (uint8_t ft; (ft = in.Next(files)) != 0;) {
            if (ft != kSequence) in.Fail("Datei erwartet");
            auto file = in.Open();
            CZTFileEntry f;
            f.name = in.String(file);
            in.Integer(file); // record version
            f.mtime = in.Integer(file);
            f.ctime = in.Integer(file);
            f.createdBy = in.String(file);
            f.modifiedBy = in.String(file);
            f.ext = in.String(file, kContext1);
            in.Text(file, f.data, f.storedLength, f.crc, f.uncompressedLength, f.method);
            f.inMemory = true;
            in.ExpectEnd(file);
            node.files.push_back(std::move(f));
        }
        in.ExpectEnd(page);
        entry.ident = ident;
        pages.push_back(std::move(entry));
    }
}

// XML bodies: a root element whose children are `node` elements.
class XmlBodyReader {
public:
    XmlBodyReader(CZTDocCore& core, CZTPageList& pages) : core_(core), pages_(pages) {}

    void Read(std::string_view text) {
        xml::Document doc = xml::Parse(text);
        const xml::Node* root = FirstElement(doc.Root());
        if (root && !root->name.empty() && root->name[0] == '?') root = FirstElement(*root);
        if (!root) return;
        for (const xml::Node* child : root->children) {
            if (child->IsText()) continue;
            if (!xml::NamesEqual(child->name, "node") || !ReadPage(*child)) return;
        }
    }

private:
    static const xml::Node* FirstElement(const xml::Node& n) {
        for (const xml::Node* c : n.children)
            if (!c->IsText()) return c;
        return nullptr;
    }

    // The element children of `n` in order, which must carry the given names.
    static bool Elements(const xml::Node& n, std::initializer_list<const char*> names,
                         std::vector<const xml::Node*>& out) {
        out.clear();
        auto want = names.begin();
        for (const xml::Node* c : n.children) {
            if (c->IsText()) continue;
            if (want == names.end()) break;
            if (!xml::NamesEqual(c->name, *want)) return false;
            out.push_back(c);
            ++want;
        }
        return want == names.end();
    }

    // The value of an element: its text, or its hexadecimal text decoded when
    // it says enc="hex". False for another encoding (the document ends there).
    static bool Value(const xml::Node& n, std::string& out) {
        std::string enc = xml::AttributeOf(n, "enc");
        std::string text = xml::TextOf(n);
        out.clear();
        if (enc.empty()) {
            out = std::move(text);
            return true;
        }
        if (!xml::NamesEqual(enc, "hex")) return false;
        std::string digits;
        for (char c : text)
            if (!std::isspace(uint8_t(c))) digits.push_back(c);
        if (digits.size() % 2) return true;
        auto nibble = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        out.reserve(digits.size() / 2);
        for (size_t i = 0; i < digits.size(); i += 2) {
            int hi = nibble(digits[i]), lo = nibble(digits[i + 1]);
            if (hi < 0 || lo < 0) {
                out.clear();
                return true;
            }
            out.push_back(char(hi << 4 | lo));
        }
        return true;
    }

    static int32_t Number(const std::string& s) {
        long long v = std::strtoll(s.c_str(), nullptr, 10);
        return int32_t(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    }

    // A text with its method: method 1 and a valid compressed buffer are taken
    // as they are, anything else is the text itself.
    static void Content(const std::string& method, std::string value, std::string& buffer, int32_t& stored,
                        uint32_t& crc, int32_t& length, int32_t& outMethod) {
        std::string text;
        if (Number(method) == 1 && DecompressBuffer(value, text)) {
            uint32_t len = 0;
            BufferPrefix(value, len, crc);
            buffer = std::move(value);
            stored = int32_t(buffer.size());
            length = int32_t(len);
            outMethod = 1;
            return;
        }
        TakeText(value, buffer, stored, crc, length, outMethod);
    }

    bool ReadPage(const xml::Node& n) {
        std::vector<const xml::Node*> e;
        if (!Elements(n, {"treeindicator", "nodename", "nMethod", "userC", "userM", "pageCTime", "pageMTime",
                          "extBytes", "page", "files"},
                      e))
            return false;
        std::string v[9];
        for (int i = 0; i < 9; ++i)
            if (!Value(*e[size_t(i)], v[i])) return false;
        CZTNode node;
        node.used = true;
        node.createdBy = v[3];
        node.modifiedBy = v[4];
        node.ctime = Number(v[5]);
        node.mtime = Number(v[6]);
        node.ext = v[7];
        std::string content;
        Content(v[2], std::move(v[8]), content, node.storedLength, node.crc, node.uncompressedLength, node.method);
        node.content = std::move(content);
        std::vector<const xml::Node*> fe;
        for (const xml::Node* f : e[9]->children) {
            if (f->IsText()) continue;
            if (!xml::NamesEqual(f->name, "file") ||
                !Elements(*f, {"name", "nMethod", "MTime", "CTime", "userCName", "userMName", "ExtBytes", "fileData"},
                          fe))
                return false;
            std::string w[8];
            for (int i = 0; i < 8; ++i)
                if (!Value(*fe[size_t(i)], w[i])) return false;
            CZTFileEntry file;
            file.name = w[0];
            file.mtime = Number(w[2]);
            file.ctime = Number(w[3]);
            file.createdBy = w[4];
            file.modifiedBy = w[5];
            file.ext = w[6];
            std::string data;
            Content(w[1], std::move(w[7]), data, file.storedLength, file.crc, file.uncompressedLength, file.method);
            file.data = std::move(data);
            file.inMemory = true;
            node.files.push_back(std::move(file));
        }
        const int32_t ident = core_.AppendNode();
        *core_.Node(ident) = std::move(node);
        pages_.push_back({v[0], v[1], ident, {}});
        return true;
    }

    CZTDocCore& core_;
    CZTPageList& pages_;
};

// ------------------------------------------------------------ output

// Writes through the stream and keeps the Adler-32 of what it wrote.
class ContainerWriter {
public:
    explicit ContainerWriter(CZTDocStream& s) : s_(s) {}
    void Put(std::string_view b) {
        s_.WriteBytes(b);
        adler_ = Adler32(b, adler_);
    }
    // Bytes outside the checksum.
    void Raw(std::string_view b) { s_.WriteBytes(b); }
    uint32_t Adler() const { return adler_; }

private:
    CZTDocStream& s_;
    uint32_t adler_ = 1;
};

const std::string_view kOpen("\x30\x80", 2);
const std::string_view kClose("\0\0", 2);

void WriteEntryHead(ContainerWriter& out, int32_t time, bool visible) {
    std::string b("\x30\x80\x02\x01\x02\x80\x04", 7);
    AppendBE32(b, uint32_t(time));
    b.append("\x81\x01", 2);
    b.push_back(visible ? char(0xFF) : char(0));
    b.append(kOpen);
    b.append(kOpen); // revision data, chunk items
    out.Put(b);
}

void WriteChunkItem(ContainerWriter& out, const CZTDigest& hash, std::string_view compressed) {
    std::string b("\x30\x80\x04\x14", 4);
    b.append(reinterpret_cast<const char*>(hash.data()), hash.size());
    b.push_back(char(kContext0));
    AppendLength(b, compressed.size());
    out.Put(b);
    out.Put(compressed);
    out.Put(kClose);
}

// Closes the chunk items, writes the hash lists and closes the entry.
void WriteEntryTail(ContainerWriter& out, const CZTDigest& body, const std::vector<CZTDigest>& chunks) {
    std::string b;
    b.reserve(16 + 22 * chunks.size());
    b.append(kClose); // chunk items
    b.append("\x30\x80\x04\x14", 4);
    b.append(reinterpret_cast<const char*>(body.data()), body.size());
    b.append(kOpen);
    for (const auto& c : chunks) {
        b.append("\x04\x14", 2);
        b.append(reinterpret_cast<const char*>(c.data()), c.size());
    }
    b.append(kClose);
    b.append(kClose);
    b.append(kClose); // revision data
    b.append(kClose); // entry
    out.Put(b);
}

// Streams the BER page list. Small elements are gathered; texts and contents
// go to the feed as they are.
class BodyWriter {
public:
    BodyWriter(CZTDocCore& core, const std::function<void(std::string_view)>& feed,
               std::vector<std::string>& problems)
        : core_(core), feed_(feed), problems_(problems) {}

    void Write(const CZTPageList& pages) {
        frame_.append(kOpen);
        for (size_t i = 0; i < pages.size(); ++i) WritePage(pages[i], i == 0);
        frame_.append(kClose);
        Flush();
    }

private:
    void Flush() {
        if (!frame_.empty()) feed_(frame_);
        frame_.clear();
    }
    void String(std::string_view s) {
        frame_.push_back(char(kBodyString));
        AppendLength(frame_, s.size());
        frame_.append(s);
    }
    void Integer(int32_t v) {
        frame_.append("\xC0\x04", 2);
        AppendBE32(frame_, uint32_t(v));
    }
    void Block(std::string_view data) { Pieces({data}, data.size()); }
    void Pieces(const std::vector<std::string_view>& pieces, size_t total) {
        frame_.push_back(char(kContext1));
        AppendLength(frame_, total);
        if (total < 4096) {
            for (auto p : pieces) frame_.append(p);
            return;
        }
        Flush();
        for (auto p : pieces) feed_(p);
    }
    // A text from a compressed buffer (or the raw bytes of method 0).
    void Content(std::string_view buffer, bool compressed, const std::string& where) {
        if (!compressed || buffer.empty()) {
            Block(buffer);
            return;
        }
        if (StoredPieces(buffer, pieces_)) {
            size_t total = 0;
            for (auto p : pieces_) total += p.size();
            Pieces(pieces_, total);
            return;
        }
        std::string error;
        if (!DecompressBuffer(buffer, text_, &error)) {
            problems_.push_back(where + ": " + error);
            text_.clear();
        }
        Block(text_);
    }

    static std::string Where(const std::string& title, const std::string& file = {}) {
        std::string w = "Seite \"" + Cp1252ToUtf8(title) + "\"";
        if (!file.empty()) w += ", Datei \"" + Cp1252ToUtf8(file) + "\"";
        return w;
    }

    void WritePage(const CZTPageListEntry& entry, bool first) {
        static const CZTNode kEmpty;
        const CZTNode* found = core_.Node(entry.ident);
        const CZTNode& n = found ? *found : kEmpty;
        frame_.append(kOpen);
        String(first ? std::string_view("c") : std::string_view(entry.indicator));
        String(entry.title);
        Integer(2);
        String(n.createdBy);
        String(n.modifiedBy);
        Integer(n.ctime);
        Integer(n.mtime);
        Block(n.ext);
        if (n.method == 1 && n.content.IsShared())
            Block(n.content.SharedText()); // still the text read from the last revision
        else
            Content(n.method == 1 ? std::string_view(n.content) : std::string_view(), true, Where(entry.title));
        frame_.append(kOpen);
        for (const auto& f : n.files) WriteFile(f, entry.title);
        frame_.append(kClose);
        frame_.append(kClose);
    }

    void WriteFile(const CZTFileEntry& f, const std::string& title) {
        std::string loaded;
        std::string_view buffer;
        bool compressed = f.MethodLow() == 1;
        if (f.inMemory && f.data.IsShared() && compressed) {
            buffer = f.data.SharedText(); // still the content read from the last revision
            compressed = false;
        } else if (f.inMemory) {
            buffer = f.data;
        } else if (f.HasContentSource()) {
            // Contents held in files are read for the write; one that cannot be
            // read is left out (and reported) rather than written empty.
            CZTFileRecord r;
            static_cast<CZTFileData&>(r) = f;
            std::string error;
            bool raw = false;
            if (!r.LoadCompressed(loaded, raw, &error)) {
                problems_.push_back(Where(title, f.name) + ": " + error);
                return;
            }
            buffer = loaded;
            compressed = !raw;
        } else if (!f.inMemory) {
            buffer = {};
        }
        frame_.append(kOpen);
        String(f.name);
        Integer(0);
        Integer(f.mtime);
        Integer(f.ctime);
        String(f.createdBy);
        String(f.modifiedBy);
        Block(f.ext);
        Content(buffer, compressed, Where(title, f.name));
        frame_.append(kClose);
    }

    CZTDocCore& core_;
    const std::function<void(std::string_view)>& feed_;
    std::vector<std::string>& problems_;
    std::string frame_;
    std::string text_;
    std::vector<std::string_view> pieces_;
};

// Carries the body from the thread that builds it to the thread that chunks
// it, in blocks; only a few blocks are ever in flight.
class BlockPipe {
public:
    static constexpr size_t kBlock = 256 * 1024;
    static constexpr size_t kInFlight = 8;

    // Producer side.
    void Write(std::string_view data) {
        while (!data.empty()) {
            if (current_.capacity() < kBlock) current_.reserve(kBlock);
            const size_t k = std::min(data.size(), kBlock - current_.size());
            current_.append(data.data(), k);
            data.remove_prefix(k);
            if (current_.size() == kBlock) Push();
        }
    }
    void Close() {
        if (!current_.empty()) Push();
        std::lock_guard lock(m_);
        closed_ = true;
        cv_.notify_all();
    }
    // Consumer side. False once everything was taken.
    bool Pop(std::string& block) {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return !full_.empty() || closed_; });
        if (full_.empty()) return false;
        block = std::move(full_.front());
        full_.pop_front();
        cv_.notify_all();
        return true;
    }
    void Recycle(std::string&& block) {
        block.clear();
        std::lock_guard lock(m_);
        free_.push_back(std::move(block));
    }
    // The consumer gives up; the producer's writes go nowhere from now on.
    void Abort() {
        std::lock_guard lock(m_);
        aborted_ = true;
        cv_.notify_all();
    }

private:
    void Push() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return full_.size() < kInFlight || aborted_; });
        if (aborted_) {
            current_.clear();
            return;
        }
        full_.push_back(std::move(current_));
        current_.clear();
        if (!free_.empty()) {
            current_ = std::move(free_.back());
            free_.pop_back();
        }
        cv_.notify_all();
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::string> full_;
    std::vector<std::string> free_;
    std::string current_;
    bool closed_ = false;
    bool aborted_ = false;
};

// Compresses the new chunks of a save on a helper thread while the caller
// goes on chunking; the caller writes them in the order they were added.
class ChunkCompressor {
public:
    static constexpr size_t kMaxJobs = 16;

    ChunkCompressor() : helper_([this] { Work(); }) {}
    ~ChunkCompressor() {
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        helper_.join();
    }

    void Add(const CZTDigest& hash, std::string_view chunk) {
        std::unique_lock lock(m_);
        // Too much in flight: lend a hand instead of waiting.
        for (TakeDone(lock); jobs_.size() >= kMaxJobs; TakeDone(lock))
            if (!CompressOne(lock)) cv_.wait(lock);
        jobs_.push_back({hash, std::string(chunk), {}, 0});
        cv_.notify_all();
    }
    // The compressed chunks finished so far, in order; with `all` every one.
    std::vector<CZTStoredChunk> Finished(bool all) {
        std::unique_lock lock(m_);
        TakeDone(lock);
        while (all && !jobs_.empty()) {
            // The first job is being compressed by the other thread when
            // there is nothing left to take on.
            if (!CompressOne(lock)) cv_.wait(lock);
            TakeDone(lock);
        }
        std::vector<CZTStoredChunk> out;
        out.swap(done_);
        return out;
    }

private:
    struct Job {
        CZTDigest hash;
        std::string plain;
        std::string packed;
        int state; // 0 waiting, 1 being compressed, 2 done
    };

    // Compresses the first waiting job (the lock is let go meanwhile); false
    // when none waits.
    bool CompressOne(std::unique_lock<std::mutex>& lock) {
        for (auto& job : jobs_) {
            if (job.state != 0) continue;
            job.state = 1;
            lock.unlock();
            std::exception_ptr failed;
            try {
                job.packed = CompressBuffer(job.plain);
                // Deflate fails only for want of memory.
                if (job.packed.empty()) throw std::bad_alloc();
            } catch (...) {
                failed = std::current_exception();
            }
            lock.lock();
            if (failed && !error_) error_ = failed;
            job.state = 2;
            cv_.notify_all();
            return true;
        }
        return false;
    }
    // Hands the first failure of either thread to the caller.
    void TakeDone(std::unique_lock<std::mutex>&) {
        if (error_) std::rethrow_exception(error_);
        while (!jobs_.empty() && jobs_.front().state == 2) {
            CZTStoredChunk c;
            c.hash = jobs_.front().hash;
            c.bytes = std::move(jobs_.front().packed);
            done_.push_back(std::move(c));
            jobs_.pop_front();
        }
    }
    void Work() {
        std::unique_lock lock(m_);
        for (;;) {
            if (stop_) return;
            if (!CompressOne(lock)) cv_.wait(lock);
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> jobs_; // references stay valid while jobs are added and taken at the ends
    std::vector<CZTStoredChunk> done_;
    std::exception_ptr error_;
    bool stop_ = false;
    std::thread helper_;
};

// The CRC-32 of every page text read as a range of a joined body, on two
// threads for large bodies.
void FillSharedCrcs(CZTDocCore& core, int32_t firstNode) {
    std::vector<CZTNode*> nodes;
    std::vector<uint64_t> sizes;
    uint64_t total = 0;
    for (int32_t i = std::max(firstNode, 1); i < core.NodeCount(); ++i) {
        CZTNode* n = core.Node(i);
        if (!n) continue;
        uint64_t bytes = n->content.SharedText().size();
        for (const auto& f : n->files) bytes += f.data.SharedText().size();
        if (bytes == 0) continue;
        nodes.push_back(n);
        sizes.push_back(bytes);
        total += bytes;
    }
    auto fill = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            CZTNode& n = *nodes[i];
            if (n.content.IsShared()) n.crc = Crc32(n.content.SharedText());
            for (auto& f : n.files)
                if (f.data.IsShared()) f.crc = Crc32(f.data.SharedText());
        }
    };
    if (total < (uint64_t(4) << 20)) {
        fill(0, nodes.size());
        return;
    }
    // Splits where half of the bytes lie.
    size_t split = 0;
    for (uint64_t seen = 0; split < nodes.size() && seen < total / 2; ++split) seen += sizes[split];
    std::thread helper(fill, split, nodes.size());
    fill(0, split);
    helper.join();
}

} // namespace

// ------------------------------------------------------------ reading

void ReadRevisionContainer(CZTDocStream& stream, CZTHistory& history) {
    history.Clear();
    ContainerReader in(stream);
    const uint8_t version = in.Byte();
    if (version == 0) {
        ReadDeltaForm(in, history);
        return;
    }
    if (version != 1) Damaged("unbekannte Containerversion");
    if (in.Byte() != kSequence) Damaged("äußere Folge fehlt");
    auto outer = in.Open();
    in.ExpectTag(outer, kSequence, "Versionsliste");
    auto list = in.Open();
    for (uint8_t t; (t = in.Next(list)) != 0;) {
        if (t != kSequence) Damaged("Versionseintrag erwartet");
        ReadEntry(in, history);
    }
    in.ExpectTag(outer, kContext0, "Prüfsumme");
    if (in.Byte() != 4) Damaged("Prüfsumme hat eine falsche Länge");
    const uint32_t expected = in.Adler();
    in.StopSum();
    std::string sum = in.Bytes(4);
    if (GetBE32(sum.data()) != expected) Damaged("Prüfsumme stimmt nicht");
    in.ExpectEnd(outer, "Container");
}

void ReadRevisionDocument(CZTDocStream& stream, CZTDocCore& core, CZTPageList& pages, bool opening,
                          bool historyOnly) {
    CZTHistory inserted;
    CZTHistory& history = opening ? core.history : inserted;
    const int32_t nodesBefore = core.NodeCount();
    const size_t pagesBefore = pages.size();
    int32_t newest = 0;
    bool inBody = false;
    try {
        ReadRevisionContainer(stream, history);
        if (historyOnly || !history.NewestTime(newest)) return;
        inBody = true;
        // The newest body is joined into one block on two threads; its texts
        // stay there (see CZTContent) and its SHA-1 is checked on a second
        // thread while this one reads the pages.
        const CZTRevision& revision = history.Revisions().rbegin()->second;
        std::shared_ptr<CZTBlock> joined;
        std::string error;
        if (!history.JoinBlock(revision, joined, &error)) ThrowDamaged(error);
        const std::string_view body = joined->View();
        if (body.size() > 10 && body[0] == '<') {
            if (!CZTHistory::CheckBody(revision, body, &error)) ThrowDamaged(error);
            XmlBodyReader(core, pages).Read(body);
            return;
        }
        bool intact = true;
        std::string hashError;
        std::thread checker([&] { intact = CZTHistory::CheckBody(revision, body, &hashError); });
        try {
            MemorySource source(body);
            BodyCursor in(source, joined);
            ReadBerBody(in, core, pages);
            in.Drain();
        } catch (...) {
            checker.join();
            if (!intact) ThrowDamaged(hashError);
            throw;
        }
        checker.join();
        if (!intact) ThrowDamaged(hashError);
        FillSharedCrcs(core, nodesBefore);
    } catch (const CZTDocCoreException& e) {
        core.Truncate(nodesBefore);
        pages.resize(pagesBefore);
        history.Clear();
        if (!inBody || e.Code() != CZTDocCoreException::Damaged) throw;
        ThrowDamaged(FormatMessage(Msg::RevisionDamaged, {CZTHistory::RevisionLabel(newest), e.Detail()}));
    } catch (...) {
        core.Truncate(nodesBefore);
        pages.resize(pagesBefore);
        history.Clear();
        throw;
    }
}

void ReadRevisionBody(std::string_view body, CZTDocCore& core, CZTPageList& pages) {
    const int32_t before = core.NodeCount();
    const size_t pagesBefore = pages.size();
    try {
        if (body.size() > 10 && body[0] == '<') {
            XmlBodyReader(core, pages).Read(body);
        } else {
            MemorySource source(body);
            BodyCursor in(source);
            ReadBerBody(in, core, pages);
        }
    } catch (...) {
        core.Truncate(before);
        pages.resize(pagesBefore);
        throw;
    }
}

// ------------------------------------------------------------ writing

int32_t NewRevisionTime(const CZTHistory& history, int32_t now) {
    int32_t time = PositiveStamp(now);
    int32_t newest = 0;
    if (history.NewestTime(newest) && time < newest) time = newest == INT32_MAX ? newest : newest + 1;
    return time;
}

void WriteRevisionBody(CZTDocCore& core, const CZTPageList& pages, const std::function<void(std::string_view)>& feed,
                       std::vector<std::string>& problems) {
    BodyWriter(core, feed, problems).Write(pages);
}

void WriteRevisionContainer(CZTDocStream& stream, CZTDocCore& core, const CZTPageList& pages,
                            std::vector<std::string>& problems) {
    CZTHistory& history = core.history;
    const int32_t time = NewRevisionTime(history, NowStamp());

    // A second thread builds the body (and its SHA-1) while this one writes
    // the old revisions and then chunks, hashes and stores the new body.
    BlockPipe pipe;
    Sha1Hasher bodyHash;
    std::vector<std::string> bodyProblems;
    std::exception_ptr bodyError;
    std::thread builder([&] {
        try {
            WriteRevisionBody(core, pages,
                              [&](std::string_view piece) {
                                  bodyHash.Update(piece);
                                  pipe.Write(piece);
                              },
                              bodyProblems);
        } catch (...) {
            bodyError = std::current_exception();
        }
        pipe.Close();
    });
    struct Joiner {
        BlockPipe& pipe;
        std::thread& thread;
        ~Joiner() {
            if (thread.joinable()) {
                pipe.Abort();
                thread.join();
            }
        }
    } joiner{pipe, builder};

    ContainerWriter out(stream);
    out.Put(std::string_view("\x01\x30\x80\x30\x80", 5));
    // Chunks read as plain bytes are stored compressed from now on.
    for (auto& c : history.Chunks()) {
        if (c.compressed) continue;
        std::string packed = CompressBuffer(c.bytes);
        if (!packed.empty()) {
            c.bytes = std::move(packed);
            c.compressed = true;
        }
    }
    bool storeWritten = false;
    auto writeStore = [&] {
        for (const auto& c : history.Chunks()) WriteChunkItem(out, c.hash, c.bytes);
        storeWritten = true;
    };
    for (const auto& [t, revision] : history.Revisions()) {
        if (t == time) continue; // the new revision takes its place
        WriteEntryHead(out, t, revision.visible);
        if (!storeWritten) writeStore();
        WriteEntryTail(out, revision.body, revision.chunks);
    }
    WriteEntryHead(out, time, true);
    if (!storeWritten) writeStore();

    std::vector<CZTStoredChunk> fresh;
    std::unordered_set<CZTDigest, CZTDigestHash> freshIndex;
    std::vector<CZTDigest> order;
    Sha1Hasher chunkHash;
    ChunkCompressor compressor;
    auto writeFinished = [&](bool all) {
        for (auto& c : compressor.Finished(all)) {
            WriteChunkItem(out, c.hash, c.bytes);
            fresh.push_back(std::move(c));
        }
    };
    CZTChunker chunker([&](std::string_view chunk) {
        CZTDigest d;
        chunkHash.Update(chunk);
        chunkHash.Final(d.data());
        order.push_back(d);
        if (history.HasChunk(d) || !freshIndex.insert(d).second) return;
        compressor.Add(d, chunk);
        writeFinished(false);
    });
    std::string block;
    while (pipe.Pop(block)) {
        chunker.Feed(block);
        pipe.Recycle(std::move(block));
    }
    builder.join();
    if (bodyError) std::rethrow_exception(bodyError);
    problems.insert(problems.end(), bodyProblems.begin(), bodyProblems.end());
    chunker.Finish();
    writeFinished(true);
    CZTDigest body;
    bodyHash.Final(body.data());
    WriteEntryTail(out, body, order);
    out.Put(kClose); // revision list
    out.Put(std::string_view("\x80\x04", 2));
    std::string sum;
    AppendBE32(sum, out.Adler());
    sum.append(kClose);
    out.Raw(sum);

    if (stream.Failed()) return;
    for (auto& c : fresh) history.AddChunk(std::move(c));
    CZTRevision revision;
    revision.body = body;
    revision.chunks = std::move(order);
    history.PutRevision(time, std::move(revision));
}

} // namespace zt
