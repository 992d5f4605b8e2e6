#include "base/bytes.h"
#include "base/system.h"
#include "core/archive.h"
#include "core/chunker.h"
#include "core/compress.h"
#include "core/document.h"
#include "core/revisions.h"
#include "core/serializer.h"
#include "core/ztexception.h"
#include "security/crypto.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace zt;

namespace {

class TestClock : public Clock {
public:
    int64_t now = 1700000000;
    int64_t Now() const override { return now; }
};

// Installs a clock the test moves by hand.
struct ClockScope {
    TestClock clock;
    ClockScope() { SetClock(&clock); }
    ~ClockScope() { SetClock(nullptr); }
};

std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = char(rng());
    return s;
}

// Text that looks like a page: words, some of them random.
std::string PageText(size_t n, uint32_t seed) {
    static const char* words[] = {"Notiz ", "Projekt ", "\\par ", "{\\b fett} ", "und ", "Termin "};
    std::mt19937 rng(seed);
    std::string s = "{\\rtf1 ";
    while (s.size() < n) {
        s += words[rng() % 6];
        if (rng() % 5 == 0) s += std::to_string(rng());
    }
    return s + "}";
}

// A document in a bare core: pages with texts, ext bytes and files.
struct Doc {
    CZTDocCore core;
    CZTPageList pages;

    int32_t Add(const std::string& indicator, const std::string& title, const std::string& text) {
        int32_t id = core.AppendNode();
        CZTPageRecord r = CZTPageRecord::New("autor");
        EXPECT_TRUE(r.SetText(text, "autor"));
        r.SetExtItem(2, std::string(144, '\x07'));
        core.PutPage(id, r);
        pages.push_back({indicator, title, id, {}});
        return id;
    }
    void Attach(int32_t id, const std::string& name, const std::string& content) {
        CZTFileRecord f = CZTFileRecord::New(name, "autor");
        ASSERT_TRUE(f.SetContent(content, "autor"));
        ASSERT_NE(core.PutFile(id, f), 0);
    }
    void SetText(int32_t id, const std::string& text) {
        CZTPageRecord r = core.GetPage(id);
        ASSERT_TRUE(r.SetText(text, "autor"));
        core.PutPage(id, r);
    }
    std::string Body() {
        std::string body;
        std::vector<std::string> problems;
        WriteRevisionBody(core, pages, [&](std::string_view p) { body.append(p); }, problems);
        EXPECT_TRUE(problems.empty());
        return body;
    }
    std::string Save(bool asRevision = true) {
        CZTDocStream s = CZTDocStream::StoringMemory();
        CZTDocSerializer ser(s);
        EXPECT_TRUE(ser.Write(core, pages, nullptr, asRevision));
        return s.TakeData();
    }
};

void FillSample(Doc& d) {
    int32_t a = d.Add("c", "Eins \xE4", PageText(150000, 1));
    d.Add("c", "Zwei", PageText(3000, 2));
    int32_t c = d.Add("p", "Drei", "");
    d.Attach(a, "daten.bin", RandomBytes(90000, 3));
    d.Attach(c, "leer.txt", "");
}

std::string SampleFile() {
    Doc d;
    FillSample(d);
    return d.Save();
}

// Reads file bytes into `core`; returns the exception code (0 when none) and its text.
int Read(const std::string& bytes, CZTDocCore& core, CZTPageList& pages, std::string* message = nullptr,
         bool historyOnly = false, bool opening = true) {
    CZTDocStream s = CZTDocStream::Loading(bytes);
    CZTDocSerializer ser(s);
    ser.SetHistoryOnly(historyOnly);
    try {
        ser.Read(core, pages, nullptr, opening);
    } catch (const CZTDocCoreException& e) {
        if (message) *message = e.UserMessage();
        return e.Code();
    }
    return 0;
}

std::string Text(CZTDocCore& core, int32_t id) {
    CZTPageRecord r = core.GetPage(id);
    const std::string* t = r.GetText();
    return t ? *t : std::string();
}

std::string Sha(std::string_view s) { return std::string(std::string_view(Sha1(s))); }

