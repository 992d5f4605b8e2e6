#include "ui/exchangeui.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/exchange.h"
#include "ui/commands.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"
#include "ui/textview.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace zt::ui {

namespace {

QString Q(const std::string& cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
std::string P8(const QString& path) { return path.toStdString(); }

} // namespace

// ---- the two questions of the directory import

int CZTExchangeUi::AskChoice(int question, const QString& caption) {
    if (answerChoice) return answerChoice(question);
    struct Q {
        const char* title;
        const char* label;
        std::vector<const char*> options;
        int preset;
    };
    static const Q kQuestions[] = {
        {"Verschieben / Kopieren", "Einfügen der Dateien in die Baumansicht als",
         {"&Kindseiten", "&Nachbarseiten", "Einfügen als &Dateien in die Dateienansicht."}, 1},
        {"Frage...", "Auch Dateien im Binär-Format öffnen?",
         {"&Alle", "&Einzeln erfragen", "&Keine", "Alle als &Datei aufnehmen"}, 1},
    };
    const Q& q = kQuestions[question];
    QDialog d(&frame_);
    d.setWindowTitle(caption.isEmpty() ? QString::fromUtf8(q.title) : caption);
    auto* layout = new QVBoxLayout(&d);
    layout->addWidget(new QLabel(QString::fromUtf8(q.label), &d));
    auto* group = new QButtonGroup(&d);
    for (size_t i = 0; i < q.options.size(); ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(q.options[i]), &d);
        group->addButton(b, int(i));
        layout->addWidget(b);
        if (int(i) == q.preset) b->setChecked(true);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    return d.exec() == QDialog::Accepted ? group->checkedId() : -1;
}

// ---- the export dialog

CZTExportDialog::CZTExportDialog(QWidget* parent, int what, bool pageSelected, const QString& pagePath, int content,
                                 bool zip)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Exportieren"));
    auto* layout = new QVBoxLayout(this);

    auto* whatBox = new QGroupBox(QStringLiteral("&Was wird exportiert"), this);
    auto* wl = new QGridLayout(whatBox);
    const char* whatTexts[] = {"&Dokument", "&Unterbaum", "&Seite"};
    for (int i = 0; i < 3; ++i) {
        whatButtons[i] = new QRadioButton(QString::fromUtf8(whatTexts[i]), whatBox);
        wl->addWidget(whatButtons[i], 0, i);
    }
    auto* path = new QLineEdit(pagePath, whatBox);
    path->setReadOnly(true);
    wl->addWidget(path, 1, 0, 1, 3);
    whatButtons[1]->setEnabled(pageSelected);
    whatButtons[2]->setEnabled(pageSelected);
    whatButtons[pageSelected ? what : 0]->setChecked(true);
    layout->addWidget(whatBox);

    auto* contentBox = new QGroupBox(QString::fromUtf8("&Hinzufügen der Seiten als ..."), this);
    auto* cl = new QGridLayout(contentBox);
    const char* contentTexts[] = {"&Text", "&ohne Seiten (nur Dateien)", "Zip &Kommentare"};
    for (int i = 0; i < 3; ++i) {
        contentButtons[i] = new QRadioButton(QString::fromUtf8(contentTexts[i]), contentBox);
        cl->addWidget(contentButtons[i], i, 0);
    }
    formats = new QComboBox(contentBox);
    for (int row : ExportTextFormats()) formats->addItem(QString::fromStdString(TextFormatName(row)), row);
    formats->setCurrentIndex(0);
    cl->addWidget(formats, 0, 1);
    layout->addWidget(contentBox);

    auto* kindBox = new QGroupBox(QStringLiteral("Art des &Exports"), this);
    auto* kl = new QHBoxLayout(kindBox);
    kindButtons[0] = new QRadioButton(QStringLiteral("&Verzeichnis"), kindBox);
    kindButtons[1] = new QRadioButton(QStringLiteral("&Zip Datei"), kindBox);
    kl->addWidget(kindButtons[0]);
    kl->addWidget(kindButtons[1]);
    kindButtons[zip ? 1 : 0]->setChecked(true);
    layout->addWidget(kindBox);
    if (content == 2 && !zip) content = 1;
    contentButtons[content >= 0 && content <= 2 ? content : 0]->setChecked(true);

