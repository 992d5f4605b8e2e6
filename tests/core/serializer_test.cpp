#include "base/bytes.h"
#include "core/archive.h"
#include "core/compress.h"
#include "core/docstream.h"
#include "core/extbytes.h"
#include "core/serializer.h"
#include "core/ztexception.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <zlib.h>

using namespace zt;
namespace fs = std::filesystem;

namespace {

// Builds file bytes in the primitive encodings.
struct Bytes {
    std::string b;
    Bytes& tag(uint32_t t) { PutLE32(b, t); return *this; }
    Bytes& i32(int32_t v) { PutLE32(b, uint32_t(v)); return *this; }
    Bytes& str(std::string_view s) { AppendPrefixedString(b, s); return *this; }
    Bytes& raw(std::string_view s) { b.append(s); return *this; }
};

// Reads `bytes` into a fresh core; returns the exception code or 0.
int ReadCode(const std::string& bytes, CZTDocCore& core, CZTPageList& pages, bool opening = true) {
    CZTDocStream s = CZTDocStream::Loading(bytes);
    CZTDocSerializer ser(s);
    try {
        ser.Read(core, pages, nullptr, opening);
    } catch (const CZTDocCoreException& e) {
        return e.Code();
    }
    return 0;
}

std::string WriteDoc(CZTDocCore& core, const CZTPageList& pages, const CZTDiscInfo* header) {
    CZTDocStream s = CZTDocStream::StoringMemory();
    CZTDocSerializer ser(s);
    EXPECT_TRUE(ser.Write(core, pages, header, false));
    return s.TakeData();
}

// A document with a tree of three pages, texts, a file and ext bytes.
struct Sample {
    CZTDocCore core;
    CZTPageList pages;
    CZTDiscInfo header;
    Sample() {
        header.Reset("autor");
        header.title = "Titel \xE4";
        core.docExt = SetExtItem("", 3, std::string(144, '\1'));
        const char* titles[] = {"Eins", "Zwei", "Drei"};
        const char* codes[] = {"c", "c", "p"};
        for (int i = 0; i < 3; ++i) {
            int32_t id = core.AppendNode();
            CZTPageRecord r = CZTPageRecord::New("autor");
            r.SetText(std::string("{\\rtf1 Text ") + titles[i] + "}", "autor");
            r.SetExtItem(1, std::string(84, '\2'));
            core.PutPage(id, r);
            pages.push_back({codes[i], titles[i], id, {}});
        }
        CZTFileRecord f = CZTFileRecord::New("bild.png", "autor");
        f.SetContent(std::string(5000, 'x') + "end", "autor");
        core.PutFile(2, f);
    }
};

} // namespace

TEST(Serializer, PlainFormRoundTrip) {
    Sample s;
    std::string bytes = WriteDoc(s.core, s.pages, &s.header);
    EXPECT_EQ(bytes.substr(0, 4), "ZT03");
    EXPECT_EQ(DetectForm(bytes), DocumentForm::Plain);

    CZTDocCore core;
    CZTPageList pages;
    CZTDiscInfo header;
    CZTDocStream st = CZTDocStream::Loading(bytes);
    CZTDocSerializer ser(st);
    ASSERT_TRUE(ser.Read(core, pages, &header, true));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(header.title, "Titel \xE4");
    EXPECT_EQ(header.createdBy, "autor");
    EXPECT_EQ(core.docExt, s.core.docExt);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i].title, s.pages[i].title);
        EXPECT_EQ(pages[i].indicator, s.pages[i].indicator);
        EXPECT_EQ(pages[i].ident, int32_t(i + 1));
        CZTPageRecord a = core.GetPage(pages[i].ident), b = s.core.GetPage(s.pages[i].ident);
        ASSERT_NE(a.GetText(), nullptr);
        EXPECT_EQ(*a.GetText(), *b.GetText());
        EXPECT_EQ(a.ext, b.ext);
        EXPECT_EQ(a.ctime, b.ctime);
        EXPECT_EQ(a.createdBy, "autor");
    }
    CZTFileRecord f = core.GetFile(2, "bild.png");
    ASSERT_TRUE(f.valid);
    ASSERT_NE(f.GetText(), nullptr);
    EXPECT_EQ(f.GetText()->size(), 5003u);

    // Inserting the same file gives idents after the existing ones.
    CZTDocStream st2 = CZTDocStream::Loading(bytes);
    CZTDocSerializer ser2(st2);
    CZTPageList more;
    ASSERT_TRUE(ser2.Read(core, more, nullptr, false));
    EXPECT_EQ(more.front().ident, 4);
    EXPECT_EQ(core.docExt, s.core.docExt);
    EXPECT_EQ(ser2.InsertedExt(), s.core.docExt);
}

