// Paragraph structure through load -> save -> load: space before and after,
// line spacing, in hand-written cases and in the files other word processors
// wrote, compared on the QTextDocument's blocks.
#include "text/qt/rtfdocument.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zt::textqt {
namespace {

std::string ReadData(const std::string& name) {
    std::ifstream in(std::string(ZT_TEST_DATA) + "/rtf/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One paragraph's spacing: text, before and after (twips), line height kind
// and value (percent, or twips).
struct Spacing {
    std::string text;
    int before = 0, after = 0, kind = 0, height = 0;
    bool operator==(const Spacing&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Spacing& s) {
    return os << '"' << s.text << "\" sb" << s.before << " sa" << s.after << " k" << s.kind << " h" << s.height;
}

std::vector<Spacing> SpacingOf(const QTextDocument& doc) {
    std::vector<Spacing> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        Spacing s;
        s.text = b.text().left(20).toStdString();
        s.before = UnitsToTwips(f.topMargin());
        s.after = UnitsToTwips(f.bottomMargin());
        s.kind = f.lineHeightType();
        s.height = s.kind == QTextBlockFormat::ProportionalHeight ? int(f.lineHeight()) : UnitsToTwips(f.lineHeight());
        if (s.kind == QTextBlockFormat::SingleHeight) s.height = 0;
        out.push_back(s);
    }
    return out;
}

bool Load(const std::string& rtf, QTextDocument& doc) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(12);
    doc.setDefaultFont(f);
    return LoadRtf(rtf, doc);
}

TEST(RtfParagraphSpacing, ReadAndWrittenBack) {
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\f0\\fs24 ";
    struct Case {
        const char* body;
        Spacing want;
        const char* written; // the words the writer gives back
    } cases[] = {
        {"\\sb120\\sa240 Vor und nach\\par}", {"Vor und nach", 120, 240, QTextBlockFormat::SingleHeight, 0},
         "\\sb120\\sa240"},
        {"\\sl360\\slmult1 Anderthalb\\par}", {"Anderthalb", 0, 0, QTextBlockFormat::ProportionalHeight, 150},
         "\\sl360\\slmult1"},
        {"\\sl-300\\slmult0 Genau\\par}", {"Genau", 0, 0, QTextBlockFormat::FixedHeight, 300}, "\\sl-300\\slmult0"},
        {"\\sl330 Mindestens\\par}", {"Mindestens", 0, 0, QTextBlockFormat::MinimumHeight, 330}, "\\sl330\\slmult0"},
        // \pard returns to no spacing.
        {"\\sb99\\pard Ohne\\par}", {"Ohne", 0, 0, QTextBlockFormat::SingleHeight, 0}, nullptr},
        // Out of range values are held to the page's size.
        {"\\sa99999999 Viel\\par}", {"Viel", 0, 31680, QTextBlockFormat::SingleHeight, 0}, "\\sa31680"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        QTextDocument doc;
        ASSERT_TRUE(Load(head + c.body, doc));
        ASSERT_EQ(SpacingOf(doc).size(), 1u);
        EXPECT_EQ(SpacingOf(doc)[0], c.want);
        const std::string rtf = WriteRtf(doc);
        if (c.written) {
            EXPECT_NE(rtf.find(c.written), std::string::npos) << rtf;
        } else {
            EXPECT_EQ(rtf.find("\\sb"), std::string::npos) << rtf;
        }
        QTextDocument again;
        ASSERT_TRUE(Load(rtf, again));
        EXPECT_EQ(SpacingOf(again), SpacingOf(doc));
    }
}

TEST(RtfParagraphSpacing, RealFilesKeepTheirSpacing) {
    struct File {
        const char* name;
        Spacing sample; // one paragraph the file spaces
    } files[] = {
        {"wordpad.rtf", {"", 0, 200, QTextBlockFormat::ProportionalHeight, 115}},
        {"libreoffice.rtf", {"", 240, 120, 0, 0}},
        {"pandoc.rtf", {"", 0, 180, 0, 0}},
    };
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        QTextDocument doc;
        ASSERT_TRUE(Load(ReadData(f.name), doc));
        const std::vector<Spacing> first = SpacingOf(doc);
        bool found = false;
        for (const Spacing& s : first)
            found |= s.before == f.sample.before && s.after == f.sample.after &&
                     (f.sample.kind == 0 || (s.kind == f.sample.kind && s.height == f.sample.height));
        EXPECT_TRUE(found) << ::testing::PrintToString(first);
        const std::string rtf = WriteRtf(doc);
        QTextDocument again;
        ASSERT_TRUE(Load(rtf, again));
        EXPECT_EQ(SpacingOf(again), first);
        EXPECT_EQ(WriteRtf(again), rtf);
    }
}

} // namespace
} // namespace zt::textqt
