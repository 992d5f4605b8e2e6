// ztd print: the whole document, a page or a subtree printed into a PDF file
// through the program's own sheet layout, without a display or a printer.
#include "ztd.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "print/composer.h"
#include "print/sheets.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <iostream>

namespace ztd {
namespace {

int Print(Context& c, const Args& a) {
    const std::string out = a.Get("-o");
    if (out.empty() || a.positional.size() > 3) return kUsage;
    if (a.Has("--subtree") && a.positional.size() < 3) return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    EnsureGuiApplication();
    zt::print::ComposeOptions compose;
    const CZTPageNode* anchor = nullptr;
    if (a.positional.size() == 3) {
        anchor = c.Page(a.positional[2]);
        if (!anchor) return kDocError;
        compose.mode = a.Has("--subtree") ? zt::print::ComposeMode::Subtree : zt::print::ComposeMode::Page;
    }
    compose.titles = a.Has("--titles");
    QTextDocument composed;
    std::vector<zt::print::ComposedPage> record;
    if (!zt::print::ComposePages(c.doc, anchor, compose, composed, record))
        return c.Fail(zt::MessageText(zt::Msg::PrintNothingToPrint));

    zt::print::SheetOptions sheets;
    sheets.headerFooter = a.Has("--header") || a.Has("--footer");
    if (a.Has("--header") && !a.Get("--header").empty()) sheets.lines.headerLeft = QString::fromStdString(a.Get("--header"));
    if (a.Has("--footer") && !a.Get("--footer").empty()) sheets.lines.footerLeft = QString::fromStdString(a.Get("--footer"));
    sheets.title = zt::print::DocumentTitleOf(c.docPath);
    sheets.date = zt::print::FooterDate(c.docPath);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(600);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
        pdf.setTitle(sheets.title);
        pdf.setCreator(QStringLiteral("Zettrix"));
        const zt::print::SheetResult r = zt::print::PrintSheets(composed, record, sheets, pdf);
        if (!r.ok) return c.Fail(r.error.toStdString());
        std::cerr << r.sheetCount << (r.sheetCount == 1 ? " Blatt" : " Blätter") << "\n";
    }
    std::string error;
    const QByteArray& bytes = buffer.data();
    if (!zt::WriteFileReplacing(out, std::string_view(bytes.constData(), size_t(bytes.size())), &error))
        return c.Fail(error);
    return kOk;
}

} // namespace

void AddPrintCommands(std::vector<Command>& commands) {
    commands.push_back({"print", 1, Print,
                        "print DOKUMENT [PFAD] [--subtree] [--titles] [--header TEXT] [--footer TEXT] -o AUSGABE.pdf"});
}

} // namespace ztd
