#include "base/bytes.h"
#include "core/compress.h"
#include "core/docmodel.h"
#include "core/extbytes.h"

#include <gtest/gtest.h>

using namespace zt;

TEST(CompressedBuffer, RoundTripAndChecks) {
    std::string text(100000, 'a');
    for (size_t i = 0; i < text.size(); i += 7) text[i] = char('a' + i % 26);
    std::string buf = CompressBuffer(text);
    uint32_t len = 0, crc = 0;
    ASSERT_TRUE(BufferPrefix(buf, len, crc));
    EXPECT_EQ(len, text.size());
    EXPECT_EQ(crc, Crc32(text));
    std::string back;
    ASSERT_TRUE(DecompressBuffer(buf, back));
    EXPECT_EQ(back, text);
    EXPECT_TRUE(CompressBuffer("").empty());

    // A flipped byte in the stream, a wrong CRC, a wrong or absurd length: all refused.
    std::string flipped = buf;
    flipped[buf.size() / 2] ^= 0x55;
    std::string crcBad = buf;
    crcBad[4] ^= 1;
    std::string shortLen = buf;
    shortLen[0] ^= 1;
    std::string huge = buf;
    huge[3] = '\x7F';
    std::string error;
    for (const auto* bad : {&flipped, &crcBad, &shortLen, &huge}) {
        EXPECT_FALSE(DecompressBuffer(*bad, back, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(CompressedBuffer, AcceptsZlibWrappedStreams) {
    // Older writers stored a zlib-wrapped stream behind the prefix.
    std::string text = "zlib wrapped text";
    std::string raw = CompressBuffer(text);
    // Build the zlib form: header 78 9C, raw deflate, Adler-32 big-endian.
    uint32_t a = 1, b = 0;
    for (unsigned char c : text) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = (b << 16) | a;
    std::string wrapped = raw.substr(0, 8) + "\x78\x9C" + raw.substr(8);
    for (int s = 24; s >= 0; s -= 8) wrapped.push_back(char((adler >> s) & 0xFF));
    std::string back;
    ASSERT_TRUE(DecompressBuffer(wrapped, back));
    EXPECT_EQ(back, text);
}

TEST(Gzip, ExternalContentRoundTrip) {
    std::string buf = CompressBuffer("content of an attached file");
    std::string gz, back;
    ASSERT_TRUE(BufferToGzip(buf, gz));
    EXPECT_EQ(gz.substr(0, 10), std::string("\x1F\x8B\x08\0\0\0\0\0\0\x0B", 10));
    ASSERT_TRUE(GzipToBuffer(gz, back));
    EXPECT_EQ(back, buf);
    // Optional header fields are skipped.
    std::string named = gz;
    named[3] = 0x08; // FNAME
    named.insert(10, std::string("name.txt\0", 9));
    ASSERT_TRUE(GzipToBuffer(named, back));
    EXPECT_EQ(back, buf);
    named[3] = char(0x28); // reserved bit
    EXPECT_FALSE(GzipToBuffer(named, back));
    EXPECT_FALSE(BufferToGzip("short", gz));
    ASSERT_TRUE(BufferToGzip("", gz));
    EXPECT_TRUE(gz.empty());
}

TEST(ExtBytes, SetMovesToFrontAndRemoves) {
    std::string ext;
    ext = SetExtItem(ext, 1, "one");
    ext = SetExtItem(ext, 2, "two");
    ext = SetExtItem(ext, 3, "three");
    ext = SetExtItem(ext, 2, "TWO");
    std::string_view d;
    ASSERT_TRUE(FindExtItem(ext, 2, d));
    EXPECT_EQ(d, "TWO");
    EXPECT_EQ(GetLE32(ext.data()), 2u); // moved first
    EXPECT_EQ(GetLE32(ext.data() + 8 + 3), 3u);
    ext = SetExtItem(ext, 2, "");
    EXPECT_FALSE(FindExtItem(ext, 2, d));
    ASSERT_TRUE(FindExtItem(ext, 1, d));
    EXPECT_EQ(d, "one");
    EXPECT_FALSE(FindExtItem("\x01\0\0\0\x02\0\0", 1, d)); // shorter than 8 bytes
    // A size running past the end: the walk stops, a set discards the rest.
    std::string bad = std::string("\x01\0\0\0\xFF\0\0\0ab", 10);
    EXPECT_FALSE(FindExtItem(bad, 1, d));
    std::string fixed = SetExtItem(bad, 4, "x");
    EXPECT_EQ(fixed.size(), 9u);
}

TEST(DocCore, IdentsAndRecords) {
    CZTDocCore core;
    EXPECT_EQ(core.NodeCount(), 1);
    EXPECT_EQ(core.AppendNode(), 1);
    EXPECT_EQ(core.AppendNode(), 2);
    EXPECT_EQ(core.Node(0), nullptr);
    EXPECT_EQ(core.Node(-3), nullptr);
    EXPECT_EQ(core.FileCount(99), 0);

    CZTPageRecord r = core.GetPage(1);
    ASSERT_TRUE(r.valid);
    ASSERT_TRUE(r.SetText("Hallo Welt", "tester"));
    EXPECT_EQ(r.method, 1);
    EXPECT_EQ(r.uncompressedLength, 10);
    ASSERT_TRUE(core.PutPage(1, r));
    CZTPageRecord back = core.GetPage(1);
    ASSERT_NE(back.GetText(), nullptr);
    EXPECT_EQ(*back.GetText(), "Hallo Welt");
    EXPECT_EQ(back.modifiedBy, "tester");

    r.SetText("", "tester");
    EXPECT_EQ(r.method, 0);
    EXPECT_EQ(r.storedLength, 0);
    EXPECT_EQ(r.GetText(), nullptr);

    // GetPage beyond the end grows the table.
    core.GetPage(7);
    EXPECT_EQ(core.NodeCount(), 8);
    EXPECT_FALSE(core.PutPage(3, CZTPageRecord()));
}

TEST(DocCore, FilesAddReplaceDelete) {
    CZTDocCore core;
    int32_t page = core.AppendNode();
    auto file = [&](const char* name, const char* content) {
        CZTFileRecord f = CZTFileRecord::New(name, core.user);
        f.SetContent(content, core.user);
        return f;
    };
    EXPECT_EQ(core.PutFile(page, file("a.txt", "A")), 1);
    EXPECT_EQ(core.PutFile(page, file("b.txt", "B")), 1);
    EXPECT_EQ(core.PutFile(page, file("a.txt", "A2")), -1);
    int32_t pos = 0;
    EXPECT_EQ(core.FileName(page, pos), "a.txt"); // order kept on replace
    EXPECT_EQ(core.FileName(page, pos), "b.txt");
    EXPECT_EQ(core.FileName(page, pos), "");
    EXPECT_EQ(pos, -1);
    CZTFileRecord a = core.GetFile(page, "a.txt");
    ASSERT_TRUE(a.valid);
    ASSERT_NE(a.GetText(), nullptr);
    EXPECT_EQ(*a.GetText(), "A2");
    EXPECT_FALSE(core.GetFile(page, "A.TXT").valid);
    EXPECT_TRUE(core.DeleteFile(page, "a.txt"));
    EXPECT_TRUE(core.DeleteFile(page, "none"));
    EXPECT_EQ(core.FileCount(page), 1);
}
