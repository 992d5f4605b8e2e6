#include "ui/reminderwindows.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "reminders/reminderstore.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
std::string C(const QString& s) { return Utf8ToCp1252(s.toStdString()); }

} // namespace

QString ReminderTimeText(int64_t t) { return QString::fromStdString(FormatReminderTime(t)); }

CZTMailAddress CZTMailAddress::Parse(const QString& text) {
    CZTMailAddress a;
    const QString t = text.trimmed();
    const int lt = t.lastIndexOf(QLatin1Char('<'));
    if (lt >= 0 && t.endsWith(QLatin1Char('>'))) {
        a.address = t.mid(lt + 1, t.size() - lt - 2).trimmed();
        a.name = t.left(lt).trimmed();
        if (a.name.startsWith(QLatin1Char('"')) && a.name.endsWith(QLatin1Char('"')) && a.name.size() >= 2)
            a.name = a.name.mid(1, a.name.size() - 2);
    } else {
        a.address = t;
    }
    return a;
}

QString CZTMailAddress::Text() const {
    return name.isEmpty() ? address : name + QStringLiteral(" <") + address + QLatin1Char('>');
}

// ---- address dialog

CZTAddressDialog::CZTAddressDialog(const QStringList& known, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Email Adressen"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Ausgewählte &Adressen:"));
    list_ = new QListWidget;
    label->setBuddy(list_);
    input_ = new QComboBox;
    input_->setEditable(true);
    input_->addItems(known);
    input_->setCurrentText(QString());
    auto* add = new QPushButton(QStringLiteral("&Hinzufügen"));
    auto* remove = new QPushButton(QStringLiteral("&Löschen"));
    attachBox_ = new QCheckBox(QStringLiteral("&Seite(n) als Anlage"));
    subtreeBox_ = new QCheckBox(QStringLiteral("&Unterbaum"));
    auto* row = new QHBoxLayout;
    row->addWidget(input_, 1);
    row->addWidget(add);
    row->addWidget(remove);
    layout->addWidget(label);
    layout->addWidget(list_);
    layout->addLayout(row);
    layout->addWidget(attachBox_);
    layout->addWidget(subtreeBox_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add, &QPushButton::clicked, this, [this] {
        const CZTMailAddress a = CZTMailAddress::Parse(input_->currentText());
        if (a.address.isEmpty()) return;
        addresses.push_back(a);
        input_->setCurrentText(QString());
        Show();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        QListWidgetItem* item = list_->currentItem();
        if (!item) return;
        const QString address = item->text();
        auto it = std::find_if(addresses.begin(), addresses.end(),
                               [&](const CZTMailAddress& a) { return a.address == address; });
        if (it != addresses.end()) addresses.erase(it);
        Show();
    });
}

void CZTAddressDialog::Show() {
    list_->clear();
    for (const auto& a : addresses) list_->addItem(a.address);
}

void CZTAddressDialog::accept() {
    // Text typed but not added yet counts as added.
    const CZTMailAddress typed = CZTMailAddress::Parse(input_->currentText());
    if (!typed.address.isEmpty()) addresses.push_back(typed);
    attach = attachBox_->isChecked();
    subtree = subtreeBox_->isChecked();
    if (addresses.empty()) {
        reject();
        return;
    }
    QDialog::accept();
}

// ---- reminder dialog