TEST(Serializer, EmptyFileAndSubtreeHeader) {
    CZTDocCore core;
    CZTPageList pages;
    EXPECT_EQ(ReadCode("", core, pages), 0);
    EXPECT_TRUE(pages.empty());

    Sample s;
    std::string plain = WriteDoc(s.core, s.pages, nullptr);
    std::string withHeader = Bytes().tag(kTagFF41).str("Wurzel").b + plain;
    EXPECT_EQ(ReadCode(withHeader, core, pages), 0);
    EXPECT_EQ(pages.size(), 3u);
}

TEST(Serializer, FormatTagsSelectTheErrorCode) {
    struct Case {
        std::string tag;
        int code;
    } cases[] = {
        {"ZT0A", 1},                          // a later version
        {"ABCD", 2},                          // not a tag at all
        {"ZT06", 3},                          // encrypted where a format tag is expected
        {std::string("\x44\xFF\0\0", 4), 2},  // an unknown old tag
    };
    for (const auto& c : cases) {
        CZTDocCore core;
        CZTPageList pages;
        std::string bytes = Bytes().tag(kTagZT04).i32(0).raw(c.tag).i32(0).b;
        EXPECT_EQ(ReadCode(bytes, core, pages), c.code) << c.tag;
    }
}

TEST(Serializer, OldFormsConvertToCompressedBuffers) {
    // Level 3: length and raw text; files with name, length, two times, raw content.
    std::string l3 = Bytes().tag(kTagFF42).i32(1).str("c").str("Alt").i32(3).raw("abc")
                         .i32(1).str("f.txt").i32(2).i32(100).i32(50).raw("hi").tag(kTagFF40).b;
    CZTDocCore core;
    CZTPageList pages;
    ASSERT_EQ(ReadCode(l3, core, pages), 0);
    CZTPageRecord r = core.GetPage(1);
    EXPECT_EQ(r.method, 1);
    EXPECT_EQ(r.uncompressedLength, 3);
    EXPECT_EQ(r.crc, Crc32("abc"));
    EXPECT_EQ(*r.GetText(), "abc");
    CZTFileRecord f = core.GetFile(1, "f.txt");
    EXPECT_EQ(f.mtime, 100);
    EXPECT_EQ(f.ctime, 50);
    EXPECT_EQ(*f.GetText(), "hi");

    // Level 4: method, and contents as uint32 length + zlib stream.
    std::string text = "zlib content of an old page";
    std::string z(compressBound(uLong(text.size())), '\0');
    uLongf zlen = uLongf(z.size());
    compress(reinterpret_cast<Bytef*>(z.data()), &zlen, reinterpret_cast<const Bytef*>(text.data()), text.size());
    z.resize(zlen);
    std::string content;
    PutLE32(content, uint32_t(text.size()));
    content += z;
    std::string l4 = Bytes().tag(kTagFF43).i32(1).str("c").str("Vier").i32(1).i32(int32_t(content.size()))
                         .raw(content).i32(0).tag(kTagFF40).b;
    CZTDocCore core4;
    CZTPageList pages4;
    ASSERT_EQ(ReadCode(l4, core4, pages4), 0);
    EXPECT_EQ(*core4.GetPage(1).GetText(), text);
    // A zlib stream shorter than announced is damaged.
    std::string bad = l4;
    bad[bad.size() - 12] ^= 0x40;
    CZTDocCore core5;
    EXPECT_EQ(ReadCode(bad, core5, pages4), 2);

    // Level 0: the oldest body, no files.
    std::string l0 = Bytes().tag(kTagFF40).i32(1).str("c").str("Null").i32(2).raw("ok").tag(kTagFF40).b;
    CZTDocCore core0;
    CZTPageList pages0;
    ASSERT_EQ(ReadCode(l0, core0, pages0), 0);
    EXPECT_EQ(*core0.GetPage(1).GetText(), "ok");
}

