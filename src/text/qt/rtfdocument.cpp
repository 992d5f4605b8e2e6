// Stand-in until the full reader and writer land: plain text only.
#include "text/qt/rtfdocument.h"

#include "base/cp1252.h"
#include "text/pagertf.h"
#include "text/rtftokenizer.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextImageFormat>

#include <cmath>

namespace zt::textqt {

int UnitsToTwips(double units) { return static_cast<int>(std::lround(units * kTwipsPerUnit)); }

namespace {
std::string PlainOf(std::string_view rtf) {
    RtfTokenizer tok(rtf);
    RtfToken t;
    std::string out;
    int skipDepth = -1;
    bool star = false;
    while (tok.Next(t)) {
        if (skipDepth >= 0 && tok.Depth() >= skipDepth && t.type != RtfTokenType::GroupClose) continue;
        if (t.type == RtfTokenType::GroupClose && skipDepth >= 0 && tok.Depth() < skipDepth) skipDepth = -1;
        if (t.type == RtfTokenType::Symbol && t.symbol == '*') star = true;
        else if (t.type == RtfTokenType::Word) {
            if (star || t.word == "fonttbl" || t.word == "colortbl" || t.word == "pict" || t.word == "stylesheet")
                skipDepth = tok.Depth();
            else if (t.word == "par" || t.word == "line") out += "\n";
            else if (t.word == "tab") out += "\t";
            star = false;
        } else if (t.type == RtfTokenType::Text) out += t.text;
        else if (t.type == RtfTokenType::Hex) out += static_cast<char>(t.hex);
    }
    return out;
}
} // namespace

bool LoadRtf(std::string_view rtf, QTextDocument& doc, std::string* error) {
    doc.clear();
    QTextCursor c(&doc);
    return InsertRtf(rtf, c, error);
}

bool InsertRtf(std::string_view rtf, QTextCursor& cursor, std::string* error) {
    if (rtf.substr(0, 5) != "{\\rtf") {
        if (error) *error = "not RTF";
        return false;
    }
    InsertPlainText(PlainOf(rtf), cursor);
    return true;
}

void InsertPlainText(std::string_view cp1252, QTextCursor& cursor) {
    std::string s(cp1252);
    std::string norm;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            norm += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else norm += s[i];
    }
    cursor.insertText(QString::fromStdString(Cp1252ToUtf8(norm)));
}

std::string WriteRtf(const QTextDocument& doc) {
    return TextToPageRtf(Utf8ToCp1252(doc.toPlainText().toStdString()), 12, false);
}

std::string WriteRtf(const QTextDocumentFragment& fragment) {
    return TextToPageRtf(Utf8ToCp1252(fragment.toPlainText().toStdString()), 12, false);
}

ParaIndents GetIndents(const QTextBlockFormat& f) {
    ParaIndents p;
    p.offset = -UnitsToTwips(f.textIndent());
    p.start = UnitsToTwips(f.leftMargin()) - p.offset;
    p.right = UnitsToTwips(f.rightMargin());
    return p;
}

void SetIndents(QTextBlockFormat& f, const ParaIndents& p) {
    f.setLeftMargin(TwipsToUnits(p.start + p.offset));
    f.setTextIndent(TwipsToUnits(-p.offset));
    f.setRightMargin(TwipsToUnits(p.right));
}

bool HasBullet(const QTextBlock& block) { return block.blockFormat().boolProperty(kBulletProperty); }

void SetBullets(QTextCursor& cursor, bool on) {
    QTextBlockFormat f;
    f.setProperty(kBulletProperty, on);
    cursor.mergeBlockFormat(f);
}

bool InsertPicture(QTextCursor& cursor, const QByteArray& bytes, std::string* error) {
    QImage img;
    if (!img.loadFromData(bytes)) {
        if (error) *error = "unreadable picture";
        return false;
    }
    cursor.insertImage(img);
    return true;
}

} // namespace zt::textqt
