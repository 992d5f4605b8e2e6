#include "ui/printui.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPageSetupDialog>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include "base/fileio.h"
#include "base/messages.h"
#include "core/document.h"
#include "ui/commands.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"
#include "ui/textview.h"

namespace zt::ui {

namespace {

std::string Path8(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

// ---- the options dialog

CZTPrintOptionsDialog::CZTPrintOptionsDialog(bool wholeDocument, bool subtree, bool titles, bool headerFooter,
                                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("printOptionsDialog"));
    setWindowTitle(QStringLiteral("Unterbaum + Titel"));
    auto* layout = new QVBoxLayout(this);
    subtreeBox = new QCheckBox(wholeDocument ? QStringLiteral("Document") : QStringLiteral("&Unterbaum"), this);
    subtreeBox->setObjectName(QStringLiteral("subtreeBox"));
    subtreeBox->setChecked(wholeDocument || subtree);
    subtreeBox->setEnabled(!wholeDocument);
    titlesBox = new QCheckBox(QStringLiteral("&Titel einfügen"), this);
    titlesBox->setObjectName(QStringLiteral("titlesBox"));
    titlesBox->setChecked(titles);
    headerBox = new QCheckBox(QStringLiteral("&Kopf- && Fußzeilen einfügen"), this);
    headerBox->setObjectName(QStringLiteral("headerBox"));
    headerBox->setChecked(headerFooter);
    layout->addWidget(subtreeBox);
    layout->addWidget(titlesBox);
    layout->addWidget(headerBox);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

// ---- the preview window

CZTPrintPreviewDialog::CZTPrintPreviewDialog(QPrinter& printer, Painter paint, QWidget* parent)
    : QDialog(parent), paint_(std::move(paint)) {
    setObjectName(QStringLiteral("printPreviewDialog"));
    setWindowTitle(QStringLiteral("Seitenansicht"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto button = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    printButton = button(QStringLiteral("&Drucken..."), "printButton");
    nextButton = button(QStringLiteral("&Nächste"), "nextButton");
    previousButton = button(QStringLiteral("&Vorherige"), "previousButton");
    twoSheetsButton = button(QStringLiteral("&Zwei Seiten"), "twoSheetsButton");
    zoomInButton = button(QStringLiteral("Ver&größern"), "zoomInButton");
    zoomOutButton = button(QStringLiteral("Ver&kleinern"), "zoomOutButton");
    closeButton = button(QStringLiteral("&Schließen"), "closeButton");
    bar->addStretch(1);
    layout->addLayout(bar);
    preview_ = new QPrintPreviewWidget(&printer, this);
    preview_->setObjectName(QStringLiteral("previewWidget"));
    layout->addWidget(preview_, 1);
    connect(preview_, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* p) {
        if (p && paint_) paint_(*p);
    });
    connect(preview_, &QPrintPreviewWidget::previewChanged, this, [this] { UpdateButtons(); });
    connect(printButton, &QPushButton::clicked, this, [this] {
        printRequested_ = true;
        accept();
    });
    connect(nextButton, &QPushButton::clicked, this, [this] {
        preview_->setCurrentPage(preview_->currentPage() + (twoSheets_ ? 2 : 1));
        UpdateButtons();
    });
    connect(previousButton, &QPushButton::clicked, this, [this] {
        preview_->setCurrentPage(preview_->currentPage() - (twoSheets_ ? 2 : 1));
        UpdateButtons();
    });
    connect(twoSheetsButton, &QPushButton::clicked, this, [this] {
        twoSheets_ = !twoSheets_;
        preview_->setViewMode(twoSheets_ ? QPrintPreviewWidget::FacingPagesView : QPrintPreviewWidget::SinglePageView);
        twoSheetsButton->setText(twoSheets_ ? QStringLiteral("&Eine Seite") : QStringLiteral("&Zwei Seiten"));
        UpdateButtons();
    });
    connect(zoomInButton, &QPushButton::clicked, this, [this] { preview_->zoomIn(1.25); });
    connect(zoomOutButton, &QPushButton::clicked, this, [this] { preview_->zoomOut(1.25); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    preview_->setViewMode(QPrintPreviewWidget::SinglePageView);
    preview_->fitInView();
    resize(720, 860);
}

int CZTPrintPreviewDialog::SheetCount() const { return preview_->pageCount(); }
int CZTPrintPreviewDialog::CurrentSheet() const { return preview_->currentPage(); }

void CZTPrintPreviewDialog::UpdateButtons() {
    const int n = preview_->pageCount(), at = preview_->currentPage();
    nextButton->setEnabled(at + (twoSheets_ ? 1 : 0) < n);
    previousButton->setEnabled(at > 1);
}

void CZTPrintPreviewDialog::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_PageDown) {
            if (nextButton->isEnabled()) nextButton->click();
            return;
        }
        if (event->key() == Qt::Key_PageUp) {
            if (previousButton->isEnabled()) previousButton->click();
            return;
        }
    }
    QDialog::keyPressEvent(event); // Esc closes
}

// ---- the commands

CZTPrintUi::CZTPrintUi(CMainFrame& frame) : QObject(&frame), frame_(frame) {}
CZTPrintUi::~CZTPrintUi() = default;

bool CZTPrintUi::Handles(int id) const {
    switch (id) {
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_PREVIEW:
    case ID_FILE_PRINT_SETUP:
    case ID_FILE_PRINT_PDF:
    case ID_PAGE_PRINT:
    case ID_PAGE_PREVIEW:
    case ID_PRINT_AFTER_PREVIEW:
        return true;
    default:
        return false;
    }
}

bool CZTPrintUi::IsEnabled(int id) const {
    if (!frame_.TextView()) return false;
    CZTDocument& doc = frame_.Document();
    switch (id) {
    case ID_FILE_PRINT_SETUP:
        return true;
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_PREVIEW:
    case ID_FILE_PRINT_PDF:
    case ID_PRINT_AFTER_PREVIEW:
        return doc.Tree().FirstRootPage() != nullptr;
    case ID_PAGE_PRINT:
    case ID_PAGE_PREVIEW:
        return frame_.TreeView()->CurrentPage() != nullptr;
    default:
        return false;
    }
}

void CZTPrintUi::Execute(int id) {
    if (!IsEnabled(id)) return;
    CZTPrintJob job;
    switch (id) {
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_PREVIEW:
        if (!AskJob(true, job)) return;
        id == ID_FILE_PRINT ? Print(job) : Preview(job);
        break;
    case ID_PAGE_PRINT:
    case ID_PAGE_PREVIEW:
        if (!AskJob(false, job)) return;
        id == ID_PAGE_PRINT ? Print(job) : Preview(job);
        break;
    case ID_PRINT_AFTER_PREVIEW:
        // Mode and titles for this print only; the header choice went into
        // the settings when the preview's options were confirmed.
        frame_.Settings().prefs.header = previewJob_.headerFooter ? 1 : 0;
        Print(previewJob_);
        break;
    case ID_FILE_PRINT_PDF: PrintPdf(); break;
    case ID_FILE_PRINT_SETUP: PrinterSetup(); break;
    default: break;
    }
}

QPrinter& CZTPrintUi::Printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setPageSize(QPageSize(QPageSize::A4));
        printer_->setFullPage(true);
    }
    return *printer_;
}

bool CZTPrintUi::AskJob(bool wholeDocument, CZTPrintJob& job) {
    CZTPreferences& prefs = frame_.Settings().prefs;
    CZTPageNode* page = frame_.TreeView()->CurrentPage();
    if (!wholeDocument && !page) return false;
    CZTPrintOptionsDialog dialog(wholeDocument, prefs.drag == 0, prefs.caption != 0, prefs.header != 0, &frame_);
    const bool ok = runOptions ? runOptions(dialog) : dialog.exec() == QDialog::Accepted;
    if (!ok) return false;
    job.mode = wholeDocument                      ? zt::print::ComposeMode::Document
               : dialog.subtreeBox->isChecked() ? zt::print::ComposeMode::Subtree
                                                : zt::print::ComposeMode::Page;
    job.anchor = wholeDocument ? 0 : page->Ident();
    job.titles = dialog.titlesBox->isChecked(); // this command only: `caption` keeps its value
    job.headerFooter = dialog.headerBox->isChecked();
    prefs.header = job.headerFooter ? 1 : 0;
    return true;
}

const CZTPageNode* CZTPrintUi::Anchor(const CZTPrintJob& job) const {
    if (job.mode == zt::print::ComposeMode::Document) return nullptr;
    return frame_.Document().Tree().FindPage(job.anchor);
}

zt::print::SheetOptions CZTPrintUi::SheetOptionsFor(const CZTPrintJob& job, QPagedPaintDevice&) const {
    const CZTPreferences& prefs = frame_.Settings().prefs;
    zt::print::SheetOptions o;
    o.marginLeft = prefs.marginLeft;
    o.marginTop = prefs.marginTop;
    o.marginRight = prefs.marginRight;
    o.marginBottom = prefs.marginBot;
    o.headerFooter = job.headerFooter;
    o.title = frame_.DocumentTitle();
    o.date = zt::print::FooterDate(Path8(frame_.DocumentPath()));
    return o;
}

zt::print::SheetResult CZTPrintUi::PrintJob(const CZTPrintJob& job, QPagedPaintDevice& device, int from, int to) {
    zt::print::SheetResult result;
    CZTDocument& doc = frame_.Document();
    const CZTPageNode* anchor = Anchor(job);
    if (job.mode != zt::print::ComposeMode::Document && !anchor) {
        result.error = QString::fromUtf8(MessageText(Msg::PrintNothingToPrint));
        return result;
    }
    // The text being edited is printed as it stands.
    if (CZettrixView* text = frame_.TextView()) text->SaveCurrentPage();
    const CZTPreferences& prefs = frame_.Settings().prefs;
    zt::print::ComposeOptions compose;
    compose.mode = job.mode;
    compose.titles = job.titles;
    compose.face = prefs.defaultFont;
    compose.sizeTwips = prefs.defaultFontSize;
    QTextDocument composed;
    std::vector<zt::print::ComposedPage> record;
    if (!zt::print::ComposePages(doc, anchor, compose, composed, record)) {
        result.error = QString::fromUtf8(MessageText(Msg::PrintNothingToPrint));
        return result;
    }
    zt::print::SheetOptions sheets = SheetOptionsFor(job, device);
    sheets.fromSheet = from;
    sheets.toSheet = to;
    return zt::print::PrintSheets(composed, record, sheets, device);
}

void CZTPrintUi::Print(const CZTPrintJob& job) {
    QPrinter& printer = Printer();
    // A count found by the preview is the highest sheet offered, once.
    const int maxSheet = knownPageCount_;
    knownPageCount_ = -1;
    bool ok = false;
    if (runPrinterDialog) {
        ok = runPrinterDialog(printer, maxSheet);
    } else {
        QPrintDialog dialog(&printer, &frame_);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        if (maxSheet > 0) dialog.setMinMax(1, maxSheet);
        ok = dialog.exec() == QDialog::Accepted;
    }
    if (!ok) return;
    int from = 0, to = 0;
    if (printer.printRange() == QPrinter::PageRange) {
        from = printer.fromPage();
        to = printer.toPage();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const zt::print::SheetResult r = PrintJob(job, printer, from, to);
    QApplication::restoreOverrideCursor();
    if (!r.ok) frame_.CurrentPrompter().Message(r.error.toStdString(), Prompter::Icon::Error);
}

void CZTPrintUi::Preview(const CZTPrintJob& job) {
    if (previewPossible && !previewPossible()) {
        frame_.CurrentPrompter().Message(MessageText(Msg::CommandFailed), Prompter::Icon::Error);
        return;
    }
    previewJob_ = job;
    int sheets = 0;
    CZTPrintPreviewDialog dialog(
        Printer(),
        [this, job, &sheets](QPrinter& printer) {
            const zt::print::SheetResult r = PrintJob(job, printer);
            sheets = r.ok ? r.sheetCount : 0;
        },
        &frame_);
    if (runPreview) {
        dialog.Preview()->updatePreview();
        runPreview(dialog);
    } else {
        dialog.exec();
    }
    if (!dialog.PrintRequested()) return;
    // "&Drucken...": the window is closed, its options and sheet count stay
    // with the main window, which prints them.
    knownPageCount_ = dialog.SheetCount() > 0 ? dialog.SheetCount() : sheets;
    QTimer::singleShot(0, &frame_, [frame = &frame_] { frame->Execute(ID_PRINT_AFTER_PREVIEW); });
}

bool CZTPrintUi::PrintToPdf(const CZTPrintJob& job, const QString& path, QString* error) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(600);
        QPageLayout layout = Printer().pageLayout();
        layout.setMargins(QMarginsF(0, 0, 0, 0));
        layout.setMinimumMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageLayout(layout);
        pdf.setTitle(frame_.DocumentTitle());
        pdf.setCreator(QStringLiteral("Zettrix"));
        const zt::print::SheetResult r = PrintJob(job, pdf);
        if (!r.ok) {
            if (error) *error = r.error;
            return false;
        }
    }
    std::string why;
    const QByteArray& bytes = buffer.data();
    if (!zt::WriteFileReplacing(Path8(path), std::string_view(bytes.constData(), size_t(bytes.size())), &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

void CZTPrintUi::PrintPdf() {
    CZTPrintJob job;
    if (!AskJob(true, job)) return;
    QString suggestion = frame_.DocumentPath();
    suggestion = suggestion.isEmpty() ? frame_.DocumentTitle() + QStringLiteral(".pdf")
                                      : QFileInfo(suggestion).path() + QLatin1Char('/') +
                                            QFileInfo(suggestion).completeBaseName() + QStringLiteral(".pdf");
    QString path = choosePdfFile ? choosePdfFile(suggestion)
                                 : QFileDialog::getSaveFileName(&frame_, QStringLiteral("Als PDF drucken"), suggestion,
                                                                QStringLiteral("PDF-Dateien (*.pdf)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool ok = PrintToPdf(job, path, &error);
    QApplication::restoreOverrideCursor();
    if (!ok) frame_.CurrentPrompter().Message(error.toStdString(), Prompter::Icon::Error);
}

void CZTPrintUi::PrinterSetup() {
    QPageSetupDialog dialog(&Printer(), &frame_);
    dialog.exec();
}

} // namespace zt::ui
