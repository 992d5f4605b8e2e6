#include "ui/docdialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "ui/icons.h"
#include "ui/settings.h"
#include "ui/treedialogs.h"

namespace zt::ui {

namespace {
QString U(const std::string& cp1252) { return QString::fromStdString(zt::Cp1252ToUtf8(cp1252)); }
} // namespace

QString FitText(const QString& text, const QFontMetrics& metrics, int width) {
    QString s = text;
    while (metrics.horizontalAdvance(s) > width - 22) {
        const qsizetype n = s.size();
        const qsizetype d = n / 3;
        if (d < 6) break;
        s = s.left(d - 3) + QStringLiteral("...") + s.right(n - d - 4);
    }
    return s;
}

// ---- document properties

CZTDocPropertiesDialog::CZTDocPropertiesDialog(CZTDocument& doc, bool editable, QWidget* parent)
    : QDialog(parent), doc_(doc), editable_(editable) {
    setWindowTitle(QStringLiteral("Dokument Eigenschaften"));
    setObjectName(QStringLiteral("docPropertiesDialog"));
    CZTArchive& a = doc.Archive();
    const CZTDiscInfo& h = a.Header();
    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    auto* f = new QFormLayout(page);
    auto value = [](const QString& text) {
        auto* l = new QLabel(text);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    titleEdit = new QLineEdit(U(h.title), page);
    titleEdit->setReadOnly(!editable);
    f->addRow(QStringLiteral("Titel:"), titleEdit);
    f->addRow(QStringLiteral("Dateisystem-Name:"), value(QFile::decodeName(a.FilePath().c_str())));
    f->addRow(QStringLiteral("Erstellt von:"), value(U(h.createdBy)));
    f->addRow(QStringLiteral("Erstellt am:"), value(FormatStamp(h.ctime)));
    f->addRow(QStringLiteral("Zuletzt geändert von:"),
              value(U(a.ChangeTime() > 0 ? a.User() : h.modifiedBy)));
    f->addRow(QStringLiteral("Zuletzt geändert am:"), value(FormatStamp(a.ChangeTime() > 0 ? a.ChangeTime() : h.mtime)));
    size_t pages = 0;
    const CZTSizes total = SubtreeSizes(doc, nullptr, pages);
    const QString unknown = QString::fromUtf8(MessageText(Msg::Unknown));
    f->addRow(QStringLiteral("Anzahl der Seiten:"), value(QString::number(pages)));
    f->addRow(QStringLiteral("Anzahl der Dateien:"), value(total.known ? QString::number(total.files) : unknown));
    f->addRow(QStringLiteral("Größe der Seiten:"),
              value(total.known ? FormatBytes(total.text, total.textCompressed) : unknown));
    f->addRow(QStringLiteral("Gesamtgröße (intern):"),
              value(total.known ? FormatBytes(total.all, total.allCompressed) : unknown));
    tabs->addTab(page, QStringLiteral("Dokument"));
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(box, &QDialogButtonBox::accepted, this, &CZTDocPropertiesDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs);
    top->addWidget(box);
}

void CZTDocPropertiesDialog::accept() {
    std::string title = zt::Utf8ToCp1252(titleEdit->text().toStdString());
    if (editable_ && title != doc_.Archive().Header().title) {
        doc_.Archive().Header().title = title;
        doc_.SetModified();
    }
    QDialog::accept();
}

// ---- archive list

CZTArchivesDialog::CZTArchivesDialog(CZTArchiveList& archives, QWidget* parent)
    : QDialog(parent), archives_(archives) {
    setWindowTitle(QStringLiteral("Zettrix Archive"));
    setObjectName(QStringLiteral("archivesDialog"));
    list = new QListWidget(this);
    auto* add = new QPushButton(QStringLiteral("Hin&zufügen"), this);
    auto* remove = new QPushButton(QStringLiteral("&Löschen"), this);
    auto* choose = new QPushButton(QStringLiteral("Aus&wählen"), this);
    auto* close = new QPushButton(QStringLiteral("S&chließen"), this);
    autoAdd_ = new QCheckBox(QStringLiteral("Autom. Hinzufügen"), this);
    autoRemove_ = new QCheckBox(QStringLiteral("Autom. Löschen"), this);
    autoAdd_->setChecked(archives.autoAdd != 0);
    autoRemove_->setChecked(archives.autoRemove != 0);
    choose->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(choose);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(autoAdd_);
    buttons->addWidget(autoRemove_);
    buttons->addWidget(close);
    auto* top = new QHBoxLayout(this);
    top->addWidget(list, 1);
    top->addLayout(buttons);
    resize(520, 300);
    connect(add, &QPushButton::clicked, this, &CZTArchivesDialog::Add);
    connect(remove, &QPushButton::clicked, this, &CZTArchivesDialog::Remove);
    connect(choose, &QPushButton::clicked, this, &CZTArchivesDialog::Choose);
    connect(list, &QListWidget::itemDoubleClicked, this, &CZTArchivesDialog::Choose);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(autoAdd_, &QCheckBox::toggled, this, [this](bool on) { archives_.autoAdd = on; });
    connect(autoRemove_, &QCheckBox::toggled, this, [this](bool on) { archives_.autoRemove = on; });
    Fill();
}

void CZTArchivesDialog::Fill() {
    list->clear();
    QFontMetrics fm(list->font());
    const int width = list->viewport()->width();
    for (const QString& p : archives_.paths) {
        auto* item = new QListWidgetItem(FitText(p, fm, width), list);
        item->setData(Qt::UserRole, p);
        item->setToolTip(p);
    }
}

void CZTArchivesDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Fill();
}

void CZTArchivesDialog::Add() {
    const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Hinzufügen"), QString(),
                                                            QStringLiteral("Zettrix files (*.ztd);;All files (*)"));
    for (const QString& f : files) archives_.Add(QFileInfo(f).absoluteFilePath());
    Fill();
}

void CZTArchivesDialog::Remove() {
    if (QListWidgetItem* item = list->currentItem()) {
        archives_.Remove(item->data(Qt::UserRole).toString());
        Fill();
    }
}

void CZTArchivesDialog::Choose() {
    if (QListWidgetItem* item = list->currentItem()) {
        chosen = item->data(Qt::UserRole).toString();
        accept();
    }
}

void ShowAboutBox(QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Info über Zettrix"));
    box.setIconPixmap(AppIcon().pixmap(48, 48));
    box.setText(QStringLiteral("<b>Zettrix für Linux</b><br>Version %1").arg(QStringLiteral(ZT_VERSION)));
    box.setInformativeText(
        QStringLiteral("Notizen und Dokumente in einem Baum von Seiten,\nmit Texten und angehängten Dateien."));
    box.exec();
}

} // namespace zt::ui
