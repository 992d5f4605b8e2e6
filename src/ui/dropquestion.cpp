#include "ui/dropquestion.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "base/messages.h"

namespace zt::ui {

CZTDropQuestionDialog::CZTDropQuestionDialog(CZTDropQuestion& question, QWidget* parent)
    : QDialog(parent), q_(question), group_(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("dropQuestionDialog"));
    setWindowTitle(q_.title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(q_.label, this));
    for (int i = 0; i < q_.options.size(); ++i) {
        auto* b = new QRadioButton(q_.options[i], this);
        group_->addButton(b, i);
        layout->addWidget(b);
        if (i == q_.preset) b->setChecked(true);
    }
    if (!q_.formats.isEmpty()) {
        formats_ = new QComboBox(this);
        formats_->addItems(q_.formats);
        formats_->setCurrentIndex(q_.format);
        layout->addWidget(formats_);
    }
    if (!q_.note.isEmpty()) layout->addWidget(new QLabel(q_.note, this));
    q_.checked.resize(size_t(q_.checks.size()), false);
    for (int i = 0; i < q_.checks.size(); ++i) {
        auto* c = new QCheckBox(q_.checks[i], this);
        c->setChecked(q_.checked[size_t(i)]);
        checks_.push_back(c);
        layout->addWidget(c);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8(MessageText(Msg::DropCancel)));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int CZTDropQuestionDialog::Choice() const { return result() == QDialog::Accepted ? group_->checkedId() : -1; }

void CZTDropQuestionDialog::accept() {
    for (size_t i = 0; i < checks_.size(); ++i) q_.checked[i] = checks_[i]->isChecked();
    if (formats_) q_.format = formats_->currentIndex();
    QDialog::accept();
}

} // namespace zt::ui