// How often a chunk item for `hash` occurs in a file.
size_t ChunkItems(const std::string& file, const CZTDigest& hash) {
    std::string pattern("\x30\x80\x04\x14", 4);
    pattern.append(reinterpret_cast<const char*>(hash.data()), hash.size());
    pattern.push_back('\x80');
    size_t count = 0;
    for (size_t at = file.find(pattern); at != std::string::npos; at = file.find(pattern, at + 1)) ++count;
    return count;
}

// ---- hand-made containers

std::string Len(size_t n) {
    std::string s;
    if (n < 0x80) s.push_back(char(n));
    else if (n <= 0xFF) s += std::string("\x81") + char(n);
    else s += std::string("\x82") + char(n >> 8) + char(n & 0xFF);
    return s;
}
std::string BE(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
const std::string kOpen("\x30\x80", 2), kClose("\0\0", 2);

std::string ChunkItem(std::string_view plain, bool compressed = true) {
    std::string data = compressed ? CompressBuffer(plain) : std::string(plain);
    return kOpen + "\x04\x14" + Sha(plain) + (compressed ? "\x80" : "\x04") + Len(data.size()) + data + kClose;
}

// An entry from its visibility element on (vis < 0 leaves it out).
std::string EntryRest(int vis, const std::string& items, const std::string& bodySha,
                      const std::vector<std::string>& chunkShas) {
    std::string e;
    if (vis >= 0) e += std::string("\x81\x01", 2) + (vis ? '\xFF' : '\0');
    e += kOpen + kOpen + items + kClose + kOpen + "\x04\x14" + bodySha + kOpen;
    for (const auto& c : chunkShas) e += "\x04\x14" + c;
    return e + kClose + kClose + kClose;
}

std::string Entry(int32_t time, int vis, const std::string& items, const std::string& bodySha,
                  const std::vector<std::string>& chunkShas) {
    return kOpen + std::string("\x02\x01\x02\x80\x04", 5) + BE(uint32_t(time)) +
           EntryRest(vis, items, bodySha, chunkShas) + kClose;
}

// A file: empty ext bytes, "ZT09" and the container around `entries`.
std::string File(const std::string& entries) {
    std::string c = "\x01" + kOpen + kOpen + entries + kClose + "\x80\x04";
    c += BE(Adler32(c)) + kClose;
    return std::string("ZT04\0\0\0\0ZT09", 12) + c;
}

// An entry whose body is `body` in one chunk stored in the entry.
std::string OneChunkEntry(int32_t time, const std::string& body, int vis = 1, bool compressed = true) {
    return Entry(time, vis, ChunkItem(body, compressed), Sha(body), {Sha(body)});
}

std::string S(std::string_view s) { return "\xC1" + Len(s.size()) + std::string(s); }
std::string I(int32_t v) { return "\xC0\x04" + BE(uint32_t(v)); }
std::string B(std::string_view s) { return "\x81" + Len(s.size()) + std::string(s); }

std::string BerPage(const std::string& indicator, const std::string& title, const std::string& text,
                    const std::string& files = {}) {
    return kOpen + S(indicator) + S(title) + I(2) + S("ich") + S("du") + I(10) + I(20) + B("") + B(text) + kOpen +
           files + kClose + kClose;
}
std::string BerFile(const std::string& name, const std::string& content) {
    return kOpen + S(name) + I(0) + I(30) + I(40) + S("ich") + S("du") + B("") + B(content) + kClose;
}

} // namespace

// ------------------------------------------------------------------ chunking

// The cut rule taken literally: one rolling hash over the whole body.
std::vector<size_t> ReferenceChunks(std::string_view body) {
    const uint32_t* T = ChunkHashTable();
    uint32_t power = 1;
    for (int i = 0; i < 512; ++i) power *= 37;
    std::vector<size_t> sizes;
    if (body.size() <= 512) {
        if (!body.empty()) sizes.push_back(body.size());
        return sizes;
    }
    uint32_t h = 0;
    for (size_t i = 0; i < 512; ++i) h = T[uint8_t(body[i])] + 37 * h;
    size_t start = 0;
    for (size_t i = 512; i < body.size(); ++i) {
        h = T[uint8_t(body[i])] + 37 * h - T[uint8_t(body[i - 512])] * power;
        const size_t held = i - start;
        if (held > 65532 || ((h & 0x3FFF) == 0x222 && held > 4095)) {
            sizes.push_back(held);
            start = i;
        }
    }
    sizes.push_back(body.size() - start);
    return sizes;
}

