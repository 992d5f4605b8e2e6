#include "ui/serverdialogs.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zt::ui {

namespace {

QString T(Msg id) { return QString::fromUtf8(MessageText(id)); }
QString FromCp(const std::string& s) { return QString::fromStdString(Cp1252ToUtf8(s)); }

QDialogButtonBox* OkCancel(QDialog* d, const QString& ok = QStringLiteral("OK"),
                           const QString& cancel = QStringLiteral("Abbrechen")) {
    auto* box = new QDialogButtonBox(d);
    QPushButton* o = box->addButton(ok, QDialogButtonBox::AcceptRole);
    o->setObjectName(QStringLiteral("okButton"));
    o->setDefault(true);
    box->addButton(cancel, QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
    QObject::connect(box, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return box;
}

QLabel* Buddy(const QString& text, QWidget* w) {
    auto* l = new QLabel(text);
    l->setBuddy(w);
    return l;
}

} // namespace

const char* RightSuffix(int right) {
    switch (right) {
    case 2: return " (rw)";
    case 3: return " (rwg)";
    case 4: return " (rwgg)";
    default: return " (r)";
    }
}

QString DocumentEntryText(const srv::ContentDoc& doc) {
    return FromCp(doc.name) + QString::fromLatin1(RightSuffix(doc.right));
}

// ---- connect

CZTConnectDialog::CZTConnectDialog(const QStringList& hosts, const QString& defaultAddress, const QString& user,
                                   const QString& password, bool ssl, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(T(Msg::RemoteConnectTitle));
    address_ = new QComboBox(this);
    address_->setObjectName(QStringLiteral("address"));
    address_->setEditable(true);
    address_->setMinimumContentsLength(34);
    address_->addItems(hosts);
    if (!defaultAddress.isEmpty() && !hosts.contains(defaultAddress)) address_->addItem(defaultAddress);
    address_->setCurrentIndex(0);
    user_ = new QLineEdit(user, this);
    user_->setObjectName(QStringLiteral("user"));
    password_ = new QLineEdit(password, this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    ssl_ = new QCheckBox(T(Msg::RemoteSslLabel), this);
    ssl_->setObjectName(QStringLiteral("ssl"));
    ssl_->setChecked(ssl);
    ssl_->setVisible(false);
    auto* grid = new QGridLayout;
    grid->addWidget(Buddy(T(Msg::RemoteServerLabel), address_), 0, 0);
    grid->addWidget(address_, 0, 1);
    grid->addWidget(Buddy(T(Msg::RemoteUserLabel), user_), 1, 0);
    grid->addWidget(user_, 1, 1);
    grid->addWidget(Buddy(T(Msg::RemotePasswordLabel), password_), 2, 0);
    grid->addWidget(password_, 2, 1);
    auto* v = new QVBoxLayout(this);
    v->addLayout(grid);
    v->addWidget(ssl_);
    v->addWidget(OkCancel(this));
    // The password is what is usually missing.
    if (!user.isEmpty() && password.isEmpty()) password_->setFocus();
}

QString CZTConnectDialog::Address() const { return address_->currentText().trimmed(); }
QString CZTConnectDialog::User() const { return user_->text(); }
QString CZTConnectDialog::Password() const { return password_->text(); }
bool CZTConnectDialog::Ssl() const { return ssl_->isChecked(); }

// ---- document choice

CZTDocChoiceDialog::CZTDocChoiceDialog(const srv::GetContentAnswer& list, QWidget* parent)
    : QDialog(parent), list_(list) {
    setWindowTitle(T(Msg::RemoteChooseTitle));
    docs_ = new QListWidget(this);
    docs_->setObjectName(QStringLiteral("documents"));
    for (const auto& d : list.docs) docs_->addItem(DocumentEntryText(d));
    if (docs_->count() > 0) docs_->setCurrentRow(0);
    readWrite_ = new QCheckBox(T(Msg::RemoteReadWriteLabel), this);
    readWrite_->setObjectName(QStringLiteral("readWrite"));
    auto button = [this](Msg text, const char* name, Choice c) {
        auto* b = new QPushButton(T(text), this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, [this, c] { Finish(c); });
        return b;
    };
    new_ = button(Msg::RemoteNewButton, "newButton", Choice::New);
    delete_ = button(Msg::RemoteDeleteButton, "deleteButton", Choice::Delete);
    change_ = button(Msg::RemoteChangeDocButton, "changeButton", Choice::ChangeDoc);
    password_ = button(Msg::RemoteChangePwdButton, "passwordButton", Choice::ChangePassword);
    ok_ = button(Msg::RemoteOkButton, "okButton", Choice::Open);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(T(Msg::RemoteCancelButton), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(docs_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(docs_, &QListWidget::itemDoubleClicked, this, [this] {
        if (ok_->isEnabled()) Finish(Choice::Open);
    });

    auto* left = new QVBoxLayout;
    left->addWidget(Buddy(T(Msg::RemoteDocListLabel), docs_));
    left->addWidget(docs_);
    left->addWidget(readWrite_);
    auto* right = new QVBoxLayout;
    for (QPushButton* b : {ok_, cancel}) right->addWidget(b);
    right->addSpacing(12);
    for (QPushButton* b : {new_, delete_, change_, password_}) right->addWidget(b);
    right->addStretch();
    auto* h = new QHBoxLayout(this);
    h->addLayout(left, 1);
    h->addLayout(right);
    UpdateButtons();
    resize(420, 300);
}

int CZTDocChoiceDialog::Selected() const { return list_.docs.empty() ? -1 : docs_->currentRow(); }
bool CZTDocChoiceDialog::ReadWrite() const { return readWrite_->isChecked(); }

void CZTDocChoiceDialog::UpdateButtons() {
    const bool named = !list_.user.empty();
    const bool empty = list_.docs.empty();
    const int sel = docs_->currentRow();
    const int right = sel >= 0 && sel < int(list_.docs.size()) ? list_.docs[size_t(sel)].right : 0;
    new_->setEnabled(named && list_.level > 1);
    delete_->setEnabled(named && list_.level > 1 && !empty);
    change_->setEnabled(named && list_.level > 0 && right > 2 && !empty);
    password_->setEnabled(list_.level > 0 && !empty);
    ok_->setEnabled(!empty && sel >= 0);
    readWrite_->setEnabled(!empty);
}

void CZTDocChoiceDialog::Finish(Choice c) {
    choice_ = c;
    accept();
}

// ---- new document, confirmation

CZTNewDocDialog::CZTNewDocDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(T(Msg::RemoteNewDocTitle));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(Buddy(T(Msg::RemoteNewDocLabel), name_));
    v->addWidget(name_);
    v->addWidget(OkCancel(this));
}

QString CZTNewDocDialog::Name() const { return name_->text().trimmed(); }

CZTConfirmDocDialog::CZTConfirmDocDialog(const QString& caption, const QString& prompt, const QString& name,
                                         QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    auto* text = new QLabel(prompt, this);
    text->setObjectName(QStringLiteral("prompt"));
    auto* edit = new QLineEdit(name, this);
    edit->setObjectName(QStringLiteral("name"));
    edit->setReadOnly(true);
    auto* v = new QVBoxLayout(this);
    v->addWidget(text);
    v->addWidget(edit);
    v->addWidget(OkCancel(this));
}

// ---- document properties

CZTServerDocPropertiesDialog::CZTServerDocPropertiesDialog(const QString& name, std::vector<srv::UserRight> users,
                                               const std::vector<std::string>& all, int own, Prompter& prompter,
                                               QWidget* parent)
    : QDialog(parent), users_(std::move(users)), own_(own), prompter_(prompter) {
    setWindowTitle(T(Msg::RemoteDocPropsTitle));
    name_ = new QLineEdit(name, this);
    name_->setObjectName(QStringLiteral("name"));
    docUsers_ = new QListWidget(this);
    docUsers_->setObjectName(QStringLiteral("docUsers"));
    allUsers_ = new QListWidget(this);
    allUsers_->setObjectName(QStringLiteral("allUsers"));
    for (const auto& u : all) allUsers_->addItem(FromCp(u));
    auto* add = new QPushButton(QStringLiteral("<<"), this);
    add->setObjectName(QStringLiteral("addUser"));
    auto* remove = new QPushButton(QStringLiteral(">>"), this);
    remove->setObjectName(QStringLiteral("removeUser"));
    connect(add, &QPushButton::clicked, this, &CZTServerDocPropertiesDialog::Add);
    connect(remove, &QPushButton::clicked, this, &CZTServerDocPropertiesDialog::Remove);
    const Msg texts[4] = {Msg::RemoteReadAccess, Msg::RemoteWriteAccess, Msg::RemoteGrantAccess,
                          Msg::RemoteGrantGrantAccess};
    auto* box = new QGroupBox(this);
    auto* radios = new QVBoxLayout(box);
    for (int i = 0; i < 4; ++i) {
        rights_[i] = new QRadioButton(T(texts[i]), box);
        rights_[i]->setObjectName(QStringLiteral("right%1").arg(i + 1));
        radios->addWidget(rights_[i]);
        connect(rights_[i], &QRadioButton::clicked, this, [this, i] { SetRight(i + 1); });
    }
    connect(docUsers_, &QListWidget::currentRowChanged, this, [this] { Selected(); });

    auto* grid = new QGridLayout;
    grid->addWidget(Buddy(T(Msg::RemoteDocUsersLabel), docUsers_), 0, 0);
    grid->addWidget(Buddy(T(Msg::RemoteAllUsersLabel), allUsers_), 0, 2);
    grid->addWidget(docUsers_, 1, 0);
    auto* mid = new QVBoxLayout;
    mid->addStretch();
    mid->addWidget(add);
    mid->addWidget(remove);
    mid->addStretch();
    grid->addLayout(mid, 1, 1);
    grid->addWidget(allUsers_, 1, 2);
    auto* v = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(Buddy(T(Msg::RemoteDocNameLabel), name_));
    top->addWidget(name_, 1);
    v->addLayout(top);
    v->addLayout(grid);
    v->addWidget(box);
    v->addWidget(OkCancel(this, T(Msg::RemoteOkButton), T(Msg::RemoteCancelButton)));
    Refill();
    if (!users_.empty()) docUsers_->setCurrentRow(0);
    Selected();
}

QString CZTServerDocPropertiesDialog::Name() const { return name_->text().trimmed(); }

void CZTServerDocPropertiesDialog::Refill() {
    const int row = docUsers_->currentRow();
    docUsers_->clear();
    for (const auto& u : users_) docUsers_->addItem(FromCp(u.name) + QString::fromLatin1(RightSuffix(u.right)));
    if (row >= 0 && row < docUsers_->count()) docUsers_->setCurrentRow(row);
}

void CZTServerDocPropertiesDialog::Selected() {
    const int row = docUsers_->currentRow();
    const bool any = row >= 0 && row < int(users_.size());
    const int right = any ? users_[size_t(row)].right : 0;
    for (int i = 0; i < 4; ++i) {
        rights_[i]->setChecked(any && right == i + 1);
        const bool lower = i < 2 ? (right < 3 || own_ == 4) : own_ == 4;
        rights_[i]->setEnabled(any && lower);
    }
}

void CZTServerDocPropertiesDialog::Add() {
    QListWidgetItem* item = allUsers_->currentItem();
    if (!item) return;
    const std::string name = Utf8ToCp1252(item->text().toStdString());
    if (std::any_of(users_.begin(), users_.end(), [&](const auto& u) { return u.name == name; })) return;
    users_.push_back({name, srv::kRead});
    Refill();
    docUsers_->setCurrentRow(int(users_.size()) - 1);
}

void CZTServerDocPropertiesDialog::Remove() {
    const int row = docUsers_->currentRow();
    if (row < 0 || row >= int(users_.size())) return;
    if (users_[size_t(row)].right > 2 && own_ != 4) return;
    users_.erase(users_.begin() + row);
    Refill();
    Selected();
}

void CZTServerDocPropertiesDialog::SetRight(int right) {
    const int row = docUsers_->currentRow();
    if (row < 0 || row >= int(users_.size())) return;
    users_[size_t(row)].right = right;
    Refill();
}

void CZTServerDocPropertiesDialog::accept() {
    if (Name().isEmpty()) {
        prompter_.Message(MessageText(Msg::RemoteDocNameEmpty), Prompter::Icon::Warning);
        return;
    }
    QDialog::accept();
}

// ---- password

CZTPasswordDialog::CZTPasswordDialog(const QString& stored, Prompter& prompter, QWidget* parent)
    : QDialog(parent), stored_(stored), prompter_(prompter) {
    setWindowTitle(T(Msg::RemotePasswordTitle));
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setEchoMode(QLineEdit::Password);
        return e;
    };
    old_ = edit("oldPassword");
    new_ = edit("newPassword");
    repeat_ = edit("repeatPassword");
    auto* grid = new QGridLayout;
    grid->addWidget(Buddy(T(Msg::RemoteOldPasswordLabel), old_), 0, 0);
    grid->addWidget(old_, 0, 1);
    grid->addWidget(Buddy(T(Msg::RemoteNewPasswordLabel), new_), 1, 0);
    grid->addWidget(new_, 1, 1);
    grid->addWidget(Buddy(T(Msg::RemoteRepeatPasswordLabel), repeat_), 2, 0);
    grid->addWidget(repeat_, 2, 1);
    auto* v = new QVBoxLayout(this);
    v->addLayout(grid);
    v->addWidget(OkCancel(this));
}

QString CZTPasswordDialog::NewPassword() const { return new_->text().trimmed(); }

void CZTPasswordDialog::accept() {
    const QString oldText = old_->text().trimmed(), newText = new_->text().trimmed(),
                  repeat = repeat_->text().trimmed();
    if (oldText != stored_) {
        prompter_.Message(MessageText(Msg::RemoteOldPasswordWrong), Prompter::Icon::Warning);
        oldWrong_ = true;
        reject();
        return;
    }
    Msg problem = Msg::Count_;
    if (newText != repeat) problem = Msg::RemoteNewPasswordMismatch;
    else if (newText.isEmpty()) problem = Msg::RemoteNewPasswordEmpty;
    else if (newText.size() < 4) problem = Msg::RemoteNewPasswordShort;
    if (problem != Msg::Count_) {
        prompter_.Message(MessageText(problem), Prompter::Icon::Warning);
        old_->clear();
        new_->clear();
        repeat_->clear();
        return;
    }
    QDialog::accept();
}

// ---- disconnect

CZTDisconnectDialog::CZTDisconnectDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(T(Msg::RemoteDisconnectTitle));
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel(T(Msg::RemoteDisconnectText), this));
    auto* box = new QDialogButtonBox(this);
    box->addButton(T(Msg::RemoteCancel), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    v->addWidget(box);
}

} // namespace zt::ui
