// Editing helpers of the control: units, indents, bullets, plain text and
// pictures. The reader is in rtfreader.cpp, the writer in rtfwriter.cpp.
#include "text/qt/rtfdocument.h"
#include "text/qt/rtfinternal.h"
#include "text/qt/rtfproperties.h"

#include "base/cp1252.h"
#include "text/pictures.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextList>
#include <QUrl>
#include <QVariant>

#include <cmath>

namespace zt::textqt {

int UnitsToTwips(double units) { return static_cast<int>(std::lround(units * kTwipsPerUnit)); }

namespace detail {

void InsertImage(QTextCursor& cursor, const QImage& image, const QByteArray& bytes, const QString& kind,
                 double widthUnits, double heightUnits) {
    QTextDocument* doc = cursor.document();
    // Every picture gets a name of its own within the document.
    qlonglong n = doc->property("ztPictureCounter").toLongLong() + 1;
    doc->setProperty("ztPictureCounter", n);
    QString name = QStringLiteral("zt-picture:%1").arg(n);
    doc->addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat f;
    f.setName(name);
    f.setWidth(widthUnits);
    f.setHeight(heightUnits);
    f.setProperty(kPictureBytesProperty, bytes);
    f.setProperty(kPictureKindProperty, kind);
    cursor.insertImage(f);
}

void SetBlockBullet(QTextCursor& cursor, bool on) {
    QTextBlock block = cursor.block();
    QTextList* list = block.textList();
    if (!on) {
        if (list) list->remove(block);
        SetListHang(cursor, false);
        QTextBlockFormat f = cursor.blockFormat();
        f.clearProperty(kBulletProperty);
        f.setIndent(0);
        cursor.setBlockFormat(f);
        return;
    }
    QTextBlockFormat f = cursor.blockFormat();
    if (!f.boolProperty(kBulletProperty)) {
        f.setProperty(kBulletProperty, true);
        cursor.setBlockFormat(f);
    }
    // A numbered paragraph leaves its numbering for the bullet.
    if (list && !IsNumberStyle(list->format().style())) return;
    if (list) list->remove(block);
    QTextBlock prev = block.previous();
    if (prev.isValid() && prev.textList() && prev.blockFormat().boolProperty(kBulletProperty)) {
        prev.textList()->add(block);
        SetListHang(cursor, true);
        return;
    }
    // The list shows the disc; its own indent stays 0 so that the paragraph
    // keeps its indents.
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::ListDisc);
    lf.setIndent(0);
    QTextBlockFormat keep = cursor.blockFormat();
    cursor.createList(lf);
    // createList resets the block's indent; margins and the bullet mark stay.
    QTextBlockFormat now = cursor.blockFormat();
    now.setLeftMargin(keep.leftMargin());
    now.setTextIndent(keep.textIndent());
    cursor.setBlockFormat(now);
    SetListHang(cursor, true);
}

void SetListHang(QTextCursor& cursor, bool inList) {
    QTextBlockFormat f = cursor.blockFormat();
    if (inList == f.hasProperty(kListHangProperty)) return;
    if (inList) {
        f.setProperty(kListHangProperty, f.textIndent());
        f.setTextIndent(0);
    } else {
        f.setTextIndent(f.doubleProperty(kListHangProperty));
        f.clearProperty(kListHangProperty);
    }
    cursor.setBlockFormat(f);
}

bool IsNumberStyle(int style) {
    switch (style) {
    case QTextListFormat::ListDecimal:
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha:
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman: return true;
    default: return false;
    }
}

void SetBlockNumber(QTextCursor& cursor, int style) {
    QTextBlock block = cursor.block();
    QTextList* list = block.textList();
    if (!IsNumberStyle(style)) {
        if (list && IsNumberStyle(list->format().style())) {
            list->remove(block);
            SetListHang(cursor, false);
        }
        return;
    }
    if (list && list->format().style() == style) return;
    if (list) list->remove(block);
    QTextBlock prev = block.previous();
    if (prev.isValid() && prev.textList() && prev.textList()->format().style() == style &&
        !prev.blockFormat().boolProperty(kBulletProperty)) {
        prev.textList()->add(block);
        SetListHang(cursor, true);
        return;
    }
    // As with bullets, the list's own indent stays 0 and the paragraph keeps
    // its indents.
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::Style(style));
    lf.setIndent(0);
    QTextBlockFormat keep = cursor.blockFormat();
    cursor.createList(lf);
    QTextBlockFormat now = cursor.blockFormat();
    now.setLeftMargin(keep.leftMargin());
    now.setTextIndent(keep.textIndent());
    cursor.setBlockFormat(now);
    SetListHang(cursor, true);
}

} // namespace detail