std::vector<size_t> Chunk(std::string_view body, uint32_t seed) {
    std::vector<size_t> sizes;
    std::string joined;
    CZTChunker chunker([&](std::string_view c) {
        sizes.push_back(c.size());
        joined.append(c);
    });
    std::mt19937 rng(seed);
    for (size_t at = 0; at < body.size();) {
        size_t n = std::min<size_t>(body.size() - at, rng() % 3 == 0 ? rng() % 40 : rng() % 300000);
        chunker.Feed(body.substr(at, n));
        at += n;
    }
    chunker.Finish();
    EXPECT_EQ(joined, body);
    return sizes;
}

TEST(Chunker, TableIsTheMersenneTwisterSeededWithZero) {
    EXPECT_EQ(ChunkHashTable()[0], 2357136044u);
    std::mt19937 g(0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(ChunkHashTable()[i], uint32_t(g()));
}

TEST(Chunker, CutsWhereTheRuleSaysInWhateverPiecesItIsFed) {
    struct Case {
        const char* name;
        std::string body;
    } cases[] = {
        {"empty", ""},
        {"512 bytes are one chunk", RandomBytes(512, 1)},
        {"random", RandomBytes(3 << 20, 2)},
        {"page texts", PageText(2 << 20, 3)},
        {"zeros are cut at the maximum", std::string(200000, '\0')},
        {"mixed", RandomBytes(100000, 4) + std::string(140000, 'x') + PageText(500000, 5)},
    };
    for (const auto& c : cases) {
        auto expected = ReferenceChunks(c.body);
        EXPECT_EQ(Chunk(c.body, 7), expected) << c.name;
        EXPECT_EQ(Chunk(c.body, 8), expected) << c.name;
    }
    EXPECT_EQ(ReferenceChunks(RandomBytes(512, 1)), std::vector<size_t>{512});
    EXPECT_EQ(ReferenceChunks(std::string(70000, '\0')), (std::vector<size_t>{65533, 4467}));
}

TEST(Chunker, AnEditChangesOnlyTheChunksAroundIt) {
    std::string before = PageText(1 << 20, 9);
    std::string after = before;
    after.insert(500000, "eingefügt");
    auto a = ReferenceChunks(before), b = ReferenceChunks(after);
    std::set<std::string> old;
    size_t at = 0;
    for (size_t n : a) old.insert(before.substr(at, n)), at += n;
    size_t fresh = 0;
    at = 0;
    for (size_t n : b) fresh += old.count(after.substr(at, n)) ? 0 : 1, at += n;
    EXPECT_GE(a.size(), 20u);
    EXPECT_LE(fresh, 3u);
}

// ------------------------------------------------------------------ round trips

TEST(Revisions, ThreeSavesKeepThreeBodiesAndEveryChunkOnce) {
    ClockScope clock;
    Doc d;
    FillSample(d);
    std::vector<std::string> bodies;
    std::string file;
    for (int save = 0; save < 3; ++save) {
        if (save == 1) d.SetText(d.pages[1].ident, PageText(5000, 20));
        if (save == 2) d.Add("n", "Vier", PageText(70000, 21));
        bodies.push_back(d.Body());
        file = d.Save();
        clock.clock.now += 60;
    }
    EXPECT_EQ(DetectForm(file), DocumentForm::Revision);
    ASSERT_EQ(d.core.history.Revisions().size(), 3u);

    CZTDocCore back;
    CZTPageList pages;
    ASSERT_EQ(Read(file, back, pages), 0);
    std::vector<CZTRevisionKey> keys;
    back.history.ListRevisions(keys);
    ASSERT_EQ(keys.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(keys[i].time, 1700000000 + int32_t(60 * i));
        EXPECT_TRUE(keys[i].visible);
        std::string body;
        ASSERT_TRUE(back.history.GetRevisionBody(keys[i].time, true, body));
        EXPECT_EQ(body, bodies[i]) << i;
    }
    // The newest revision is the document.
    ASSERT_EQ(pages.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(pages[i].title, d.pages[i].title);
        EXPECT_EQ(Text(back, pages[i].ident), Text(d.core, d.pages[i].ident));
    }
    EXPECT_EQ(back.GetFile(pages[0].ident, "daten.bin").GetText()->size(), 90000u);
    EXPECT_EQ(back.GetFile(pages[2].ident, "leer.txt").method, 0);
    EXPECT_EQ(back.GetPage(pages[2].ident).method, 0);
    // Every chunk any revision names is stored exactly once.
    std::set<CZTDigest> named;
    for (const auto& [t, r] : back.history.Revisions()) named.insert(r.chunks.begin(), r.chunks.end());
    EXPECT_EQ(named.size(), back.history.Chunks().size());
    for (const auto& c : back.history.Chunks()) EXPECT_EQ(ChunkItems(file, c.hash), 1u);
    // Saving the reopened document writes the same chunks again, once each.
    clock.clock.now += 60;
    CZTDocStream s = CZTDocStream::StoringMemory();
    CZTDocSerializer ser(s);
    ASSERT_TRUE(ser.Write(back, pages, nullptr, true));
    std::string resaved = s.TakeData();
    EXPECT_EQ(back.history.Revisions().size(), 4u);
    for (const auto& c : back.history.Chunks()) EXPECT_EQ(ChunkItems(resaved, c.hash), 1u);
    EXPECT_LT(resaved.size(), file.size() + 2000); // nothing new but the hash list
}

TEST(Revisions, SavesInOneSecondLeaveOneRevision) {
    ClockScope clock;
    Doc d;
    FillSample(d);
    d.Save();
    d.SetText(d.pages[1].ident, "neu");
    std::string file = d.Save();
    CZTDocCore back;
    CZTPageList pages;
    ASSERT_EQ(Read(file, back, pages), 0);
    ASSERT_EQ(back.history.Revisions().size(), 1u);
    EXPECT_EQ(Text(back, pages[1].ident), "neu");
}

TEST(Revisions, AClockBehindTheNewestRevisionStillMakesTheNewestRevision) {
    ClockScope clock;
    Doc d;
    FillSample(d);
    d.Save();
    clock.clock.now -= 3600;
    d.SetText(d.pages[1].ident, "später gespeichert");
    std::string file = d.Save();
    CZTDocCore back;
    CZTPageList pages;
    ASSERT_EQ(Read(file, back, pages), 0);
    std::vector<CZTRevisionKey> keys;
    back.history.ListRevisions(keys);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].time, 1700000001);
    EXPECT_EQ(Text(back, pages[1].ident), "später gespeichert");
}