TEST(Serializer, TempMarkedFilesOnlyInsideInsertedDirectoryForms) {
    // A plain body whose file record carries the temp marking is damaged.
    std::string doc = Bytes().tag(kTagZT01).i32(1).str("c").str("P").i32(0).i32(0).i32(0).i32(0).str("").str("")
                          .i32(0).i32(0).i32(0)
                          .i32(1).str("f").i32(0x100).i32(0).i32(0).i32(0).i32(0).str("").str("").i32(0).i32(0)
                          .tag(kTagFF40).b;
    CZTDocCore core;
    CZTPageList pages;
    EXPECT_EQ(ReadCode(doc, core, pages), 2);
    EXPECT_EQ(core.NodeCount(), 1); // nothing of the failed read stays

    // Inserted as a directory-form copy (level 11) the marking is accepted.
    test::TempDir dir;
    std::string dirDoc = Bytes().tag(kTagZT05).str(dir.path()).i32(1).str("c").str("P").i32(0).i32(0).i32(0).i32(0)
                             .str("").str("").i32(0).i32(0).i32(0)
                             .i32(1).str("f").i32(0x100).i32(0).i32(0).i32(0).i32(0).str("").str("").i32(0).i32(0)
                             .str("").tag(kTagFF40).b;
    EXPECT_EQ(ReadCode(dirDoc, core, pages, false), 0);
    // ...but not when the directory-form file is opened (level 9).
    CZTDocCore opened;
    CZTPageList p2;
    EXPECT_EQ(ReadCode(dirDoc, opened, p2, true), 2);
}

TEST(Serializer, TruncatedAndAbsurdInputsFailCleanly) {
    Sample s;
    std::string bytes = WriteDoc(s.core, s.pages, &s.header);
    for (size_t cut = 1; cut < bytes.size(); cut += (cut < 200 ? 1 : 97)) {
        CZTDocCore core;
        CZTPageList pages;
        EXPECT_EQ(ReadCode(bytes.substr(0, cut), core, pages), 2) << cut;
        EXPECT_EQ(core.NodeCount(), 1) << cut;
        EXPECT_TRUE(pages.empty());
    }
    // Absurd counts and lengths are refused before anything is allocated.
    for (int32_t count : {INT32_MAX, -1, 1000000}) {
        CZTDocCore core;
        CZTPageList pages;
        EXPECT_EQ(ReadCode(Bytes().tag(kTagZT01).i32(count).b, core, pages), 2);
    }
    CZTDocCore core;
    CZTPageList pages;
    std::string hugeText = Bytes().tag(kTagZT01).i32(1).str("c").str("P").i32(1).i32(0x7FFFFFF0).b;
    EXPECT_EQ(ReadCode(hugeText, core, pages), 2);
    std::string hugeExt = Bytes().tag(kTagZT04).i32(0x7FFFFFFF).b;
    EXPECT_EQ(ReadCode(hugeExt, core, pages), 2);
}

TEST(Serializer, DamagedCompressedBuffersAreRefused) {
    Sample s;
    std::string bytes = WriteDoc(s.core, s.pages, nullptr);
    // The record's CRC no longer agrees with its buffer.
    CZTPageRecord r = s.core.GetPage(1);
    size_t at = bytes.find(r.content.str().substr(0, 8));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] ^= 1;
    CZTDocCore core;
    CZTPageList pages;
    EXPECT_EQ(ReadCode(bytes, core, pages), 2);
}

TEST(Serializer, ListingNamesPagesAndFiles) {
    Sample s;
    std::string bytes = WriteDoc(s.core, s.pages, &s.header);
    CZTDocStream st = CZTDocStream::Loading(bytes);
    CZTDocSerializer ser(st);
    CZTPageList list;
    ser.ReadListing(list, nullptr);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[1].title, "Zwei");
    EXPECT_EQ(list[2].indicator, "f");
    EXPECT_EQ(list[2].title, "bild.png");
    EXPECT_EQ(list[3].indicator, "p");
}
