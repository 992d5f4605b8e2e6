#include "print/sheets.h"

#include "base/cp1252.h"
#include "base/messages.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QLocale>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace zt::print {

QString FooterDate(const std::string& filePath) {
    std::time_t t = std::time(nullptr);
    struct stat st {};
    if (!filePath.empty() && ::stat(filePath.c_str(), &st) == 0) t = st.st_mtime;
    // The weekday and the date in German whatever the process locale is, as
    // the rest of the printed sheet: "Do., 10.12.2026 14:37:05".
    const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(t));
    return QLocale(QLocale::German, QLocale::Germany).toString(when, QStringLiteral("ddd, dd.MM.yyyy HH:mm:ss"));
}

QString DocumentTitleOf(const std::string& filePath) {
    if (filePath.empty()) return QString::fromUtf8(zt::MessageText(zt::Msg::Untitled));
    return QFileInfo(QString::fromStdString(filePath)).fileName();
}

namespace {

// The paper, the text area and the header's line height, in device pixels,
// in the painter's coordinates (which start at the device's paint rectangle).
struct Geometry {
    QRectF text;
    QRectF paper;
    double h = 0;
    double dpiY = 0;
};

bool Measure(const SheetOptions& o, QPagedPaintDevice& device, Geometry& g, QString& error) {
    const int dpiX = std::max(1, device.logicalDpiX()), dpiY = std::max(1, device.logicalDpiY());
    const QPageLayout layout = device.pageLayout();
    const QRect full = layout.fullRectPixels(dpiY);
    const QRect paint = layout.paintRectPixels(dpiY);
    g.paper = QRectF(full).translated(-paint.topLeft());
    g.dpiY = dpiY;
    // The printer's current font is its default font.
    g.h = QFontMetricsF(QFont(), &device).lineSpacing();
    int top = std::max(0, o.marginTop), bottom = std::max(0, o.marginBottom);
    if (o.headerFooter) {
        const int extra = int(g.h * 2160.0 / dpiY);
        top += extra;
        bottom += extra;
    }
    const double l = double(std::max(0, o.marginLeft)) * dpiX / 1440.0;
    const double r = double(std::max(0, o.marginRight)) * dpiX / 1440.0;
    const double t = double(top) * dpiY / 1440.0, b = double(bottom) * dpiY / 1440.0;
    g.text = QRectF(g.paper.left() + l, g.paper.top() + t, g.paper.width() - l - r, g.paper.height() - t - b);
    // At least a tenth of an inch each way, or nothing fits on a sheet.
    if (g.text.width() < dpiX / 10.0 || g.text.height() < dpiY / 10.0) {
        error = QString::fromUtf8(zt::MessageText(zt::Msg::PrintMarginsNoRoom));
        return false;
    }
    return true;
}

// The frame directly in the root frame that holds `pos`, or null when the
// position is in a paragraph of the root frame itself.
QTextFrame* OuterFrameAt(QTextDocument& doc, int pos) {
    QTextCursor c(&doc);
    c.setPosition(pos);
    QTextFrame* f = c.currentFrame();
    QTextFrame* root = doc.rootFrame();
    while (f && f != root && f->parentFrame() != root) f = f->parentFrame();
    return f == root ? nullptr : f;
}

int StartOf(const std::vector<ComposedPage>& record, size_t k) { return k == 0 ? 0 : record[k - 1].endOffset; }

SheetResult Layout(QTextDocument& doc, const std::vector<ComposedPage>& record, const SheetOptions& o,
                   QPagedPaintDevice& device, Geometry& g) {
    SheetResult result;
    if (record.empty()) {
        result.error = QString::fromUtf8(zt::MessageText(zt::Msg::PrintNothingToPrint));
        return result;
    }
    if (!Measure(o, device, g, result.error)) return result;
    doc.setDocumentMargin(0);
    doc.documentLayout()->setPaintDevice(&device);
    // Every composed page after the first begins on a new sheet.
    const int last = doc.characterCount() - 1;
    for (size_t k = 1; k < record.size(); ++k) {
        const int pos = StartOf(record, k);
        if (pos < 0 || pos > last) continue;
        if (QTextFrame* frame = OuterFrameAt(doc, pos)) {
            QTextFrameFormat ff = frame->frameFormat();
            ff.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            frame->setFrameFormat(ff);
        } else {
            QTextCursor c(&doc);
            c.setPosition(pos);
            QTextBlockFormat bf = c.blockFormat();
            bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            c.setBlockFormat(bf);
        }
    }
    doc.setPageSize(g.text.size());
    const double pageHeight = g.text.height();
    auto sheetOf = [&](const QTextBlock& b) {
        const QRectF r = doc.documentLayout()->blockBoundingRect(b);
        return std::max(1, int(std::floor((r.top() + 0.5) / pageHeight)) + 1);
    };
    for (size_t k = 0; k < record.size(); ++k) {
        const QTextBlock b = doc.findBlock(std::min(StartOf(record, k), last));
        result.pageFirstSheet.push_back(b.isValid() ? sheetOf(b) : 1);
    }
    result.sheetCount = std::max(1, doc.pageCount());
    // The closing line break of the last page opens an empty paragraph; alone
    // on a sheet of its own it does not make another sheet.
    const QTextBlock tail = doc.lastBlock();
    if (tail.isValid() && tail.length() <= 1 && tail.previous().isValid()) {
        const QTextBlock prev = tail.previous();
        const QRectF pr = doc.documentLayout()->blockBoundingRect(prev);
        const int prevLastSheet = std::max(1, int(std::floor((pr.bottom() - 0.5) / pageHeight)) + 1);
        if (sheetOf(tail) > prevLastSheet && prevLastSheet >= result.pageFirstSheet.back())
            result.sheetCount = std::min(result.sheetCount, prevLastSheet);
    }
    result.ok = true;
    return result;
}

QString Fill(QString pattern, const QString& heading, const SheetOptions& o, int sheet) {
    pattern.replace(QStringLiteral("{heading}"), heading);
    pattern.replace(QStringLiteral("{title}"), o.title);
    pattern.replace(QStringLiteral("{date}"), o.date);
    pattern.replace(QStringLiteral("{page}"), QString::number(sheet));
    return pattern;
}

void DrawLines(QPainter& p, const Geometry& g, const SheetOptions& o, const QString& heading, int sheet) {
    QString footerRight = o.lines.footerRight;
    if (footerRight.isEmpty())
        footerRight = QString::fromStdString(zt::FormatMessage(zt::Msg::PrintSheetNumber, {"{page}"}));
    const QString hl = Fill(o.lines.headerLeft, heading, o, sheet), hr = Fill(o.lines.headerRight, heading, o, sheet);
    const QString fl = Fill(o.lines.footerLeft, heading, o, sheet), fr = Fill(footerRight, heading, o, sheet);
    p.save();
    QFont courier(QStringLiteral("Courier"));
    courier.setStyleHint(QFont::Courier);
    courier.setPointSizeF(10);
    p.setFont(courier);
    p.setPen(QPen(Qt::black, 4, Qt::SolidLine));
    const double x0 = g.text.left(), x1 = g.text.right(), width = g.text.width();
    const QFontMetricsF fm(courier, p.device());
    if (!hl.isEmpty() || !hr.isEmpty()) {
        const double top = g.text.top() - g.h * 1.5;
        p.drawText(QRectF(x0, top, width, fm.height()), Qt::AlignLeft | Qt::AlignTop, hl);
        p.drawText(QRectF(x0, top, width, fm.height()), Qt::AlignRight | Qt::AlignTop, hr);
        const double y = g.text.top() - g.h / 2;
        p.drawLine(QPointF(x0, y), QPointF(x1, y));
    }
    if (!fl.isEmpty() || !fr.isEmpty()) {
        const double y = g.text.bottom() + g.h / 2;
        p.drawLine(QPointF(x0, y), QPointF(x1, y));
        const double top = y + g.dpiY / 100.0;
        p.drawText(QRectF(x0, top, width, fm.height()), Qt::AlignLeft | Qt::AlignTop, fl);
        p.drawText(QRectF(x0, top, width, fm.height()), Qt::AlignRight | Qt::AlignTop, fr);
    }
    p.restore();
}

} // namespace