TEST(Revisions, ForgetKeepsTheChunksAndClearLeavesOnlyTheNewRevision) {
    ClockScope clock;
    Doc d;
    FillSample(d);
    for (int save = 0; save < 3; ++save) {
        d.SetText(d.pages[1].ident, PageText(20000, 100 + save));
        d.Save();
        clock.clock.now += 10;
    }
    const size_t stored = d.core.history.Chunks().size();
    const int32_t middle = 1700000010;
    EXPECT_FALSE(d.core.history.ChangeRevision({middle, false}, CZTHistory::RemoveReference));
    ASSERT_TRUE(d.core.history.ChangeRevision({middle, true}, CZTHistory::RemoveReference));
    ASSERT_TRUE(d.core.history.ChangeRevision({1700000000, true}, CZTHistory::Hide));
    std::string file = d.Save(); // same document again: no new chunk
    CZTDocCore back;
    CZTPageList pages;
    ASSERT_EQ(Read(file, back, pages), 0);
    std::vector<CZTRevisionKey> keys;
    back.history.ListRevisions(keys);
    EXPECT_EQ(keys, (std::vector<CZTRevisionKey>{{1700000000, false}, {1700000020, true}, {1700000030, true}}));
    EXPECT_EQ(back.history.Chunks().size(), stored);
    std::string hidden;
    EXPECT_TRUE(back.history.GetRevisionBody(1700000000, false, hidden));
    EXPECT_FALSE(back.history.GetRevisionBody(1700000000, true, hidden));

    EXPECT_TRUE(back.history.RemoveHistory());
    EXPECT_FALSE(back.history.RemoveHistory());
    clock.clock.now += 10;
    CZTDocStream s = CZTDocStream::StoringMemory();
    CZTDocSerializer ser(s);
    ASSERT_TRUE(ser.Write(back, pages, nullptr, true));
    CZTDocCore last;
    CZTPageList lastPages;
    ASSERT_EQ(Read(s.Data(), last, lastPages), 0);
    ASSERT_EQ(last.history.Revisions().size(), 1u);
    EXPECT_EQ(last.history.Chunks().size(), last.history.Revisions().begin()->second.chunks.size());
    EXPECT_EQ(CZTHistory::RevisionLabel(0).size(), 19u);
}

