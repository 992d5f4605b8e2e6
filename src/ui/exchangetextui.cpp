// The HTML export and the text file commands of the document menu and the
// tree's context menu.
#include "ui/exchangetextui.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "core/document.h"
#include "exchange/textfiles.h"
#include "ui/exchangeui.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"
#include "ui/textview.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace zt::ui {

namespace {

QString Q(const std::string& cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
std::string B(const QString& s) { return Utf8ToCp1252(s.toStdString()); }

class CZTFunctionProgress : public ExchangeProgress {
public:
    explicit CZTFunctionProgress(std::function<bool(uint64_t, uint64_t)> f) : f_(std::move(f)) {}
    bool Step(uint64_t done, uint64_t total) override { return f_(done, total); }

private:
    std::function<bool(uint64_t, uint64_t)> f_;
};

} // namespace

// ---- "HTML-Export"

CZTHtmlExportDialog::CZTHtmlExportDialog(QWidget* parent, const HtmlExportSettings& s, const QString& target)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("HTML-Export"));
    auto* layout = new QVBoxLayout(this);
    auto* checks = new QHBoxLayout;
    titleLine = new QCheckBox(QStringLiteral("&Titelzeile"), this);
    linkHead = new QCheckBox(QStringLiteral("&Kopfnavigationsleiste"), this);
    linkFoot = new QCheckBox(QString::fromUtf8("&Fußnavigationsleiste"), this);
    titleLine->setChecked(s.titleLine);
    linkHead->setChecked(s.linkHead);
    linkFoot->setChecked(s.linkFoot);
    checks->addWidget(titleLine);
    checks->addWidget(linkHead);
    checks->addWidget(linkFoot);
    layout->addLayout(checks);
    auto* form = new QFormLayout;
    auto line = [&](const char* label, const std::string& value) {
        auto* e = new QLineEdit(Q(value), this);
        form->addRow(QString::fromUtf8(label), e);
        return e;
    };
    head1 = line("Kopfzeile 1", s.head1);
    head2 = line("Kopfzeile 2", s.head2);
    foot1 = line("Fußzeile 1", s.foot1);
    foot2 = line("Fußzeile 2", s.foot2);
    meta = line("<&META> Tags (z.B. Keywords, Description)", s.meta);
    layout->addLayout(form);
    auto* dirs = new QHBoxLayout;
    levels = new QRadioButton(QStringLiteral("mit &Verzeichnisebenen"), this);
    flat = new QRadioButton(QStringLiteral("ohne Verzeichnisebene&n"), this);
    (s.dirMode == 0 ? levels : flat)->setChecked(true);
    dirs->addWidget(levels);
    dirs->addWidget(flat);
    layout->addLayout(dirs);
    auto* tl = new QHBoxLayout;
    tl->addWidget(new QLabel(QStringLiteral("Verzeichnisname"), this));
    folder = new QLineEdit(target, this);
    auto* browse = new QPushButton(QStringLiteral("&Durchsuchen"), this);
    tl->addWidget(folder);
    tl->addWidget(browse);
    layout->addLayout(tl);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = chooseFolder ? chooseFolder()
                                            : QFileDialog::getExistingDirectory(this, QStringLiteral("HTML Exportieren"),
                                                                                folder->text());
        if (!chosen.isEmpty()) folder->setText(chosen);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

HtmlExportSettings CZTHtmlExportDialog::Settings() const {
    HtmlExportSettings s;
    s.titleLine = titleLine->isChecked();
    s.linkHead = linkHead->isChecked();
    s.linkFoot = linkFoot->isChecked();
    s.head1 = B(head1->text());
    s.head2 = B(head2->text());
    s.foot1 = B(foot1->text());
    s.foot2 = B(foot2->text());
    s.meta = B(meta->text());
    s.dirMode = levels->isChecked() ? 0 : 1;
    return s;
}

QString CZTHtmlExportDialog::Folder() const { return folder->text().trimmed(); }

void CZTHtmlExportDialog::accept() {
    if (Folder().isEmpty()) {
        if (auto* frame = qobject_cast<CMainFrame*>(parentWidget()))
            frame->CurrentPrompter().Message(MessageText(Msg::NoFolderChosen), Prompter::Icon::Warning);
        return; // stays open
    }
    QDialog::accept();
}

// ---- the text export's save dialog

bool AskTextExport(QWidget* parent, bool wholeDocument, TextExportChoice& choice) {
    QFileDialog d(parent, QStringLiteral("Text exportieren"), QString(),
                  QString::fromStdString(BuildQtFilter(true)));
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setDefaultSuffix(QStringLiteral("rtf"));
    auto* subtree = new QCheckBox(wholeDocument ? QStringLiteral("Document") : QStringLiteral("Unterbaum"), &d);
    auto* titles = new QCheckBox(QString::fromUtf8("Titel einfügen"), &d);
    subtree->setChecked(wholeDocument);
    subtree->setEnabled(!wholeDocument);
    titles->setChecked(choice.titles);
    if (auto* grid = qobject_cast<QGridLayout*>(d.layout())) {
        const int row = grid->rowCount();
        grid->addWidget(subtree, row, 0, 1, 2);
        grid->addWidget(titles, row + 1, 0, 1, 2);
    }
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
    choice.path = d.selectedFiles().front();
    choice.filterPosition = FilterPosition(d.selectedNameFilter().toStdString(), true);
    choice.subtree = subtree->isChecked();
    choice.titles = titles->isChecked();
    return true;
}

