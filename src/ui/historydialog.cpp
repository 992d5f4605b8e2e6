#include "ui/historydialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/messages.h"
#include "base/prompter.h"

namespace zt::ui {

QString RevisionLabel(int32_t time) { return QString::fromStdString(CZTHistory::RevisionLabel(time)); }

CZTHistoryDialog::CZTHistoryDialog(CZTRevisionSource* source, Prompter& prompter, QWidget* parent)
    : QDialog(parent), source_(source), prompter_(prompter) {
    setWindowTitle(QStringLiteral("History"));
    setObjectName(QStringLiteral("historyDialog"));
    list = new QListWidget(this);
    showButton = new QPushButton(QStringLiteral("An&zeigen"), this);
    auto* closeButton = new QPushButton(QStringLiteral("S&chließen"), this);
    allButton = new QPushButton(QStringLiteral("&Alle Versionen"), this);
    forgetButton = new QPushButton(QStringLiteral("&Löschen"), this);
    hideButton = new QPushButton(QStringLiteral("&Verdecken"), this);
    showButton->setDefault(true);
    auto* note = new QLabel(
        QStringLiteral("Achtung: Beim 'Löschen' wird nur der Hinweis entfernt,\ndie Daten der Version sind weiterhin "
                       "vorhanden!"),
        this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(showButton);
    buttons->addWidget(allButton);
    buttons->addWidget(hideButton);
    buttons->addWidget(forgetButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Versionen des Dokuments"), this));
    left->addWidget(list, 1);
    left->addWidget(note);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(buttons);
    resize(440, 320);

    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(showButton, &QPushButton::clicked, this, &CZTHistoryDialog::ShowSelected);
    connect(list, &QListWidget::itemDoubleClicked, this, &CZTHistoryDialog::ShowSelected);
    connect(allButton, &QPushButton::clicked, this, &CZTHistoryDialog::ToggleAll);
    connect(forgetButton, &QPushButton::clicked, this, &CZTHistoryDialog::Forget);
    connect(hideButton, &QPushButton::clicked, this, &CZTHistoryDialog::ToggleHidden);
    connect(list, &QListWidget::currentRowChanged, this, &CZTHistoryDialog::SelectionChanged);
    Fill();
}

bool CZTHistoryDialog::CheckSource(const char* what) {
    if (source_) return true;
    prompter_.Message(FormatMessage(Msg::FunctionFailed, {what}));
    return false;
}

void CZTHistoryDialog::Fill() {
    list->clear();
    if (!source_) return;
    for (const CZTRevisionKey& k : source_->List()) {
        if (!allMode_ && !k.visible) continue;
        auto* item = new QListWidgetItem(RevisionLabel(k.time), list);
        item->setData(Qt::UserRole, k.time);
        item->setData(Qt::UserRole + 1, k.visible);
        if (!k.visible) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }
    SelectionChanged();
}

bool CZTHistoryDialog::Selected(CZTRevisionKey& key, QString& label) const {
    QListWidgetItem* item = list->currentItem();
    if (!item) return false;
    key.time = item->data(Qt::UserRole).toInt();
    key.visible = item->data(Qt::UserRole + 1).toBool();
    label = item->text();
    return true;
}

void CZTHistoryDialog::SelectionChanged() {
    CZTRevisionKey key;
    QString label;
    bool any = Selected(key, label);
    hideButton->setText(allMode_ && any && !key.visible ? QStringLiteral("&Unverdeckt") : QStringLiteral("&Verdecken"));
    showButton->setEnabled(any);
    hideButton->setEnabled(any);
    forgetButton->setEnabled(any);
}

void CZTHistoryDialog::ToggleAll() {
    allMode_ = !allMode_;
    allButton->setText(allMode_ ? QStringLiteral("&Versionen") : QStringLiteral("&Alle Versionen"));
    Fill();
}

void CZTHistoryDialog::Forget() {
    if (!CheckSource("GetDocument")) return;
    CZTRevisionKey key;
    QString label;
    if (!Selected(key, label)) return;
    if (!prompter_.AskYesNo(FormatMessage(Msg::ConfirmForgetRevision, {label.toStdString()}))) return;
    if (!source_->Change(key, 0)) return;
    if (changed) changed();
    Fill();
}

void CZTHistoryDialog::ToggleHidden() {
    if (!CheckSource("GetDocument")) return;
    CZTRevisionKey key;
    QString label;
    if (!Selected(key, label)) return;
    const bool hide = key.visible;
    if (!source_->Change(key, hide ? 1 : 2)) return;
    if (changed) changed();
    hideButton->setText(hide ? QStringLiteral("&Unverdeckt") : QStringLiteral("&Verdecken"));
    // Showing a revision again returns to the visible revisions; after hiding
    // one the list keeps its mode, so the hidden revision stays in reach.
    if (!hide && allMode_) ToggleAll();
    else Fill();
}

void CZTHistoryDialog::ShowSelected() {
    if (!CheckSource("GetDocument")) return;
    CZTRevisionKey key;
    QString label;
    if (!Selected(key, label)) return;
    std::string body;
    if (!source_->Body(key, body)) {
        prompter_.Message(FormatMessage(Msg::FunctionFailed, {"getRevision"}));
        return;
    }
    if (show) show(label, body);
}

} // namespace zt::ui