CZTReminderDialog::CZTReminderDialog(CZTDocument& doc, const CZTReminderList& list, int32_t currentPage,
                                     bool mailAvailable, Prompter& prompter, QWidget* parent)
    : QDialog(parent), doc_(doc), work_(list), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Termine..."));
    auto* layout = new QVBoxLayout(this);
    auto* listLabel = new QLabel(QStringLiteral("&Vorhandene Termine"));
    tree_ = new QTreeWidget;
    listLabel->setBuddy(tree_);
    tree_->setRootIsDecorated(false);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setHeaderLabels({QStringLiteral("Termin"), QStringLiteral("Benachrichtigungstext"),
                            QStringLiteral("ZT-Seite"), QStringLiteral("Wiederholung"), QStringLiteral("Aktiv"),
                            QStringLiteral("Email"), QStringLiteral("Popup")});
    const int widths[] = {165, 85, 85, 50, 40, 50, 40};
    for (int i = 0; i < 7; ++i) tree_->setColumnWidth(i, widths[i] * 3 / 2);
    tree_->header()->setSectionsClickable(true);
    connect(tree_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
        sortColumn_ = column;
        Refill();
    });
    layout->addWidget(listLabel);
    layout->addWidget(tree_, 1);

    auto* listButtons = new QHBoxLayout;
    auto* change = new QPushButton(QStringLiteral("&Ändern"));
    auto* remove = new QPushButton(QStringLiteral("&Löschen"));
    auto* deactivate = new QPushButton(QStringLiteral("&Deaktivieren"));
    auto* activate = new QPushButton(QStringLiteral("&Aktivieren"));
    for (QPushButton* b : {change, remove, deactivate, activate}) {
        b->setAutoDefault(false);
        listButtons->addWidget(b);
    }
    listButtons->addStretch();
    layout->addLayout(listButtons);

    auto* form = new QFormLayout;
    time_ = new QDateTimeEdit(QDateTime::fromSecsSinceEpoch(CutToMinute(CurrentClock().Now()) + 3600));
    time_->setDisplayFormat(QStringLiteral("HH':'mm' Uhr am 'ddd'. den 'd'.' MMM'. 'yyyy"));
    time_->setCalendarPopup(true);
    repeat_ = new QComboBox;
    for (int i = 0; i < kRepeatCount; ++i) repeat_->addItem(QString::fromUtf8(RepeatText(i)));
    text_ = new QLineEdit;
    text_->setMaxLength(int(kReminderTextMax));
    page_ = new QComboBox;
    page_->addItem(QString::fromUtf8(RepeatText(0))); // "keine"
    pageIdents_.push_back(0);
    for (const auto& e : doc.Tree().BuildPageList()) {
        page_->addItem(U(PagePath(doc.Tree().FindPage(e.ident))));
        pageIdents_.push_back(e.ident);
        if (e.ident == currentPage) page_->setCurrentIndex(page_->count() - 1);
    }
    window_ = new QCheckBox(QStringLiteral("Nachrichten-&Fenster"));
    window_->setChecked(true);
    window_->setEnabled(false);
    mail_ = new QCheckBox(QStringLiteral("Sende &EMail"));
    mail_->setEnabled(mailAvailable);
    form->addRow(QStringLiteral("Termin"), time_);
    form->addRow(QStringLiteral("&Wiederholung"), repeat_);
    form->addRow(QStringLiteral("&Benachrichtigungstext"), text_);
    form->addRow(QStringLiteral("&Zettrix Seite anzeigen"), page_);
    auto* checks = new QHBoxLayout;
    checks->addWidget(window_);
    checks->addWidget(mail_);
    new_ = new QPushButton(QStringLiteral("&Neu"));
    new_->setAutoDefault(false);
    checks->addStretch();
    checks->addWidget(new_);
    form->addRow(checks);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(new_, &QPushButton::clicked, this, &CZTReminderDialog::AddNew);
    connect(change, &QPushButton::clicked, this, &CZTReminderDialog::MoveToEditor);
    connect(remove, &QPushButton::clicked, this, [this] { ActOnSelected(0); });
    connect(deactivate, &QPushButton::clicked, this, [this] { ActOnSelected(1); });
    connect(activate, &QPushButton::clicked, this, [this] { ActOnSelected(2); });
    connect(mail_, &QCheckBox::toggled, this, &CZTReminderDialog::MailToggled);
    connect(time_, &QDateTimeEdit::dateTimeChanged, this, [this] { new_->setDefault(true); });
    resize(760, 460);
    Refill();
}

void CZTReminderDialog::MailToggled(bool on) {
    if (on) {
        CZTAddressDialog dialog(knownAddresses, this);
        const bool ok = chooseAddresses ? chooseAddresses(dialog) : dialog.exec() == QDialog::Accepted;
        if (!ok || dialog.addresses.empty()) {
            QSignalBlocker block(mail_);
            mail_->setChecked(false);
            on = false;
        } else {
            addresses_ = dialog.addresses;
            attach_ = dialog.attach;
            subtree_ = dialog.subtree;
            if (addressesChosen) {
                QStringList chosen;
                for (const auto& a : addresses_) chosen.append(a.Text());
                addressesChosen(chosen);
            }
        }
    }
    window_->setEnabled(on);
    if (!on) window_->setChecked(true);
}

