// Text files: filters, detection, the opener, the text export and import,
// hostile input and the converter bridge (with stand-in converters).
#include "base/cp1252.h"
#include "core/document.h"
#include "exchange/converter.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "exchange/textfiles.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "text/pagertf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using zt::test::ReadFile;
using zt::test::TempDir;
using zt::test::WriteFile;

namespace {

// Sets PATH for one test and looks for the converter again; restores both.
class PathScope {
public:
    explicit PathScope(const std::string& path) {
        const char* old = std::getenv("PATH");
        old_ = old ? old : "";
        ::setenv("PATH", path.c_str(), 1);
        zt::RescanConverters();
    }
    ~PathScope() {
        ::setenv("PATH", old_.c_str(), 1);
        zt::RescanConverters();
        zt::SetConverterTimeoutMs(120000);
    }

private:
    std::string old_;
};

// A stand-in "soffice" in `dir` running `script` (sh).
void FakeOffice(const std::string& dir, const std::string& script) {
    const std::string path = dir + "/soffice";
    WriteFile(path, "#!/bin/sh\n" + script + "\n");
    ::chmod(path.c_str(), 0755);
}

struct Doc {
    zt::test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    Doc() { doc.New(); }
    CZTPageNode* Page(CZTPageNode* parent, const std::string& title, const std::string& text) {
        CZTPageNode* p = doc.AddPage(parent, title);
        doc.SetPageText(p, zt::IsRtfText(text) ? text : zt::TextToPageRtf(text, 10, false));
        return p;
    }
    std::string Plain(const CZTPageNode* n) {
        std::string t;
        zt::RtfToText(zt::TextToPageRtf(doc.PageText(n), 10, false), zt::RtfTextMode::Text, t);
        return t;
    }
};

const std::string kUmlauts = "Gr\xfc\xdf" "e aus K\xf6ln, \xc4rger \xfc" "ber \xd6l";

} // namespace

