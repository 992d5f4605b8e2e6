// The Word 97 round trip through the real LibreOffice (slow: one start of it
// per conversion). Skipped when soffice is not on PATH.
#include "core/document.h"
#include "exchange/converter.h"
#include "exchange/exchangeutil.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "exchange/textfiles.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "text/pagertf.h"

#include <gtest/gtest.h>

using zt::test::ReadFile;
using zt::test::TempDir;

TEST(Office, Word97RoundTripThroughLibreOffice) {
    zt::RescanConverters();
    if (zt::ConverterCommand().empty()) GTEST_SKIP() << "soffice (LibreOffice) is not on PATH";
    TempDir t;
    ::setenv("TMP", t.path().c_str(), 1); // the private profile goes below the test's directory
    zt::test::ScriptedPrompter prompter;
    CZTDocument doc(prompter);
    doc.New();
    const std::string text = "Gr\xfc\xdf" "e aus K\xf6ln \xe4\xf6\xfc\xc4\xd6\xdc\xdf";
    CZTPageNode* page = doc.AddPage(nullptr, "Brief");
    doc.SetPageText(page, "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\b " + zt::RtfEscape(text) +
                              "\\b0\\par Zweiter Absatz\\par}");
    zt::TextExportOptions o;
    o.what = zt::ExportWhat::Page;
    o.page = page;
    ASSERT_TRUE(zt::ExportText(doc, t / "brief.doc", o, prompter)) << prompter.messages.back();
    const std::string bytes = ReadFile(t / "brief.doc");
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    EXPECT_EQ(zt::DetectTextFormat(t / "brief.doc", false), zt::kFormatWord6);

    zt::ImportOutcome in = zt::ImportTextFiles(doc, {t / "brief.doc"}, page, zt::BinaryChoice::Ask, prompter);
    ASSERT_EQ(in.result, zt::ExchangeResult::Ok);
    ASSERT_EQ(in.pages, 1u) << (prompter.messages.empty() ? "" : prompter.messages.back());
    const std::string rtf = doc.PageText(in.first);
    ASSERT_TRUE(zt::IsRtfText(rtf));
    std::string plain;
    ASSERT_TRUE(zt::RtfToText(rtf, zt::RtfTextMode::Text, plain));
    EXPECT_NE(plain.find(text), std::string::npos) << plain;
    EXPECT_NE(plain.find("Zweiter Absatz"), std::string::npos);
    EXPECT_NE(rtf.find("\\b"), std::string::npos); // bold survives
    ::unsetenv("TMP");
}
