#include "ui/finddialog.h"

#include "base/messages.h"
#include "base/prompter.h"
#include "ui/textview.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace zt::ui {

namespace {

struct LastSearch {
    QString text;
    bool matchCase = false, wholeWord = false;
};
LastSearch& Last() {
    static LastSearch l;
    return l;
}

QTextDocument::FindFlags Flags(bool matchCase, bool wholeWord) {
    QTextDocument::FindFlags f;
    if (matchCase) f |= QTextDocument::FindCaseSensitively;
    if (wholeWord) f |= QTextDocument::FindWholeWords;
    return f;
}

// One search from the selection on, wrapping once up to `origin`.
bool Search(CZettrixView& view, const QString& text, QTextDocument::FindFlags flags, int& origin, bool& wrapped) {
    if (view.CurrentIdent() <= 0 || text.isEmpty()) return false;
    QTextDocument* doc = view.document();
    const QTextCursor c = view.textCursor();
    const int start = c.hasSelection() ? c.selectionStart() + 1 : c.position();
    if (origin < 0) {
        origin = start;
        wrapped = false;
    }
    QTextCursor f = doc->find(text, start, flags);
    if (!f.isNull() && wrapped && f.selectionStart() >= origin) f = QTextCursor();
    if (f.isNull() && !wrapped) {
        wrapped = true;
        f = doc->find(text, 0, flags);
        if (!f.isNull() && f.selectionStart() >= origin) f = QTextCursor();
    }
    if (f.isNull()) {
        origin = -1;
        wrapped = false;
        return false;
    }
    view.setTextCursor(f);
    view.ensureCursorVisible();
    return true;
}

} // namespace

CZTFindDialog::CZTFindDialog(CZettrixView& view, Prompter& prompter, bool replace, QWidget* parent)
    : QDialog(parent), view_(view), prompter_(prompter), replace_(replace) {
    setWindowTitle(replace ? QStringLiteral("Ersetzen") : QStringLiteral("Suchen"));
    setObjectName(replace ? QStringLiteral("replaceDialog") : QStringLiteral("findDialog"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    find_ = new QLineEdit;
    case_ = new QCheckBox(QStringLiteral("Groß-/Kleinschreibung &beachten"));
    word_ = new QCheckBox(QStringLiteral("Nur ganzes &Wort suchen"));
    case_->setChecked(Last().matchCase);
    word_->setChecked(Last().wholeWord);
    auto* grid = new QGridLayout;
    auto* l1 = new QLabel(QStringLiteral("Suchen &nach:"));
    l1->setBuddy(find_);
    grid->addWidget(l1, 0, 0);
    grid->addWidget(find_, 0, 1);
    if (replace_) {
        with_ = new QLineEdit;
        auto* l2 = new QLabel(QStringLiteral("Ersetzen &durch:"));
        l2->setBuddy(with_);
        grid->addWidget(l2, 1, 0);
        grid->addWidget(with_, 1, 1);
    }
    grid->addWidget(word_, 2, 1);
    grid->addWidget(case_, 3, 1);
    auto* next = new QPushButton(QStringLiteral("&Weitersuchen"));
    next->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(next);
    connect(next, &QPushButton::clicked, this, [this] { FindNext(); });
    if (replace_) {
        auto* one = new QPushButton(QStringLiteral("&Ersetzen"));
        auto* all = new QPushButton(QStringLiteral("&Alle ersetzen"));
        one->setAutoDefault(false);
        all->setAutoDefault(false);
        buttons->addWidget(one);
        buttons->addWidget(all);
        connect(one, &QPushButton::clicked, this, [this] { ReplaceOne(); });
        connect(all, &QPushButton::clicked, this, [this] { ReplaceAll(); });
    }
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"));
    cancel->setAutoDefault(false);
    buttons->addWidget(cancel);
    buttons->addStretch();
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    auto* main = new QHBoxLayout(this);
    main->addLayout(grid, 1);
    main->addLayout(buttons);
    TakeSelection();
}

void CZTFindDialog::TakeSelection() {
    const QString sel = view_.textCursor().selectedText();
    const bool oneLine = !sel.isEmpty() && !sel.contains(QChar(0x2029)) && !sel.contains(QChar(0x2028)) &&
                         !sel.contains(QLatin1Char('\n'));
    find_->setText(oneLine ? sel : Last().text);
    find_->selectAll();
}

bool CZTFindDialog::FindNext() {
    Last() = {find_->text(), case_->isChecked(), word_->isChecked()};
    if (Search(view_, find_->text(), Flags(case_->isChecked(), word_->isChecked()), origin_, wrapped_)) return true;
    prompter_.Message(MessageText(Msg::TextNotFound), Prompter::Icon::Information);
    return false;
}

bool CZTFindDialog::Matches(const QString& selected) const {
    return selected.compare(find_->text(), case_->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

bool CZTFindDialog::ReplaceOne() {
    QTextCursor c = view_.textCursor();
    if (!view_.isReadOnly() && c.hasSelection() && Matches(c.selectedText())) {
        c.insertText(with_ ? with_->text() : QString());
        view_.setTextCursor(c);
    }
    return FindNext();
}

int CZTFindDialog::ReplaceAll() {
    Last() = {find_->text(), case_->isChecked(), word_->isChecked()};
    int n = 0;
    if (view_.CurrentIdent() > 0 && !view_.isReadOnly() && !find_->text().isEmpty()) {
        QTextDocument* doc = view_.document();
        const QTextDocument::FindFlags flags = Flags(case_->isChecked(), word_->isChecked());
        QTextCursor edit(doc);
        edit.beginEditBlock();
        int pos = 0;
        for (QTextCursor f = doc->find(find_->text(), pos, flags); !f.isNull(); f = doc->find(find_->text(), pos, flags)) {
            f.insertText(with_ ? with_->text() : QString());
            pos = f.position();
            ++n;
        }
        edit.endEditBlock();
    }
    origin_ = -1;
    wrapped_ = false;
    prompter_.Message(MessageText(Msg::TextNotFound), Prompter::Icon::Information);
    return n;
}

bool CZTFindDialog::Repeat(CZettrixView& view, Prompter& prompter) {
    static int origin = -1;
    static bool wrapped = false;
    const LastSearch& l = Last();
    if (Search(view, l.text, Flags(l.matchCase, l.wholeWord), origin, wrapped)) return true;
    prompter.Message(MessageText(Msg::TextNotFound), Prompter::Icon::Information);
    return false;
}

} // namespace zt::ui