// ---- the commands

void CZTExchangeUi::ExportHtmlSite() {
    CZTPreferences& p = frame_.Settings().prefs;
    HtmlExportSettings s;
    s.titleLine = p.htmlTitle != 0;
    s.linkHead = p.htmlLinkHead != 0;
    s.linkFoot = p.htmlLinkFoot != 0;
    s.head1 = B(p.htmlHead1);
    s.head2 = B(p.htmlHead2);
    s.foot1 = B(p.htmlFoot1);
    s.foot2 = B(p.htmlFoot2);
    s.meta = B(p.htmlMeta);
    s.dirMode = p.htmlDir == 0 ? 0 : 1;
    CZTHtmlExportDialog dialog(&frame_, s, htmlFolder);
    if (runHtmlDialog) {
        if (!runHtmlDialog(dialog)) return;
    } else if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (dialog.Folder().isEmpty()) return;
    // The dialog's values become the settings (stored at once).
    s = dialog.Settings();
    htmlFolder = dialog.Folder();
    p.htmlTitle = s.titleLine;
    p.htmlLinkHead = s.linkHead;
    p.htmlLinkFoot = s.linkFoot;
    p.htmlHead1 = Q(s.head1);
    p.htmlHead2 = Q(s.head2);
    p.htmlFoot1 = Q(s.foot1);
    p.htmlFoot2 = Q(s.foot2);
    p.htmlMeta = Q(s.meta);
    p.htmlDir = s.dirMode;
    {
        std::unique_ptr<QSettings> store = CZTSettings::Open();
        store->beginGroup(QStringLiteral("Preferences"));
        store->setValue(QStringLiteral("HtmlTitle"), p.htmlTitle);
        store->setValue(QStringLiteral("HtmlLinkHead"), p.htmlLinkHead);
        store->setValue(QStringLiteral("HtmlLinkFoot"), p.htmlLinkFoot);
        store->setValue(QStringLiteral("HtmlDir"), p.htmlDir);
        store->setValue(QStringLiteral("HtmlHead1"), p.htmlHead1);
        store->setValue(QStringLiteral("HtmlHead2"), p.htmlHead2);
        store->setValue(QStringLiteral("HtmlFoot1"), p.htmlFoot1);
        store->setValue(QStringLiteral("HtmlFoot2"), p.htmlFoot2);
        store->setValue(QStringLiteral("HtmlMeta"), p.htmlMeta);
    }
    HtmlExportOptions options;
    options.settings = s;
    CZTFunctionProgress progress([this](uint64_t done, uint64_t total) { return Step(done, total); });
    options.progress = &progress;
    BeginWork();
    ExportHtml(frame_.Document(), htmlFolder.toStdString(), options, frame_.CurrentPrompter());
    EndWork();
}

void CZTExchangeUi::ExportTextFile(bool wholeDocument) {
    CZTPageNode* page = frame_.TreeView()->CurrentPage();
    if (!page && !wholeDocument) {
        QApplication::beep();
        return;
    }
    TextExportChoice choice;
    choice.titles = lastTitles;
    const bool chosen =
        chooseTextExport ? chooseTextExport(wholeDocument, choice) : AskTextExport(&frame_, wholeDocument, choice);
    if (!chosen || choice.path.isEmpty()) return;
    lastTitles = choice.titles;
    TextExportOptions options;
    options.what = wholeDocument ? ExportWhat::Document : choice.subtree ? ExportWhat::Subtree : ExportWhat::Page;
    options.page = page;
    options.withTitles = choice.titles;
    const int format = FormatOfFilter(choice.filterPosition, true);
    options.chosenFormat = format < 0 ? kFormatRtf : format;
    options.run.keepGoing = [this] { return Step(0, 0); };
    BeginWork();
    zt::ExportText(frame_.Document(), choice.path.toStdString(), options, frame_.CurrentPrompter());
    EndWork();
}

void CZTExchangeUi::ImportTextPages() {
    const QStringList files = Files(QString::fromStdString(BuildQtFilter(false)));
    if (files.isEmpty()) return;
    BinaryChoice binary = BinaryChoice::Ask;
    if (files.size() > 1) {
        const int b = AskChoice(1, QString());
        if (b < 0) return;
        binary = BinaryChoice(b);
    }
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    CZTFunctionProgress progress([this](uint64_t done, uint64_t total) { return Step(done, total); });
    CZTPageNode* after = frame_.TreeView()->CurrentPage();
    BeginWork();
    ImportOutcome out =
        ImportTextFiles(frame_.Document(), paths, after, binary, frame_.CurrentPrompter(), &progress);
    EndWork();
    if (out.result != ExchangeResult::Ok || !out.last) return;
    frame_.Document().SetModified();
    frame_.TreeView()->SelectPage(out.last);
}

} // namespace zt::ui