void CZTReminderDialog::AddNew() {
    const int64_t now = CurrentClock().Now();
    const int64_t when = CutToMinute(time_->dateTime().toSecsSinceEpoch());
    if (when < CutToMinute(now)) {
        prompter_.Message(MessageText(Msg::ReminderPast), Prompter::Icon::Warning);
        return;
    }
    CZTReminder r;
    r.time = when;
    r.repeat = repeat_->currentIndex();
    r.page = pageIdents_[size_t(std::max(0, page_->currentIndex()))];
    std::string text = C(text_->text().trimmed());
    if (text.empty() && r.page) {
        if (const CZTPageNode* p = doc_.Tree().FindPage(r.page)) text = p->Title();
    }
    r.text = text.substr(0, kReminderTextMax);
    r.flags = kReminderActive;
    const bool mail = mail_->isChecked() && !addresses_.empty();
    if (mail) {
        if (!window_->isChecked()) r.flags |= kReminderNoWindow;
        r.flags |= kReminderMail;
        if (subtree_) r.flags |= kReminderSubtree;
        if (attach_) r.flags |= kReminderAttach;
        for (const auto& a : addresses_) {
            CZTReminder m = r;
            m.address = C(a.address).substr(0, kReminderAddressMax);
            m.recipient = C(a.name).substr(0, kReminderAddressMax);
            work_.Add(m);
        }
    } else {
        work_.Add(r);
    }
    new_->setDefault(false);
    Refill();
}

std::vector<int> CZTReminderDialog::SelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : tree_->selectedItems()) rows.push_back(item->data(0, Qt::UserRole).toInt());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CZTReminderDialog::MoveToEditor() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const CZTReminder r = work_.Items()[size_t(rows.front())];
    work_.Items().erase(work_.Items().begin() + rows.front());
    {
        QSignalBlocker b1(time_), b2(mail_);
        time_->setDateTime(QDateTime::fromSecsSinceEpoch(r.time));
        repeat_->setCurrentIndex(std::clamp(r.repeat, 0, kRepeatCount - 1));
        text_->setText(U(r.text));
        auto it = std::find(pageIdents_.begin(), pageIdents_.end(), r.page);
        page_->setCurrentIndex(it == pageIdents_.end() ? 0 : int(it - pageIdents_.begin()));
        mail_->setChecked(r.Mail());
        window_->setEnabled(r.Mail());
        window_->setChecked(!(r.flags & kReminderNoWindow));
        addresses_.clear();
        if (r.Mail()) addresses_.push_back({U(r.recipient), U(r.address)});
        attach_ = r.flags & kReminderAttach;
        subtree_ = r.flags & kReminderSubtree;
    }
    Refill();
    prompter_.Message(MessageText(Msg::ReminderMovedToEditor), Prompter::Icon::Information);
}

void CZTReminderDialog::ActOnSelected(int action) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const Msg q = action == 0 ? Msg::ReminderConfirmDelete
                  : action == 1 ? Msg::ReminderConfirmDeactivate
                                : Msg::ReminderConfirmActivate;
    if (!prompter_.AskYesNo(MessageText(q))) return;
    auto& items = work_.Items();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        CZTReminder& r = items[size_t(*it)];
        if (action == 0) items.erase(items.begin() + *it);
        else if (action == 1) r.flags &= ~kReminderActive;
        else r.flags |= kReminderActive;
    }
    Refill();
}

void CZTReminderDialog::Refill() {
    tree_->clear();
    const auto& items = work_.Items();
    std::vector<int> order(items.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    QCollator collator;
    auto cell = [&](const CZTReminder& r, int column) -> QString {
        switch (column) {
        case 1: return U(r.text);
        case 2: return U(ReminderPagePath(doc_, r.page));
        case 3: return QString::fromUtf8(RepeatText(r.repeat));
        case 4: return r.Active() ? QStringLiteral("J") : QStringLiteral("N");
        case 5: return r.Mail() ? U(r.address) : QString();
        case 6: return r.flags & kReminderNoWindow ? QStringLiteral("N") : QStringLiteral("J");
        default: return ReminderTimeText(r.time);
        }
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const CZTReminder &ra = items[size_t(a)], &rb = items[size_t(b)];
        int c = sortColumn_ == 0 ? (ra.time < rb.time ? -1 : ra.time > rb.time ? 1 : 0)
                                 : collator.compare(cell(ra, sortColumn_), cell(rb, sortColumn_));
        return sortDescending_ ? c > 0 : c < 0;
    });
    for (int i : order) {
        auto* item = new QTreeWidgetItem;
        for (int c = 0; c < 7; ++c) item->setText(c, cell(items[size_t(i)], c));
        item->setData(0, Qt::UserRole, i);
        tree_->addTopLevelItem(item);
    }
}