TEST(TextFormats, FiltersFollowTheConverter) {
    TempDir t;
    {
        PathScope none("/nonexistent");
        EXPECT_EQ(zt::BuildFilter(false),
                  "Text Documents (*.txt)|*.txt|Text Documents - MS-DOS Format (*.txt)|*.txt|"
                  "Rich Text Format (*.rtf)|*.rtf|All Documents (*.*)|*.*||");
        EXPECT_EQ(zt::BuildFilter(true), "Text Document|*.txt|Text Document - MS-DOS Format|*.txt|"
                                         "Rich Text Format (RTF)|*.rtf|Any File|*.*||");
        EXPECT_EQ(zt::FormatOfFilter(2, true), zt::kFormatRtf);
        EXPECT_EQ(zt::FormatOfFilter(3, true), zt::kFormatAnyFile);
        EXPECT_EQ(zt::FormatOfFilter(4, true), -1);
        EXPECT_EQ(zt::ExportTextFormats(), (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(zt::BuildQtFilter(false).substr(0, 22), "Text Documents (*.txt)");
        EXPECT_EQ(zt::FilterPosition("Rich Text Format (*.rtf)", false), 2);
    }
    FakeOffice(t.path(), "exit 0");
    {
        PathScope office(t.path());
        EXPECT_NE(zt::BuildFilter(false).find("Word 97 (*.doc)|*.doc|Windows Write (*.wri)|*.wri|"), std::string::npos);
        // LibreOffice writes Word documents but not the Write form.
        EXPECT_EQ(zt::ExportTextFormats(), (std::vector<int>{0, 1, 2, 3}));
        EXPECT_EQ(zt::FormatOfFilter(3, true), zt::kFormatWord6);
    }
}

TEST(TextFormats, ConverterOnlyFromAbsolutePathEntries) {
    TempDir t;
    FakeOffice(t.path(), "exit 0");
    const std::string cwd = fs::current_path().string();
    ASSERT_EQ(::chdir(t.path().c_str()), 0);
    // Empty and relative entries mean the working directory: never used.
    EXPECT_EQ(zt::FindOnPath("soffice", ":.:./:bin"), "");
    EXPECT_EQ(zt::FindOnPath("soffice", "/nonexistent:" + t.path()), t.path() + "/soffice");
    EXPECT_EQ(zt::FindOnPath("../soffice", t.path()), "");
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    // A file that is not executable does not count.
    WriteFile(t / "soffice2", "x");
    EXPECT_EQ(zt::FindOnPath("soffice2", t.path()), "");
}

TEST(TextFormats, DetectTextFormat) {
    TempDir t;
    PathScope none("/nonexistent");
    struct Case {
        std::string name, bytes;
        bool writing;
        int type;
    };
    const Case cases[] = {
        {"a.txt", "{\\rtf1 x}", false, 0},  // the name decides
        {"a.dat", "{\\rtf1 x}", false, 2},  // the content corrects an unknown name
        {"README", "plain", false, 0},     // no extension
        {"page.html", "<html>", false, -1},
        {"empty.doc", "", false, 3},       // an empty file is not looked into
        {"prog.xyz", "MZ\x90\0", false, -1},
        {"old.wri", "\x31\xBE\0\0", false, -1}, // a Write file without the converter
        {"a.DOC", "", true, 3},
        {"b.Rtf", "", true, 2},
        {"missing.txt", "", false, -1},
    };
    for (const Case& c : cases) {
        if (c.name != "missing.txt" && !c.writing) WriteFile(t / c.name, c.bytes);
        EXPECT_EQ(zt::DetectTextFormat(t / c.name, c.writing), c.type) << c.name;
    }
    // Word signature without converter: unknown, read as plain bytes.
    WriteFile(t / "x.bin", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "rest");
    EXPECT_EQ(zt::DetectTextFormat(t / "x.bin", false), -1);
}

TEST(TextFiles, RoundTripsOfTheBuiltInFormats) {
    TempDir t;
    PathScope none("/nonexistent");
    Doc d;
    CZTPageNode* page = d.Page(nullptr, "Seite", kUmlauts + "\nZweite Zeile");
    struct Case {
        const char* file;
        int format;
        std::string expectBytes; // a piece of the file as written
    };
    const Case cases[] = {
        {"ansi.txt", zt::kFormatText, kUmlauts + "\nZweite"},
        {"dos.txt", zt::kFormatDosText, "Gr\x81\xE1" "e aus K\x94ln, \x8Erger \x81" "ber \x99l\r\nZweite"},
        {"page.rtf", zt::kFormatRtf, "{\\rtf1"},
    };
    for (const Case& c : cases) {
        zt::TextExportOptions o;
        o.what = zt::ExportWhat::Page;
        o.page = page;
        o.chosenFormat = c.format;
        ASSERT_TRUE(zt::ExportText(d.doc, t / c.file, o, d.prompter)) << c.file;
        const std::string bytes = ReadFile(t / c.file);
        EXPECT_NE(bytes.find(c.expectBytes), std::string::npos) << c.file;
        // Read back in the same format.
        std::string back, error;
        zt::TextFileOptions fo;
        fo.chosenFormat = c.format;
        ASSERT_TRUE(zt::ReadTextForPage(t / c.file, back, error, fo)) << error;
        std::string plain = back;
        if (zt::IsRtfText(back)) zt::RtfToText(back, zt::RtfTextMode::Text, plain);
        EXPECT_NE(plain.find(kUmlauts), std::string::npos) << c.file;
    }
    // As new pages, in order after the page.
    zt::ImportOutcome in =
        zt::ImportTextFiles(d.doc, {t / "ansi.txt", t / "page.rtf"}, page, zt::BinaryChoice::Ask, d.prompter);
    ASSERT_EQ(in.result, zt::ExchangeResult::Ok);
    ASSERT_EQ(d.doc.Tree().RootPages().size(), 3u);
    EXPECT_EQ(d.doc.Tree().RootPages()[1]->Title(), "ansi.txt");
    EXPECT_EQ(d.doc.Tree().RootPages()[2]->Title(), "page.rtf");
    EXPECT_NE(d.Plain(d.doc.Tree().RootPages()[2]).find(kUmlauts), std::string::npos);
}

TEST(TextFiles, ComposedExportKeepsFontsAndNumbersTitles) {
    Doc d;
    CZTPageNode* a = d.Page(nullptr, "A",
                            "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}"
                            "{\\colortbl;\\red255\\green0\\blue0;}\\f1\\cf1 Rot in Courier\\par}");
    d.Page(a, "B", "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\f0 Times\\par}");
    d.Page(nullptr, "C", "nur Text");
    std::string rtf;
    ASSERT_TRUE(zt::ComposePagesText(d.doc, zt::ExportWhat::Document, nullptr, true, true, rtf));
    EXPECT_NE(rtf.find("{\\f1 Courier New;}"), std::string::npos);
    EXPECT_NE(rtf.find("{\\f2 Times New Roman;}"), std::string::npos); // renumbered after the first page's fonts
    EXPECT_NE(rtf.find("\\f2 Times"), std::string::npos);
    EXPECT_NE(rtf.find("\\cf2 Rot"), std::string::npos); // after the automatic colour
    std::string text;
    ASSERT_TRUE(zt::RtfToText(rtf, zt::RtfTextMode::Text, text));
    const size_t p1 = text.find("1 A"), p2 = text.find("1.1 B"), p3 = text.find("2 C");
    ASSERT_NE(p1, std::string::npos);
    ASSERT_NE(p2, std::string::npos);
    ASSERT_NE(p3, std::string::npos);
    EXPECT_LT(p1, text.find("Rot in Courier"));
    EXPECT_LT(text.find("Rot in Courier"), p2);
    EXPECT_LT(p2, p3);
    ASSERT_TRUE(zt::ComposePagesText(d.doc, zt::ExportWhat::Subtree, a, false, false, text));
    EXPECT_EQ(text, "Rot in Courier\nTimes\n");
}

TEST(TextFiles, HostileInputGivesMessagesNotCrashes) {
    TempDir t;
    PathScope none("/nonexistent");
    Doc d;
    // A binary file: asked about, skipped with "Keine".
    WriteFile(t / "bin.txt", std::string("\x01\x02\x03\x00\xff", 5) + std::string(100, '\0'));
    zt::ImportOutcome in = zt::ImportTextFiles(d.doc, {t / "bin.txt"}, nullptr, zt::BinaryChoice::None, d.prompter);
    EXPECT_EQ(in.result, zt::ExchangeResult::Ok);
    EXPECT_EQ(in.pages, 0u);
    // A 200 MB text file is refused before it is read.
    {
        int fd = ::open((t / "big.txt").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(200) << 20), 0);
        ::close(fd);
    }
    const auto start = std::chrono::steady_clock::now();
    in = zt::ImportTextFiles(d.doc, {t / "big.txt"}, nullptr, zt::BinaryChoice::All, d.prompter);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(in.pages, 0u);
    ASSERT_FALSE(d.prompter.messages.empty());
    EXPECT_NE(d.prompter.messages.back().find("zu gro\xc3\x9f"), std::string::npos);
    std::string out, error;
    EXPECT_FALSE(zt::ReadTextForPage(t / "big.txt", out, error));
    EXPECT_TRUE(out.empty());
    // A missing file and a directory.
    EXPECT_FALSE(zt::ReadTextForPage(t / "fehlt.txt", out, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(zt::ReadTextForPage(t.path(), out, error));
    EXPECT_TRUE(d.doc.Tree().IsEmpty());
}

TEST(Converter, HangingConverterIsKilledAtTheTimeout) {
    TempDir t;
    FakeOffice(t.path(), "exec /bin/sleep 30");
    PathScope office(t.path());
    zt::SetConverterTimeoutMs(1000);
    WriteFile(t / "brief.doc", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, 'x'));
    Doc d;
    const auto start = std::chrono::steady_clock::now();
    zt::ImportOutcome in = zt::ImportTextFiles(d.doc, {t / "brief.doc"}, nullptr, zt::BinaryChoice::Ask, d.prompter);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_EQ(in.result, zt::ExchangeResult::Ok); // the import goes on without the file
    EXPECT_EQ(in.pages, 0u);
    ASSERT_EQ(d.prompter.messages.size(), 1u) << (d.prompter.messages.empty() ? "" : d.prompter.messages[0]);
    EXPECT_NE(d.prompter.messages[0].find("nicht geantwortet"), std::string::npos) << d.prompter.messages[0];
    // Cancelling stops it too.
    std::string out, error;
    zt::ConverterRun run;
    run.timeoutMs = 20000;
    int asked = 0;
    run.keepGoing = [&] { return ++asked < 3; };
    EXPECT_EQ(zt::ConvertWithOffice("x", "doc", "rtf", "rtf", out, "x.doc", error, run), zt::ConvertResult::Cancelled);
}

TEST(Converter, ConverterWithoutOutputAndItsArguments) {
    TempDir t;
    // Records its arguments, writes nothing.
    FakeOffice(t.path(), "for a in \"$@\"; do echo \"$a\"; done > \"" + t.path() + "/args\"");
    PathScope office(t.path());
    std::string out, error;
    EXPECT_EQ(zt::ConvertWithOffice("data", "doc", "rtf", "rtf", out, "brief.doc", error), zt::ConvertResult::Failed);
    EXPECT_NE(error.find("brief.doc"), std::string::npos);
    EXPECT_NE(error.find("keine Datei"), std::string::npos);
    const std::string args = ReadFile(t / "args");
    EXPECT_NE(args.find("--headless\n"), std::string::npos);
    EXPECT_NE(args.find("-env:UserInstallation=file:///"), std::string::npos);
    EXPECT_NE(args.find("--convert-to\nrtf\n"), std::string::npos);
    // The private profile is gone afterwards.
    const size_t at = args.find("file://") + 7;
    const std::string profile = args.substr(at, args.find('\n', at) - at);
    EXPECT_FALSE(fs::exists(profile));
}