TEST(Revisions, InsertingARevisionFileLeavesTheHistoryAlone) {
    ClockScope clock;
    Doc other;
    FillSample(other);
    std::string file = other.Save();
    Doc d;
    d.Add("c", "Eigen", "x");
    d.Save();
    const auto before = d.core.history.Revisions().size();
    CZTPageList pages;
    ASSERT_EQ(Read(file, d.core, pages, nullptr, false, false), 0);
    EXPECT_EQ(pages.size(), 3u);
    EXPECT_EQ(d.core.history.Revisions().size(), before);
    EXPECT_EQ(Text(d.core, pages[0].ident), Text(other.core, other.pages[0].ident));
}

TEST(Revisions, ListingOfARevisionFileNamesPagesAndFiles) {
    ClockScope clock;
    std::string file = SampleFile();
    CZTDocStream s = CZTDocStream::Loading(file);
    CZTDocSerializer ser(s);
    CZTPageList list;
    ser.ReadListing(list, nullptr);
    std::vector<std::string> seen;
    for (const auto& e : list) seen.push_back(e.indicator + ":" + e.title);
    EXPECT_EQ(seen, (std::vector<std::string>{"c:Eins \xE4", "f:daten.bin", "c:Zwei", "p:Drei", "f:leer.txt"}));
}

// ------------------------------------------------------------------ reading other forms

TEST(Revisions, ReadsEntriesWithoutVisibilityAndPlainChunks) {
    std::string body = kOpen + BerPage("c", "A", "Text A", BerFile("f.txt", "Inhalt")) + BerPage("n", "B", "") + kClose;
    std::string file = File(Entry(100, -1, ChunkItem(body, false), Sha(body), {Sha(body)}));
    CZTDocCore core;
    CZTPageList pages;
    ASSERT_EQ(Read(file, core, pages), 0);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(Text(core, pages[0].ident), "Text A");
    EXPECT_EQ(*core.GetFile(pages[0].ident, "f.txt").GetText(), "Inhalt");
    EXPECT_EQ(core.GetFile(pages[0].ident, "f.txt").ctime, 40);
    CZTPageRecord empty = core.GetPage(pages[1].ident);
    EXPECT_EQ(empty.method, 0);
    EXPECT_EQ(empty.ctime, 10);
    EXPECT_EQ(empty.modifiedBy, "du");
    std::vector<CZTRevisionKey> keys;
    core.history.ListRevisions(keys);
    EXPECT_EQ(keys, (std::vector<CZTRevisionKey>{{100, true}}));
    // Written again, the plain chunk is stored compressed.
    ClockScope clock;
    CZTDocStream s = CZTDocStream::StoringMemory();
    CZTDocSerializer ser(s);
    ASSERT_TRUE(ser.Write(core, pages, nullptr, true));
    CZTDocCore back;
    CZTPageList backPages;
    ASSERT_EQ(Read(s.Data(), back, backPages), 0);
    EXPECT_EQ(ChunkItems(s.Data(), DigestOf(Sha(body))), 1u);
    std::string old;
    EXPECT_TRUE(back.history.GetRevisionBody(100, true, old));
    EXPECT_EQ(old, body);
}

