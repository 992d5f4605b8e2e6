// Enhanced metafiles in the text view: shown rendered, kept as they came
// and written back as \emfblip.
#include "text_qt/rtftestutil.h"
#include "text/qt/rtfdocument.h"

#include "text/picture_builders.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include <string>
#include <vector>

namespace zt::textqt {
namespace {

std::string Hex(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (unsigned char b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

std::vector<QTextImageFormat> Images(const QTextDocument& doc) {
    std::vector<QTextImageFormat> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) out.push_back(it.fragment().charFormat().toImageFormat());
    return out;
}

using testutil::Load;

// 96 x 48 pixels: left half red, right half white.
std::string RedHalf() {
    test::EmfBuilder emf(96, 48);
    emf.Rec(test::kEmfSelectObject, {test::kEmfStock | 8})
        .Rec(test::kEmfCreateBrushIndirect, {1, 0, 0x0000FF, 0})
        .Rec(test::kEmfSelectObject, {1})
        .Rec(test::kEmfRectangle, {0, 0, 48, 48});
    return emf.Build();
}

TEST(RtfEmf, ShownRenderedAndWrittenBackAsItCame) {
    const std::string emf = RedHalf();
    const std::string rtf = "{\\rtf1\\ansi a{\\pict\\emfblip\\picw2540\\pich1270\\picwgoal1440\\pichgoal720\r\n" +
                            Hex(emf) + "\r\n}b}";
    QTextDocument doc;
    ASSERT_TRUE(Load(rtf, doc));
    auto images = Images(doc);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].stringProperty(kPictureKindProperty), "emf");
    EXPECT_EQ(images[0].property(kPictureBytesProperty).toByteArray().toStdString(), emf);
    EXPECT_DOUBLE_EQ(images[0].width(), 96.0);  // 1440 twips
    EXPECT_DOUBLE_EQ(images[0].height(), 48.0);
    const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
    ASSERT_EQ(shown.size(), QSize(96, 48));
    EXPECT_EQ(QColor(shown.pixel(10, 10)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(shown.pixel(80, 10)), QColor(255, 255, 255));

    const std::string written = WriteRtf(doc);
    EXPECT_NE(written.find("{\\pict\\emfblip\\picw2540\\pich1270\\picwgoal1440\\pichgoal720"), std::string::npos)
        << written;
    std::string digits;
    for (char c : written.substr(written.find("\\emfblip")))
        if (std::isxdigit(uint8_t(c))) digits += c;
    EXPECT_NE(digits.find(Hex(emf)), std::string::npos);
    QTextDocument again;
    ASSERT_TRUE(Load(written, again));
    images = Images(again);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].property(kPictureBytesProperty).toByteArray().toStdString(), emf);
    EXPECT_EQ(again.toPlainText().remove(QChar::ObjectReplacementCharacter), "ab");
}

TEST(RtfEmf, DamagedMetafilesAreLeftOut) {
    std::string noSignature = RedHalf();
    noSignature[40] = 'X';
    const std::string cut = RedHalf().substr(0, 60);
    for (const std::string& data : {noSignature, cut, std::string("\x01\x02", 2)}) {
        QTextDocument doc;
        ASSERT_TRUE(Load("{\\rtf1 a{\\pict\\emfblip " + Hex(data) + "}b}", doc));
        EXPECT_TRUE(Images(doc).empty());
        EXPECT_EQ(doc.toPlainText(), "ab");
    }
}

} // namespace
} // namespace zt::textqt
