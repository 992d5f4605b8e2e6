#include "ui/backgrounddialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace zt::ui {

CZTBackgroundDialog::CZTBackgroundDialog(const QColor& colour, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Hintergrundfarbe setzen"));
    chooser = new QPushButton(this);
    chooser->setMinimumSize(160, 28);
    siblings = new QCheckBox(QStringLiteral("&Nachbarseiten einbeziehen"), this);
    subtrees = new QCheckBox(QStringLiteral("Unter&bäum(e) einbeziehen"), this);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    auto* l = new QVBoxLayout(this);
    l->addWidget(chooser);
    l->addWidget(siblings);
    l->addWidget(subtrees);
    l->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(chooser, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(colour_, this, windowTitle());
        if (c.isValid()) SetColour(c);
    });
    SetColour(colour);
}

void CZTBackgroundDialog::SetColour(const QColor& colour) {
    colour_ = colour;
    chooser->setText(colour.name().toUpper());
    chooser->setStyleSheet(QStringLiteral("background-color: %1; color: %2")
                               .arg(colour.name(), colour.lightness() < 128 ? QStringLiteral("white")
                                                                             : QStringLiteral("black")));
}

} // namespace zt::ui