TEST(Revisions, ReadsXmlBodiesUpToTheFirstMissingElement) {
    auto node = [](const std::string& title, const std::string& pageElement, const std::string& files) {
        return "<node><treeindicator>c</treeindicator><nodename>" + title +
               "</nodename><nMethod>0</nMethod><userC>ich</userC><userM>du</userM><pageCTime>5</pageCTime>"
               "<pageMTime>6</pageMTime><extBytes enc=\"hex\">0203</extBytes>" +
               pageElement + "<files>" + files + "</files></node>";
    };
    std::string file1 = "<file><name>a.txt</name><nMethod>0</nMethod><MTime>7</MTime><CTime>8</CTime>"
                        "<userCName>x</userCName><userMName>y</userMName><ExtBytes></ExtBytes>"
                        "<fileData enc=\"hex\">414243</fileData></file>";
    std::string xml = "<?xml version=\"1.0\"?><revision>" + node("Erste", "<page>Text &amp; mehr</page>", file1) +
                      node("Ungerade", "<page enc=\"hex\">414</page>", "") +
                      node("Fehlt", "", "") + node("Danach", "<page>nie</page>", "") + "</revision>";
    std::string file = File(OneChunkEntry(50, xml));
    CZTDocCore core;
    CZTPageList pages;
    ASSERT_EQ(Read(file, core, pages), 0);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].title, "Erste");
    EXPECT_EQ(Text(core, pages[0].ident), "Text & mehr");
    EXPECT_EQ(core.GetPage(pages[0].ident).ext, "\x02\x03");
    EXPECT_EQ(core.GetPage(pages[0].ident).mtime, 6);
    CZTFileRecord f = core.GetFile(pages[0].ident, "a.txt");
    EXPECT_EQ(*f.GetText(), "ABC");
    EXPECT_EQ(f.ctime, 8);
    EXPECT_EQ(core.GetPage(pages[1].ident).method, 0); // odd number of digits: empty
}

TEST(Revisions, ReadsTheDeltaForm) {
    std::string body = kOpen + BerPage("c", "Delta", "aus der Deltaform") + kClose;
    std::string rest = EntryRest(1, ChunkItem(body), Sha(body), {Sha(body)});
    auto record = [](uint8_t type, uint32_t key, const std::string& data) {
        std::string r(1, char(type));
        PutLE32(r, key);
        PutLE32(r, uint32_t(data.size()));
        return r + data;
    };
    std::string payload = record(0, 1, "skip") + record(2, 4000, rest);
    auto delta = [&](uint8_t n) {
        std::string d = std::string("ZT04\0\0\0\0ZT09", 12) + '\0' + char(n) + std::string(n, '\x11') + '\x05';
        PutLE32(d, uint32_t(payload.size()));
        return d + payload;
    };
    for (uint8_t n : {4, 32}) {
        CZTDocCore core;
        CZTPageList pages;
        ASSERT_EQ(Read(delta(n), core, pages), 0) << int(n);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(Text(core, pages[0].ident), "aus der Deltaform");
        EXPECT_EQ(core.history.deltaFlag, 5);
        EXPECT_TRUE(core.history.HasRevision(4000));
    }
    CZTDocCore core;
    CZTPageList pages;
    EXPECT_EQ(Read(delta(5), core, pages), 2);
}

// ------------------------------------------------------------------ damage

TEST(Revisions, DamagedContainersAreRefused) {
    ClockScope clock;
    const std::string good = SampleFile();
    const size_t start = good.find("ZT09") + 4;
    std::string flipped = good;
    flipped[start + (good.size() - start) / 2] ^= 0x20;
    std::string badSum = good;
    badSum[good.size() - 4] ^= 1;
    std::string version2 = good;
    version2[start] = 2;
    std::string body = kOpen + BerPage("c", "A", "a") + kClose;
    std::string missing = File(Entry(7, 1, "", Sha(body), {Sha(body)}));
    std::string badBer = kOpen + BerPage("c", "A", "a").substr(0, 9) + kClose;
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"flipped byte under the Adler-32", flipped},
        {"wrong Adler-32", badSum},
        {"first byte after the tag", version2},
        {"missing chunk", missing},
        {"damaged body", File(OneChunkEntry(8, badBer))},
        {"wrong entry version", File(std::string("\x30\x80\x02\x01\x03", 5) + OneChunkEntry(9, body).substr(5))},
        {"chunk hash too short", File(Entry(9, 1, kOpen + "\x04\x13" + Sha(body).substr(1) + kClose, Sha(body), {}))},
    };
    for (const auto& c : cases) {
        CZTDocCore core;
        CZTPageList pages;
        EXPECT_EQ(Read(c.bytes, core, pages), 2) << c.name;
        EXPECT_EQ(core.NodeCount(), 1) << c.name;
        EXPECT_TRUE(core.history.Empty()) << c.name;
    }
    // Cut anywhere, the container is refused.
    for (size_t cut = start; cut < good.size(); cut += 997) {
        CZTDocCore core;
        CZTPageList pages;
        ASSERT_EQ(Read(good.substr(0, cut), core, pages), 2) << cut;
    }
}

