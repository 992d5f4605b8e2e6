#include "ui/backgrounddialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/document.h"
#include "text/pagecolors.h"

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

void ChangePageColours(CZTDocument& doc, CZTPageNode* page, bool siblings, bool subtrees,
                       const std::function<void(zt::PageColors&)>& change) {
    std::vector<CZTPageNode*> pages = siblings ? page->Siblings() : std::vector<CZTPageNode*>{page};
    if (subtrees)
        for (size_t i = 0; i < pages.size(); ++i)
            for (CZTPageNode* c : pages[i]->Children()) pages.push_back(c);
    for (CZTPageNode* p : pages) {
        std::string_view prop;
        zt::PageColors colours;
        if (doc.Archive().GetExtItem(p->Ident(), zt::PageColors::kExtKind, prop)) colours = zt::PageColors::Decode(prop);
        change(colours);
        doc.Archive().SetExtItem(p->Ident(), zt::PageColors::kExtKind, colours.Encode());
        doc.Tree().ApplyMark(p, CZTMarkEvent::PageChanged);
    }
    doc.SetModified();
}

} // namespace zt::ui