    auto* tl = new QHBoxLayout;
    target = new QLineEdit(this);
    browse = new QPushButton(QStringLiteral("Du&rchsuchen"), this);
    tl->addWidget(target);
    tl->addWidget(browse);
    layout->addLayout(tl);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (auto* b : contentButtons) connect(b, &QRadioButton::toggled, this, [this] { Update(); });
    for (auto* b : kindButtons)
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (!on) return;
            target->clear();
            if (kindButtons[0]->isChecked() && contentButtons[2]->isChecked()) contentButtons[1]->setChecked(true);
            Update();
        });
    connect(browse, &QPushButton::clicked, this, [this] {
        const bool z = Zip();
        QString chosen;
        if (chooseTarget) {
            chosen = chooseTarget(z);
        } else if (z) {
            QFileDialog d(this, QString(), target->text(), QStringLiteral("Zip files (*.zip);;All files (*.*)"));
            d.setAcceptMode(QFileDialog::AcceptSave);
            d.setDefaultSuffix(QStringLiteral("zip"));
            if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty()) chosen = d.selectedFiles().front();
        } else {
            chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Exportieren in das Dateisystem"),
                                                       target->text());
        }
        if (!chosen.isEmpty()) target->setText(chosen);
    });
    Update();
}

void CZTExportDialog::Update() {
    contentButtons[2]->setEnabled(Zip());
    formats->setEnabled(contentButtons[0]->isChecked());
}

int CZTExportDialog::What() const {
    for (int i = 0; i < 3; ++i)
        if (whatButtons[i]->isChecked()) return i;
    return 0;
}
int CZTExportDialog::Content() const {
    for (int i = 0; i < 3; ++i)
        if (contentButtons[i]->isChecked()) return i;
    return 0;
}
int CZTExportDialog::Format() const { return formats->currentData().toInt(); }
bool CZTExportDialog::Zip() const { return kindButtons[1]->isChecked(); }
QString CZTExportDialog::Target() const { return target->text().trimmed(); }

void CZTExportDialog::accept() {
    if (Target().isEmpty()) {
        auto* frame = qobject_cast<CMainFrame*>(parentWidget());
        const Msg id = Zip() ? Msg::NoFileNameChosen : Msg::NoFolderChosen;
        if (frame) frame->CurrentPrompter().Message(MessageText(id), Prompter::Icon::Warning);
        return; // stays open
    }
    QDialog::accept();
}

// ---- progress in the status bar

class CZTStatusProgress : public ExchangeProgress {
public:
    explicit CZTStatusProgress(CZTExchangeUi& ui) : ui_(ui) {}
    bool Step(uint64_t done, uint64_t total) override { return ui_.Step(done, total); }

private:
    CZTExchangeUi& ui_;
};

CZTExchangeUi::CZTExchangeUi(CMainFrame& frame) : QObject(&frame), frame_(frame) {
    bar_ = new QProgressBar(&frame);
    bar_->setMaximumWidth(160);
    bar_->setTextVisible(false);
    cancel_ = new QPushButton(QStringLiteral("Abbrechen"), &frame);
    frame.statusBar()->addPermanentWidget(bar_);
    frame.statusBar()->addPermanentWidget(cancel_);
    bar_->hide();
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
}

bool CZTExchangeUi::Handles(int id) const {
    switch (id) {
    case ID_EXPORT_DIRECTORY:
    case ID_EXPORT_DIRECTORY_PAGES:
    case ID_EXPORT_SPECIAL_DIRECTORY:
    case ID_IMPORT_DIRECTORY:
    case ID_IMPORT_DIRECTORY_PAGES:
    case ID_IMPORT_ZIP:
    case ID_IMPORT_ZIP_PAGES:
    case ID_IMPORT_ZTD_PAGES:
    case ID_EXPORT_HTML:
    case ID_EXPORT_TEXT:
    case ID_EXPORT_TEXT_PAGES:
    case ID_IMPORT_TEXT_PAGES: return true;
    default: return false;
    }
}

