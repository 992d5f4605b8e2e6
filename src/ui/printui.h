// Printing in the program: the print and preview commands of the main menu
// and of the tree and text context menus, the options dialog "Unterbaum +
// Titel", the preview window with its button bar, the hand-over from the
// preview to printing, the printer setup, and printing into a PDF file. The
// pages are composed and laid out on sheets by src/print; the current page in
// the text view is never replaced by the composed text.
#pragma once

#include <QDialog>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

#include "print/composer.h"
#include "print/sheets.h"

class CZTPageNode;
class QCheckBox;
class QPrinter;
class QPrintPreviewWidget;
class QPushButton;
class QTextDocument;

namespace zt::ui {

class CMainFrame;

// The options dialog "Unterbaum + Titel".
class CZTPrintOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // `wholeDocument`: the first box reads "Document" and is disabled.
    CZTPrintOptionsDialog(bool wholeDocument, bool subtree, bool titles, bool headerFooter,
                          QWidget* parent = nullptr);
    QCheckBox* subtreeBox;
    QCheckBox* titlesBox;
    QCheckBox* headerBox;
};

// What one print or preview prints.
struct CZTPrintJob {
    zt::print::ComposeMode mode = zt::print::ComposeMode::Document;
    int32_t anchor = 0; // the page of modes 1 and 2
    bool titles = false;
    bool headerFooter = false;
};

// The preview window: the sheets of one job with the button bar "&Drucken...",
// "&Nächste", "&Vorherige", one or two sheets, "Ver&größern", "Ver&kleinern",
// "&Schließen"; Bild ab / Bild auf move between sheets, Esc closes.
class CZTPrintPreviewDialog : public QDialog {
    Q_OBJECT
public:
    using Painter = std::function<void(QPrinter& printer)>;
    CZTPrintPreviewDialog(QPrinter& printer, Painter paint, QWidget* parent = nullptr);

    QPrintPreviewWidget* Preview() const { return preview_; }
    // The sheets the preview shows, and the one at the top.
    int SheetCount() const;
    int CurrentSheet() const;
    // "&Drucken..." was chosen (the window closed to print).
    bool PrintRequested() const { return printRequested_; }

    QPushButton* printButton;
    QPushButton* nextButton;
    QPushButton* previousButton;
    QPushButton* twoSheetsButton;
    QPushButton* zoomInButton;
    QPushButton* zoomOutButton;
    QPushButton* closeButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateButtons();

    QPrintPreviewWidget* preview_;
    Painter paint_;
    bool printRequested_ = false;
    bool twoSheets_ = false;
};

class CZTPrintUi : public QObject {
    Q_OBJECT
public:
    explicit CZTPrintUi(CMainFrame& frame);
    ~CZTPrintUi() override;

    bool Handles(int id) const;
    bool IsEnabled(int id) const;
    void Execute(int id);

    // Composes the job's pages and lays them out on `device`, drawing the
    // sheets `from`..`to` (0: first / last). The outcome of the layout.
    zt::print::SheetResult PrintJob(const CZTPrintJob& job, QPagedPaintDevice& device, int from = 0, int to = 0);
    // Prints the job into a PDF file (the printer's paper), atomically.
    bool PrintToPdf(const CZTPrintJob& job, const QString& path, QString* error = nullptr);

    // The printer the commands print on (its paper and settings are kept
    // while the program runs).
    QPrinter& Printer();
    // The number of sheets the last preview found, or -1.
    int KnownPageCount() const { return knownPageCount_; }
    // The job the last preview window was opened with.
    const CZTPrintJob& PreviewJob() const { return previewJob_; }

    // Test hooks. The options dialog before it is shown (return false to
    // cancel, true to take its values without showing it); the printer
    // dialog with the highest sheet offered (false cancels); the preview
    // window instead of showing it modally; the name of the PDF file. The
    // defaults show the dialogs.
    std::function<bool(CZTPrintOptionsDialog& dialog)> runOptions;
    std::function<bool(QPrinter& printer, int maxSheet)> runPrinterDialog;
    std::function<void(CZTPrintPreviewDialog& dialog)> runPreview;
    std::function<QString(const QString& suggestion)> choosePdfFile;
    // Whether a preview window can be made (tests make it fail).
    std::function<bool()> previewPossible;

private:
    // Asks the options; false when cancelled.
    bool AskJob(bool wholeDocument, CZTPrintJob& job);
    void Print(const CZTPrintJob& job);
    void Preview(const CZTPrintJob& job);
    void PrintPdf();
    void PrinterSetup();
    zt::print::SheetOptions SheetOptionsFor(const CZTPrintJob& job, QPagedPaintDevice& device) const;
    const CZTPageNode* Anchor(const CZTPrintJob& job) const;

    CMainFrame& frame_;
    std::unique_ptr<QPrinter> printer_;
    int knownPageCount_ = -1;
    CZTPrintJob previewJob_;
};

} // namespace zt::ui
