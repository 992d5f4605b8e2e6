#include "ui/tabdialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "base/messages.h"
#include "ui/textformat.h"

namespace zt::ui {

const CZTRulerUnit& CZTRulerUnit::Of(int unit) {
    static const CZTRulerUnit kCm{568, 142, 284, 568, 142, "cm"};
    static const CZTRulerUnit kInch{1440, 180, 720, 1440, 90, "inch"};
    return unit == 0 ? kCm : kInch;
}

QString FormatTabPosition(int twips, int unit, const QLocale& locale) {
    const double v = double(twips) / CZTRulerUnit::Of(unit).twipsPerUnit;
    QString s = locale.toString(std::round(v * 100) / 100, 'f', 2);
    const QString dec = locale.decimalPoint();
    if (s.contains(dec)) {
        while (s.endsWith(QLatin1Char('0'))) s.chop(1);
        if (s.endsWith(dec)) s.chop(dec.size());
    }
    return s;
}

std::optional<int> ParseTabPosition(const QString& text, int unit, const QLocale& locale) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = locale.toDouble(t, &ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 1e6) return std::nullopt;
    return int(std::round(v * CZTRulerUnit::Of(unit).twipsPerUnit)); // std::round: half away from zero
}

bool CZTTabList::Add(int twips) {
    if (positions.size() >= 32) return false;
    auto it = std::lower_bound(positions.begin(), positions.end(), twips);
    if (it != positions.end() && *it == twips) return false;
    positions.insert(it, twips);
    return true;
}

bool CZTTabList::Remove(int twips) {
    auto it = std::find(positions.begin(), positions.end(), twips);
    if (it == positions.end()) return false;
    positions.erase(it);
    return true;
}

CZTTabDialog::CZTTabDialog(const std::vector<int>& tabs, int unit, QWidget* parent) : QDialog(parent), unit_(unit) {
    setWindowTitle(QStringLiteral("Tabulatoren"));
    for (int t : tabs) list_.Add(t);
    auto* label = new QLabel(QStringLiteral("&Tabulator Positionen"), this);
    entry = new QLineEdit(this);
    entry->setObjectName(QStringLiteral("tabEntry"));
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("tabList"));
    list->setFocusPolicy(Qt::NoFocus);
    label->setBuddy(entry);
    applyButton = new QPushButton(QStringLiteral("&Übernehmen"), this);
    deleteButton = new QPushButton(QStringLiteral("&Löschen"), this);
    deleteAllButton = new QPushButton(QStringLiteral("&Alle Löschen"), this);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    auto* field = new QVBoxLayout;
    field->setSpacing(0);
    field->addWidget(entry);
    field->addWidget(list, 1);
    grid->addLayout(field, 1, 0, 6, 1);
    grid->addWidget(applyButton, 1, 1);
    grid->addWidget(deleteButton, 2, 1);
    grid->addWidget(deleteAllButton, 3, 1);
    grid->addWidget(okButton, 5, 1);
    grid->addWidget(cancel, 6, 1);
    entry->setMinimumWidth(160);
    connect(applyButton, &QPushButton::clicked, this, [this] { Apply(); });
    connect(deleteButton, &QPushButton::clicked, this, &CZTTabDialog::Delete);
    connect(deleteAllButton, &QPushButton::clicked, this, &CZTTabDialog::DeleteAll);
    connect(okButton, &QPushButton::clicked, this, &CZTTabDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CZTTabDialog::reject);
    connect(entry, &QLineEdit::textChanged, this, &CZTTabDialog::UpdateButtons);
    connect(list, &QListWidget::currentTextChanged, this, [this](const QString& t) {
        if (!t.isEmpty()) entry->setText(t);
    });
    Refill();
    UpdateButtons();
}

void CZTTabDialog::Refill() {
    list->blockSignals(true);
    list->clear();
    for (int t : list_.positions) list->addItem(FormatTabPosition(t, unit_));
    list->setCurrentRow(-1);
    list->blockSignals(false);
}

void CZTTabDialog::UpdateButtons() {
    const bool text = !entry->text().trimmed().isEmpty();
    deleteAllButton->setEnabled(!list_.positions.empty());
    applyButton->setEnabled(text);
    deleteButton->setEnabled(text);
    applyButton->setDefault(text);
    okButton->setDefault(!text);
}

void CZTTabDialog::BackToEntry() {
    entry->setFocus();
    entry->selectAll();
    UpdateButtons();
}

std::optional<int> CZTTabDialog::EntryValue(bool* outOfRange) {
    *outOfRange = false;
    std::optional<int> v = ParseTabPosition(entry->text(), unit_);
    if (!v) return v;
    if (*v < 0 || *v > kMaxTabTwips) {
        *outOfRange = true;
        const std::string msg = FormatMessage(
            Msg::TabValueRange, {FormatTabPosition(0, unit_).toStdString(),
                                 FormatTabPosition(kMaxTabTwips, unit_).toStdString()});
        if (onMessage)
            onMessage(QString::fromStdString(msg));
        else
            QMessageBox::warning(this, QStringLiteral("Zettrix"), QString::fromStdString(msg));
        entry->setFocus();
        return std::nullopt;
    }
    return v;
}

bool CZTTabDialog::Apply() {
    bool range = false;
    std::optional<int> v = EntryValue(&range);
    bool added = false;
    if (v && *v > 0) added = list_.Add(*v);
    if (range) return false;
    Refill();
    BackToEntry();
    return added;
}

void CZTTabDialog::Delete() {
    const int row = list->currentRow();
    if (row >= 0 && size_t(row) < list_.positions.size() && list->currentItem()->isSelected()) {
        list_.positions.erase(list_.positions.begin() + row);
    } else {
        bool range = false;
        std::optional<int> v = EntryValue(&range);
        if (v) list_.Remove(*v);
    }
    Refill();
    BackToEntry();
}

void CZTTabDialog::DeleteAll() {
    list_.positions.clear();
    Refill();
    BackToEntry();
}

void CZTTabDialog::accept() {
    if (applyButton->isEnabled()) {
        bool range = false;
        std::optional<int> v = EntryValue(&range);
        if (range || !v) return;
        if (!list_.Add(*v) && std::find(list_.positions.begin(), list_.positions.end(), *v) == list_.positions.end())
            return; // full: nothing added, stay open
    }
    QDialog::accept();
}

} // namespace zt::ui
