// Laying a composed text out on sheets: within the print margins, every
// composed page on a new sheet, and, when asked, a header line and a footer
// line on every sheet. Draws on any paged paint device (a QPrinter, a
// QPdfWriter), the same for printing, the preview and PDF files.
#pragma once

#include "print/composer.h"

#include <QString>

#include <string>
#include <vector>

class QPagedPaintDevice;
class QTextDocument;

namespace zt::print {

// Texts of the header and footer lines. Fields: {heading} the heading of the
// composed page the sheet belongs to, {title} the document title, {date} the
// document's date, {page} the sheet number.
struct HeaderFooter {
    QString headerLeft = QStringLiteral("{heading}");
    QString headerRight;
    QString footerLeft = QStringLiteral("{title}, {date}");
    QString footerRight; // empty: "Seite {page}" from the message table
};

struct SheetOptions {
    // Print margins in twips, applied to the paper.
    int marginLeft = 1440, marginTop = 1440, marginRight = 1440, marginBottom = 1440;
    bool headerFooter = false;
    HeaderFooter lines;
    QString title; // the document title (UTF-8 already)
    QString date;  // the document's date as shown in the footer
    // Sheets to draw (1-based, inclusive); 0 for the first or last sheet.
    int fromSheet = 0, toSheet = 0;
};

// The date of the footer: the modification time of the file when it exists,
// else now, as local time in the form "%a, %c".
QString FooterDate(const std::string& filePath);

// The document title shown in the footer: the file's name, else "Unbenannt".
QString DocumentTitleOf(const std::string& filePath);

// The outcome of laying out and drawing.
struct SheetResult {
    bool ok = false;
    int sheetCount = 0;            // sheets the whole composed text takes
    std::vector<int> pageFirstSheet; // per composed page, its first sheet (1-based)
    QString error;
};

// Lays the composed text (changed: it takes the device's layout) out on the
// device's paper and draws the chosen sheets, each after a new page of the
// device but the first. The device's own page margins are set to zero: the
// margins above apply to the whole paper.
SheetResult PrintSheets(QTextDocument& composed, const std::vector<ComposedPage>& record,
                        const SheetOptions& options, QPagedPaintDevice& device);

// Only the layout: the sheet count and first sheets, nothing drawn.
SheetResult LayOutSheets(QTextDocument& composed, const std::vector<ComposedPage>& record,
                         const SheetOptions& options, QPagedPaintDevice& device);

} // namespace zt::print