SheetResult LayOutSheets(QTextDocument& composed, const std::vector<ComposedPage>& record,
                         const SheetOptions& options, QPagedPaintDevice& device) {
    Geometry g;
    return Layout(composed, record, options, device, g);
}

SheetResult PrintSheets(QTextDocument& composed, const std::vector<ComposedPage>& record,
                        const SheetOptions& options, QPagedPaintDevice& device) {
    Geometry g;
    SheetResult result = Layout(composed, record, options, device, g);
    if (!result.ok) return result;
    const int from = std::clamp(options.fromSheet > 0 ? options.fromSheet : 1, 1, result.sheetCount);
    const int to = std::clamp(options.toSheet > 0 ? options.toSheet : result.sheetCount, from, result.sheetCount);
    QPainter p;
    if (!p.begin(&device)) {
        result.ok = false;
        result.error = QString::fromUtf8(zt::MessageText(zt::Msg::CommandFailed));
        return result;
    }
    p.setRenderHint(QPainter::Antialiasing);
    const double pageHeight = g.text.height();
    for (int n = from; n <= to; ++n) {
        if (n > from) device.newPage();
        // The composed page the sheet belongs to: the last one begun by now.
        size_t k = 0;
        while (k + 1 < result.pageFirstSheet.size() && result.pageFirstSheet[k + 1] <= n) ++k;
        p.save();
        p.translate(g.text.topLeft());
        p.setClipRect(QRectF(QPointF(0, 0), g.text.size()));
        p.translate(0, -(n - 1) * pageHeight);
        QAbstractTextDocumentLayout::PaintContext ctx;
        // Paragraphs that merely touch the sheet's edges belong to the
        // neighbouring sheets: they are not drawn here, not even clipped.
        ctx.clip = QRectF(0, (n - 1) * pageHeight + 1, g.text.width(), pageHeight - 2);
        ctx.palette.setColor(QPalette::Text, Qt::black);
        composed.documentLayout()->draw(&p, ctx);
        p.restore();
        if (options.headerFooter)
            DrawLines(p, g, options, QString::fromStdString(zt::Cp1252ToUtf8(record[k].heading)), n);
    }
    p.end();
    return result;
}

} // namespace zt::print