void InsertPlainText(std::string_view cp1252, QTextCursor& cursor) {
    std::string norm;
    norm.reserve(cp1252.size());
    for (size_t i = 0; i < cp1252.size(); ++i) {
        char ch = cp1252[i];
        if (ch == '\r') {
            norm += '\n';
            if (i + 1 < cp1252.size() && cp1252[i + 1] == '\n') ++i;
        } else if (ch != '\0') {
            norm += ch;
        }
    }
    cursor.insertText(QString::fromStdString(Cp1252ToUtf8(norm)));
}

ParaIndents GetIndents(const QTextBlockFormat& f) {
    ParaIndents p;
    p.offset = -UnitsToTwips(f.hasProperty(kListHangProperty) ? f.doubleProperty(kListHangProperty) : f.textIndent());
    p.start = UnitsToTwips(f.leftMargin()) - p.offset;
    p.right = UnitsToTwips(f.rightMargin());
    return p;
}

void SetIndents(QTextBlockFormat& f, const ParaIndents& p) {
    f.setLeftMargin(TwipsToUnits(p.start + p.offset));
    if (f.hasProperty(kListHangProperty))
        f.setProperty(kListHangProperty, TwipsToUnits(-p.offset));
    else
        f.setTextIndent(TwipsToUnits(-p.offset));
    f.setRightMargin(TwipsToUnits(p.right));
}

bool HasBullet(const QTextBlock& block) { return block.blockFormat().boolProperty(kBulletProperty); }

void SetBullets(QTextCursor& cursor, bool on) {
    QTextDocument* doc = cursor.document();
    if (!doc) return;
    QTextBlock first = doc->findBlock(cursor.selectionStart());
    QTextBlock last = doc->findBlock(cursor.selectionEnd());
    cursor.beginEditBlock();
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        QTextCursor c(b);
        detail::SetBlockBullet(c, on);
        if (b == last) break;
    }
    cursor.endEditBlock();
}

bool InsertPicture(QTextCursor& cursor, const QByteArray& bytes, std::string* error) {
    std::string_view data(bytes.constData(), size_t(bytes.size()));
    int pw = 0, ph = 0;
    QByteArray stored = bytes;
    QString kind;
    QImage img;
    if (ImagePixelSize(data, pw, ph)) {
        if (pw <= 0 || ph <= 0 || pw > detail::kMaxPictureSide || ph > detail::kMaxPictureSide ||
            int64_t(pw) * ph > detail::kMaxPicturePixels) {
            if (error) *error = "picture too large";
            return false;
        }
        kind = bytes.startsWith("\x89PNG") ? QStringLiteral("png") : QStringLiteral("jpeg");
        if (!img.loadFromData(bytes)) {
            if (error) *error = "unreadable picture";
            return false;
        }
    } else {
        if (!img.loadFromData(bytes) || img.width() > detail::kMaxPictureSide ||
            img.height() > detail::kMaxPictureSide) {
            if (error) *error = "unreadable picture";
            return false;
        }
        stored.clear();
        QBuffer buf(&stored);
        buf.open(QIODevice::WriteOnly);
        if (!img.save(&buf, "PNG")) {
            if (error) *error = "unreadable picture";
            return false;
        }
        kind = QStringLiteral("png");
    }
    detail::InsertImage(cursor, img, stored, kind, img.width(), img.height());
    return true;
}

} // namespace zt::textqt