bool CZTExchangeUi::IsEnabled(int id) const {
    if (bar_->isVisible()) return false; // one at a time
    switch (id) {
    case ID_EXPORT_DIRECTORY:
    case ID_EXPORT_HTML:
    case ID_EXPORT_TEXT:
    case ID_EXPORT_SPECIAL_DIRECTORY: return !frame_.Document().Tree().IsEmpty();
    case ID_EXPORT_TEXT_PAGES: return frame_.TreeView()->CurrentPage() != nullptr;
    case ID_EXPORT_DIRECTORY_PAGES: return frame_.TreeView()->CurrentPage() != nullptr;
    case ID_IMPORT_DIRECTORY:
    case ID_IMPORT_ZIP: return true;
    default: return frame_.IsEditable();
    }
}

void CZTExchangeUi::Execute(int id) {
    if (!IsEnabled(id)) return;
    switch (id) {
    case ID_EXPORT_DIRECTORY: Export(0); break;
    case ID_EXPORT_DIRECTORY_PAGES: Export(frame_.Settings().prefs.drag ? 2 : 1); break;
    case ID_EXPORT_SPECIAL_DIRECTORY: ExportSpecial(); break;
    case ID_IMPORT_DIRECTORY: ImportDirectory(true); break;
    case ID_IMPORT_DIRECTORY_PAGES: ImportDirectory(false); break;
    case ID_IMPORT_ZIP: ImportZip(true); break;
    case ID_IMPORT_ZIP_PAGES: ImportZip(false); break;
    case ID_IMPORT_ZTD_PAGES: ImportDocuments(); break;
    case ID_EXPORT_HTML: ExportHtmlSite(); break;
    case ID_EXPORT_TEXT: ExportTextFile(true); break;
    case ID_EXPORT_TEXT_PAGES: ExportTextFile(false); break;
    case ID_IMPORT_TEXT_PAGES: ImportTextPages(); break;
    default: break;
    }
}

QString CZTExchangeUi::Folder(const QString& caption) {
    if (chooseFolder) return chooseFolder(caption);
    return QFileDialog::getExistingDirectory(&frame_, caption);
}

QStringList CZTExchangeUi::Files(const QString& filter) {
    if (chooseFiles) return chooseFiles(filter);
    return QFileDialog::getOpenFileNames(&frame_, QString(), QString(), filter);
}

void CZTExchangeUi::BeginWork() {
    frame_.TextView()->SaveCurrentPage();
    cancelled_ = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bar_->setRange(0, 0);
    bar_->show();
    cancel_->show();
    // Only the cancel button answers while the work runs: no menu, view or
    // key may start anything else in the middle of it.
    disabled_.clear();
    for (QAction* a : frame_.findChildren<QAction*>())
        if (a->isEnabled()) {
            a->setEnabled(false);
            disabled_.push_back(a);
        }
    frame_.menuBar()->setEnabled(false);
    if (frame_.centralWidget()) frame_.centralWidget()->setEnabled(false);
}

void CZTExchangeUi::EndWork() {
    bar_->hide();
    cancel_->hide();
    for (QAction* a : disabled_) a->setEnabled(true);
    disabled_.clear();
    frame_.menuBar()->setEnabled(true);
    if (frame_.centralWidget()) frame_.centralWidget()->setEnabled(true);
    QApplication::restoreOverrideCursor();
    if (CZTPageNode* page = frame_.TreeView()->CurrentPage()) frame_.TextView()->ShowPage(page);
}

bool CZTExchangeUi::Step(uint64_t done, uint64_t total) {
    if (total > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(int(done * 1000 / total));
    }
    if (onProgress) onProgress(done, total);
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !cancelled_;
}

void CZTExchangeUi::Export(int what) {
    CZTPageNode* page = frame_.TreeView()->CurrentPage();
    CZTExportDialog dialog(&frame_, what, page != nullptr, page ? Q(PagePath(page)) : QString(), lastContent,
                           lastZip);
    if (dialog.exec() != QDialog::Accepted) return;
    lastContent = dialog.Content();
    lastZip = dialog.Zip();
    ExportOptions options;
    options.what = ExportWhat(dialog.What());
    options.page = page;
    options.format = dialog.Format();
    options.content = ExportContent(dialog.Content());
    CZTStatusProgress progress(*this);
    options.progress = &progress;
    BeginWork();
    Prompter& prompter = frame_.CurrentPrompter();
    if (dialog.Zip()) ExportToZip(frame_.Document(), P8(dialog.Target()), options, prompter);
    else ExportToDirectory(frame_.Document(), P8(dialog.Target()), options, prompter);
    EndWork();
}