void CZTReminderDialog::accept() {
    if (new_->isDefault()) {
        if (prompter_.AskYesNo(MessageText(Msg::ReminderTakeNew))) {
            new_->setDefault(true);
            return;
        }
    }
    QDialog::accept();
}

// ---- notification window

QPoint CZTNotificationWindow::NextPosition() {
    static int x = 120 + 60, y = 0;
    x -= 60;
    y += 20;
    if (x < 0) {
        x = 120;
        if (y >= 120) y = 20;
    }
    return {x, y};
}

CZTNotificationWindow::CZTNotificationWindow(const CZTReminder& reminder, bool old, const QString& pagePath,
                                             QWidget* parent)
    : QWidget(parent, Qt::Window), reminder_(reminder), old_(old) {
    setAttribute(Qt::WA_DeleteOnClose);
    const QString title = QString::fromUtf8(MessageText(old ? Msg::OldNotificationTitle : Msg::NotificationTitle));
    setWindowTitle(old ? title : ReminderTimeText(reminder.time) + QLatin1Char(' ') + title);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString& label, const QString& value) {
        grid->addWidget(new QLabel(label), row, 0);
        auto* v = new QLabel(value);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(v, row++, 1);
    };
    addRow(QStringLiteral("Termin"), ReminderTimeText(reminder.time));
    addRow(QStringLiteral("Wiederholung"), QString::fromUtf8(RepeatText(reminder.repeat)));
    const bool mailWindow = old && reminder.Mail();
    if (mailWindow) {
        addRow(QStringLiteral("Empfänger"), U(reminder.recipient));
        addRow(QStringLiteral("Adresse"), U(reminder.address));
        addRow(QStringLiteral("Seite"), pagePath);
        addRow(QStringLiteral("Unterbaum"), QString::fromUtf8(MessageText(
                                                  reminder.flags & kReminderSubtree ? Msg::Yes : Msg::No)));
    }
    layout->addLayout(grid);
    auto* text = new QLabel(U(reminder.text));
    QFont f(QStringLiteral("Arial"));
    f.setBold(true);
    f.setPointSize(12);
    text->setFont(f);
    text->setWordWrap(true);
    layout->addWidget(text);
    if (mailWindow) {
        sendMail_ = new QCheckBox(QStringLiteral("Email senden bei OK"));
        sendMail_->setChecked(true);
        layout->addWidget(sendMail_);
    }
    auto* buttons = new QHBoxLayout;
    snooze5_ = new QPushButton(QStringLiteral("in &5 Min. wiederholen"));
    snooze15_ = new QPushButton(QStringLiteral("in &15 Min. wiederholen"));
    snooze5_->setEnabled(Snooze5Allowed(reminder.repeat));
    snooze15_->setEnabled(Snooze15Allowed(reminder.repeat));
    buttons->addWidget(snooze5_);
    buttons->addWidget(snooze15_);
    if (reminder.page) {
        showPage_ = new QPushButton(QStringLiteral("&Seite anzeigen"));
        showPage_->setToolTip(pagePath);
        buttons->addWidget(showPage_);
        connect(showPage_, &QPushButton::clicked, this, [this] { emit showPageRequested(reminder_.page); });
    }
    ok_ = new QPushButton(QStringLiteral("OK"));
    ok_->setDefault(true);
    buttons->addWidget(ok_);
    layout->addLayout(buttons);
    auto snooze = [this](int minutes) {
        emit snoozed(SnoozedCopy(reminder_, CurrentClock().Now(), minutes, old_));
        close();
    };
    connect(snooze5_, &QPushButton::clicked, this, [snooze] { snooze(5); });
    connect(snooze15_, &QPushButton::clicked, this, [snooze] { snooze(15); });
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (sendMail_ && sendMail_->isChecked()) emit mailRequested(reminder_);
        close();
    });
    move(NextPosition());
}

} // namespace zt::ui
