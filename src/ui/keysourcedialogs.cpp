#include "ui/keysourcedialogs.h"

#include "base/messages.h"
#include "base/prompter.h"
#include "security/p11modules.h"
#include "security/securebytes.h"
#include "ui/certificatedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zt::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kModuleRole = Qt::UserRole + 1;

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

void Tell(zt::Prompter& prompter, zt::Msg id) { prompter.Message(zt::MessageText(id), zt::Prompter::Icon::Warning); }

} // namespace

// ---- key file choice

const QString CKeyFileDialog::kFilter = QStringLiteral(
    "PKCS#12 Schlüsseldatei (*.pfx *.p12);;PKCS#11 Modul (*.so);;Alle Dateien (*)");
std::function<QString(QWidget*, const QString&)> CKeyFileDialog::browseHook;

CKeyFileDialog::CKeyFileDialog(const QStringList& keyFiles, const std::vector<zt::CZtP11Module>& modules,
                               zt::Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), keyFiles_(keyFiles) {
    setWindowTitle(QStringLiteral("Zettrix: Schlüsseldatei wählen"));
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("keyfile"));
    combo_->setMinimumContentsLength(48);
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* browse = new QPushButton(QStringLiteral("&Durchsuchen..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    pkcs11_ = new QCheckBox(QStringLiteral("Schlüsseldatei ist PKCS#11 DLL"), this);
    pkcs11_->setObjectName(QStringLiteral("pkcs11"));

    filling_ = true;
    for (const QString& path : keyFiles_) AddEntry(path, path, false);
    const int last = combo_->count() - 1;
    for (const auto& m : modules) {
        const QString path = QString::fromStdString(m.path);
        if (keyFiles_.contains(path)) continue;
        AddEntry(path, QStringLiteral("%1 (p11-kit): %2").arg(QString::fromStdString(m.name), path), true);
    }
    combo_->setCurrentIndex(last >= 0 ? last : (combo_->count() ? 0 : -1));
    filling_ = false;
    if (combo_->currentIndex() >= 0) {
        if (combo_->currentData(kModuleRole).toBool()) pkcs11_->setChecked(true);
        else CheckFromEnding(Path());
    }
    connect(combo_, &QComboBox::activated, this, &CKeyFileDialog::EntryChosen);
    connect(browse, &QPushButton::clicked, this, &CKeyFileDialog::Browse);

    auto* row = new QHBoxLayout;
    row->addWidget(combo_, 1);
    row->addWidget(browse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Schlüsseldatei oder PKCS#11 Modul:"), this));
    layout->addLayout(row);
    layout->addWidget(pkcs11_);
    layout->addWidget(OkCancel(this));
}

void CKeyFileDialog::AddEntry(const QString& path, const QString& text, bool module) {
    combo_->addItem(text);
    const int i = combo_->count() - 1;
    combo_->setItemData(i, path, kPathRole);
    combo_->setItemData(i, module, kModuleRole);
    combo_->setItemData(i, path, Qt::ToolTipRole);
}

QString CKeyFileDialog::Path() const { return combo_->currentData(kPathRole).toString(); }
bool CKeyFileDialog::IsPkcs11() const { return pkcs11_->isChecked(); }

void CKeyFileDialog::CheckFromEnding(const QString& path) {
    if (path.size() <= 4) return;
    const QString lower = path.toLower();
    const QString name = QFileInfo(lower).fileName();
    if (lower.endsWith(QLatin1String(".so")) || name.contains(QLatin1String(".so.")))
        pkcs11_->setChecked(true);
    else if (lower.endsWith(QLatin1String(".pfx")) || lower.endsWith(QLatin1String(".p12")))
        pkcs11_->setChecked(false);
}

void CKeyFileDialog::EntryChosen(int index) {
    if (filling_ || index < 0) return;
    const QString path = combo_->itemData(index, kPathRole).toString();
    if (QFileInfo(path).isFile()) {
        if (combo_->itemData(index, kModuleRole).toBool()) pkcs11_->setChecked(true);
        else CheckFromEnding(path);
        return;
    }
    keyFiles_.removeAll(path);
    combo_->removeItem(index);
    combo_->setCurrentIndex(combo_->count() ? 0 : -1);
    Tell(prompter_, zt::Msg::KeyFileMissing);
}

void CKeyFileDialog::Browse() {
    const QString path = browseHook ? browseHook(this, kFilter)
                                    : QFileDialog::getOpenFileName(this, windowTitle(), QFileInfo(Path()).path(),
                                                                   kFilter);
    if (path.isEmpty()) return;
    CheckFromEnding(path);
    for (int i = 0; i < combo_->count(); ++i)
        if (combo_->itemData(i, kPathRole).toString().compare(path, Qt::CaseInsensitive) == 0) {
            combo_->setCurrentIndex(i);
            return;
        }
    keyFiles_.append(path);
    AddEntry(path, path, false);
    combo_->setCurrentIndex(combo_->count() - 1);
}

void CKeyFileDialog::accept() {
    const QString path = Path();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        if (!path.isEmpty()) {
            keyFiles_.removeAll(path);
            combo_->removeItem(combo_->currentIndex());
        }
        Tell(prompter_, zt::Msg::KeyFileMissing);
        return;
    }
    // The choice is the last entry, so it is selected next time.
    keyFiles_.removeAll(path);
    keyFiles_.append(path);
    QDialog::accept();
}

// ---- password

CPasswordDialog::CPasswordDialog(const QString& detail, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Passwort Dialog"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Bitte geben Sie Ihr Passwort ein"), this));
    if (!detail.isEmpty()) {
        auto* what = new QLabel(detail, this);
        what->setObjectName(QStringLiteral("detail"));
        what->setTextFormat(Qt::PlainText);
        layout->addWidget(what);
    }
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setMinimumWidth(280);
    layout->addWidget(password_);
    layout->addWidget(OkCancel(this));
    password_->setFocus();
}

std::string CPasswordDialog::TakePassword() {
    QByteArray utf8 = password_->text().toUtf8();
    std::string out(utf8.constData(), size_t(utf8.size()));
    utf8.fill('\0');
    password_->clear();
    return out;
}

// ---- certificate choice

CCertificateChoiceDialog::CCertificateChoiceDialog(std::vector<Entry> entries, zt::Prompter& prompter,
                                                   QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Zertifikatsauswahl"));
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("certificates"));
    combo_->setMinimumContentsLength(40);
    for (const Entry& e : entries_) combo_->addItem(e.text);
    combo_->setCurrentIndex(entries_.empty() ? -1 : 0);
    auto* view = new QPushButton(QStringLiteral("&Ansehen"), this);
    view->setObjectName(QStringLiteral("view"));
    connect(view, &QPushButton::clicked, this, &CCertificateChoiceDialog::View);
    auto* row = new QHBoxLayout;
    row->addWidget(combo_, 1);
    row->addWidget(view);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Zertifikat:"), this));
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
}

void CCertificateChoiceDialog::View() {
    const int i = combo_->currentIndex();
    if (i < 0 || size_t(i) >= entries_.size()) {
        Tell(prompter_, zt::Msg::CertificateNoSelection);
        return;
    }
    CCertificateDialog viewer(entries_[size_t(i)].der, this);
    viewer.exec();
}

void CCertificateChoiceDialog::accept() {
    const int i = combo_->currentIndex();
    if (i < 0 || size_t(i) >= entries_.size()) {
        Tell(prompter_, zt::Msg::CertificateNoSelection);
        return;
    }
    chosen_ = entries_[size_t(i)].index;
    QDialog::accept();
}

} // namespace zt::ui
