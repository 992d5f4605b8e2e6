// The directory and zip commands of the document menu and the tree's context
// menu: the export dialog ("Exportieren"), the imports, and the progress bar
// in the status bar that can stop a long export or import.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zt::ui {

class CMainFrame;
class CZTHtmlExportDialog;
struct TextExportChoice;


// The export dialog, shared by the directory and the zip export.
class CZTExportDialog : public QDialog {
    Q_OBJECT
public:
    CZTExportDialog(QWidget* parent, int what, bool pageSelected, const QString& pagePath, int content, bool zip);

    int What() const;      // 0 document, 1 subtree, 2 page
    int Content() const;   // 0 text, 1 files only, 2 zip comments
    int Format() const;    // row of the format table
    bool Zip() const;
    QString Target() const;

    QRadioButton* whatButtons[3] = {};
    QRadioButton* contentButtons[3] = {};
    QRadioButton* kindButtons[2] = {};
    QComboBox* formats = nullptr;
    QLineEdit* target = nullptr;
    QPushButton* browse = nullptr;
    // Chooses the target (folder or zip file); the default shows the dialogs.
    std::function<QString(bool zip)> chooseTarget;

    void accept() override;

private:
    void Update();
};

class CZTExchangeUi : public QObject {
    Q_OBJECT
public:
    explicit CZTExchangeUi(CMainFrame& frame);

    bool Handles(int id) const;
    bool IsEnabled(int id) const;
    void Execute(int id);

    // Test hooks: a folder for the folder choosers, files for the open
    // dialogs (empty: the dialogs are shown), and a look at every progress step.
    std::function<QString(const QString& caption)> chooseFolder;
    std::function<QStringList(const QString& filter)> chooseFiles;
    std::function<void(uint64_t done, uint64_t total)> onProgress;
    // Answers the insertion question (0) and the binary question (1) with an
    // option, or -1 for Cancel; the default shows the dialogs.
    std::function<int(int question)> answerChoice;
    // The HTML export dialog before it is shown (return false to cancel, true
    // to take its values without showing it), and the text export's save
    // dialog; the defaults show the dialogs.
    std::function<bool(CZTHtmlExportDialog& dialog)> runHtmlDialog;
    std::function<bool(bool wholeDocument, TextExportChoice& choice)> chooseTextExport;
    // Stops the running export or import at its next step.
    void Cancel() { cancelled_ = true; }
    QProgressBar* ProgressBar() const { return bar_; }
    QPushButton* CancelButton() const { return cancel_; }

    // The export choices kept while the program runs.
    int lastContent = 0;
    bool lastZip = false;
    QString htmlFolder;      // the HTML export's target folder
    bool lastTitles = false; // "Titel einfügen" of the text export

private:
    friend class CZTStatusProgress;
    int AskChoice(int question, const QString& caption);
    void Export(int what);
    void ExportSpecial();
    void ImportDirectory(bool wholeDocument);
    void ImportZip(bool wholeDocument);
    void ImportDocuments();
    // The HTML site and text files (exchangetextui.cpp).
    void ExportHtmlSite();
    void ExportTextFile(bool wholeDocument);
    void ImportTextPages();
    QString Folder(const QString& caption);
    QStringList Files(const QString& filter);
    void BeginWork();
    void EndWork();
    bool Step(uint64_t done, uint64_t total);

    CMainFrame& frame_;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool cancelled_ = false;
    std::vector<QAction*> disabled_;
};

} // namespace zt::ui