TEST(Revisions, ANewestRevisionThatFailsItsChecksumIsRefusedButOlderOnesStayReadable) {
    std::string older = kOpen + BerPage("c", "Alt", "alter Stand") + kClose;
    std::string newer = kOpen + BerPage("c", "Neu", "neuer Stand") + kClose;
    std::string file = File(OneChunkEntry(1000, older) +
                            Entry(2000, 1, ChunkItem(newer), Sha(newer + "x"), {Sha(newer)}));
    CZTDocCore core;
    CZTPageList pages;
    std::string message;
    EXPECT_EQ(Read(file, core, pages, &message), 2);
    EXPECT_NE(message.find(CZTHistory::RevisionLabel(2000)), std::string::npos) << message;
    EXPECT_TRUE(pages.empty());

    CZTDocCore history;
    ASSERT_EQ(Read(file, history, pages, nullptr, true), 0);
    EXPECT_TRUE(pages.empty());
    std::string body, error;
    EXPECT_FALSE(history.history.GetRevisionBody(2000, true, body, &error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(history.history.GetRevisionBody(1000, true, body));
    EXPECT_EQ(body, older);
}

TEST(Revisions, AnEncryptedDocumentKeepsItsHistoryInsideTheEncryption) {
    ClockScope clock;
    test::TempDir dir;
    const std::string path = dir / "geheim.ztd";
    test::ScriptedPrompter p;
    CZTArchive a(p);
    const int32_t id = a.AppendNode();
    CZTPageRecord r = CZTPageRecord::New(a.User());
    r.SetText("erster Stand", a.User());
    a.PutPage(id, r);
    const CZTPageList pages{{"c", "Seite", id, {}}};
    ASSERT_TRUE(a.KeyRing().CreateEncryption(CredentialsFromUtf8("Alice", "pw")));
    ASSERT_TRUE(a.Save(path, pages));
    clock.clock.now += 5;
    r = a.GetPage(id);
    r.SetText("zweiter Stand", a.User());
    a.PutPage(id, r);
    ASSERT_TRUE(a.Save(path, pages));
    const std::string file = test::ReadFile(path);
    EXPECT_EQ(DetectForm(file), DocumentForm::Encrypted);
    EXPECT_EQ(file.find("ZT09"), std::string::npos);

    test::ScriptedPrompter p2;
    p2.credentials.push_back(std::make_pair(std::string("Alice"), std::string("pw")));
    CZTArchive b(p2);
    CZTPageList back;
    ASSERT_TRUE(b.Open(path, back));
    EXPECT_EQ(*b.GetPage(back[0].ident).GetText(), "zweiter Stand");
    std::vector<CZTRevisionKey> keys;
    b.Core().history.ListRevisions(keys);
    ASSERT_EQ(keys.size(), 2u);
    std::string old;
    ASSERT_TRUE(b.Core().history.GetRevisionBody(keys[0].time, true, old));
    EXPECT_NE(old.find("erster Stand"), std::string::npos);
}

TEST(Revisions, ManyNewChunksAreAllWrittenOnceInOrder) {
    ClockScope clock;
    for (uint32_t round = 0; round < 3; ++round) {
        Doc d;
        const int32_t id = d.Add("c", "Gross", PageText(2 << 20, 40 + round));
        d.Attach(id, "zufall.bin", RandomBytes(6 << 20, 50 + round));
        // The body ends in chunks that are all the same: the last new chunk is
        // long finished when the body ends.
        d.Add("n", "Gleich", std::string(4 << 20, 'z'));
        const std::string body = d.Body();
        const std::string file = d.Save();
        CZTDocCore back;
        CZTPageList pages;
        ASSERT_EQ(Read(file, back, pages), 0);
        EXPECT_GT(back.history.Chunks().size(), 300u);
        for (const auto& c : back.history.Chunks()) ASSERT_EQ(ChunkItems(file, c.hash), 1u);
        std::string old;
        ASSERT_TRUE(back.history.GetNewestBody(old));
        EXPECT_EQ(old, body);
    }
}

// Opening keeps texts and contents as ranges of the newest body; every other
// road (records, plain copies, the next revision) must see the same bytes and
// checksums as if they had been copied.
TEST(Revisions, TextsHeldInTheOpenedBodyReadWriteAndCopyLikeCopiedOnes) {
    ClockScope clock;
    Doc d;
    FillSample(d);
    // Large enough for the joining and the checksums to run on two threads.
    const int32_t big = d.Add("n", "Gross", PageText(3 << 20, 7));
    d.Attach(big, "gross.bin", RandomBytes(3 << 20, 8));
    const std::string file = d.Save();

    CZTDocCore back;
    CZTPageList pages;
    ASSERT_EQ(Read(file, back, pages), 0);
    ASSERT_EQ(pages.size(), d.pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        const CZTNode& was = *d.core.Node(d.pages[i].ident);
        const CZTNode& n = *back.Node(pages[i].ident);
        const std::string text = Text(d.core, d.pages[i].ident);
        EXPECT_EQ(n.content.IsShared(), !text.empty()) << i;
        EXPECT_EQ(n.crc, was.crc) << i;
        EXPECT_EQ(n.uncompressedLength, int32_t(text.size())) << i;
        EXPECT_EQ(size_t(n.storedLength), n.content.size()) << i;
        EXPECT_EQ(Text(back, pages[i].ident), text) << i;
        ASSERT_EQ(n.files.size(), was.files.size());
        for (size_t k = 0; k < n.files.size(); ++k) {
            EXPECT_EQ(n.files[k].crc, was.files[k].crc);
            CZTFileRecord r = back.GetFile(pages[i].ident, n.files[k].name);
            CZTFileRecord w = d.core.GetFile(d.pages[i].ident, n.files[k].name);
            ASSERT_EQ(r.GetText() != nullptr, w.GetText() != nullptr);
            if (r.GetText()) EXPECT_EQ(*r.GetText(), *w.GetText());
        }
    }
    // The stored buffer built on demand is the usual stored layout.
    const CZTNode& first = *back.Node(pages[0].ident);
    EXPECT_EQ(first.content.str(), StoreBuffer(Text(d.core, d.pages[0].ident)));

    // A plain copy carries the texts with their checksums and reads back.
    CZTDocCore again;
    CZTDocCore shared;
    CZTPageList sharedPages;
    ASSERT_EQ(Read(file, shared, sharedPages), 0);
    {
        CZTDocStream s = CZTDocStream::StoringMemory();
        CZTDocSerializer ser(s);
        ASSERT_TRUE(ser.Write(shared, sharedPages, nullptr, false));
        CZTPageList plainPages;
        ASSERT_EQ(Read(s.TakeData(), again, plainPages), 0);
        for (size_t i = 0; i < plainPages.size(); ++i)
            EXPECT_EQ(Text(again, plainPages[i].ident), Text(d.core, d.pages[i].ident)) << i;
        EXPECT_EQ(*again.GetFile(plainPages[3].ident, "gross.bin").GetText(), RandomBytes(3 << 20, 8));
    }

    // The next revision of the opened document has the same body as the
    // document it was read from, plus the edit.
    clock.clock.now += 60;
    CZTPageRecord r = back.GetPage(pages[1].ident);
    ASSERT_TRUE(r.SetText("neu", "autor"));
    back.PutPage(pages[1].ident, r);
    d.SetText(d.pages[1].ident, "neu");
    d.core.Node(d.pages[1].ident)->mtime = back.Node(pages[1].ident)->mtime;
    CZTDocStream s = CZTDocStream::StoringMemory();
    CZTDocSerializer ser(s);
    ASSERT_TRUE(ser.Write(back, pages, nullptr, true));
    std::string newest;
    ASSERT_TRUE(back.history.GetNewestBody(newest));
    EXPECT_EQ(newest, d.Body());
}