void CZTExchangeUi::ExportSpecial() {
    QString target = Folder(QStringLiteral("Zettrix Spezial Verzeichnis"));
    if (target.isEmpty()) return;
    BeginWork();
    ExportSpecialDirectory(frame_.Document(), P8(target), frame_.CurrentPrompter());
    EndWork();
}

void CZTExchangeUi::ImportDirectory(bool wholeDocument) {
    const QString path = Folder(QStringLiteral("Verzeichnis importieren"));
    if (path.isEmpty()) return;
    if (wholeDocument && !frame_.SaveModified()) return;
    CZTPageNode* anchor = wholeDocument ? nullptr : frame_.TreeView()->CurrentPage();
    const QString caption = QString::fromUtf8("Einfügen: Datei(en) -> ") +
                            (anchor ? Q(anchor->Title()) : QStringLiteral("(root)"));
    const int mode = AskChoice(0, wholeDocument ? QString() : caption);
    if (mode < 0) return;
    BinaryChoice binary = BinaryChoice::Ask;
    if (mode != 2) {
        const int b = AskChoice(1, QString());
        if (b < 0) return;
        binary = BinaryChoice(b);
    }
    CZTPageNode* placeholder = nullptr;
    if (wholeDocument) {
        frame_.NewDocument();
        placeholder = frame_.Document().Tree().FirstRootPage();
        const std::string name = Utf8ToCp1252(FileNamePart(P8(QDir::cleanPath(path))));
        frame_.Document().Archive().Header().title = name;
        frame_.SetDocumentTitle(Q(name));
    }
    CZTStatusProgress progress(*this);
    BeginWork();
    ImportOutcome out = zt::ImportDirectory(frame_.Document(), P8(path), anchor, InsertMode(mode), binary,
                                            frame_.CurrentPrompter(), &progress);
    EndWork();
    if (out.result != ExchangeResult::Ok) return;
    if (placeholder && out.pages > 0) frame_.Document().DeletePage(placeholder, false);
    frame_.Document().SetModified();
    CZTPageNode* select = wholeDocument ? frame_.Document().Tree().FirstRootPage() : out.first;
    if (select) frame_.TreeView()->SelectPage(select);
}

void CZTExchangeUi::ImportZip(bool wholeDocument) {
    const QStringList files = Files(QStringLiteral("Zip files (*.zip);;All files (*.*)"));
    if (files.isEmpty()) return;
    if (wholeDocument && !frame_.SaveModified()) return;
    CZTPageNode* placeholder = nullptr;
    CZTPageNode* after = frame_.TreeView()->CurrentPage();
    if (wholeDocument) {
        frame_.NewDocument();
        placeholder = frame_.Document().Tree().FirstRootPage();
        after = placeholder;
        const std::string name = Utf8ToCp1252(QFileInfo(files.front()).completeBaseName().toStdString());
        frame_.Document().Archive().Header().title = name;
        frame_.SetDocumentTitle(Q(name));
    }
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(P8(f));
    CZTStatusProgress progress(*this);
    BeginWork();
    ImportOutcome out = ImportZipFiles(frame_.Document(), paths, after, frame_.CurrentPrompter(), &progress);
    EndWork();
    if (out.result != ExchangeResult::Ok) return;
    if (placeholder) frame_.Document().DeletePage(placeholder, false);
    frame_.Document().SetModified();
    CZTPageNode* select = wholeDocument ? frame_.Document().Tree().FirstRootPage() : out.last;
    if (select) frame_.TreeView()->SelectPage(select);
}

void CZTExchangeUi::ImportDocuments() {
    const QStringList files = Files(QStringLiteral("Zettrix files (*.ztd);;All files (*.*)"));
    if (files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(P8(f));
    CZTStatusProgress progress(*this);
    BeginWork();
    ImportOutcome out = ImportDocumentFiles(frame_.Document(), paths, frame_.TreeView()->CurrentPage(),
                                            frame_.CurrentPrompter(), &progress);
    EndWork();
    if (out.result == ExchangeResult::Ok && out.last) frame_.TreeView()->SelectPage(out.last);
}

} // namespace zt::ui
