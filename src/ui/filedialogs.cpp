#include "ui/filedialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "base/cp1252.h"

namespace zt::ui {

CZTFileConflictDialog::CZTFileConflictDialog(const QString& name, const QString& source, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Datei existiert bereits"));
    auto* v = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Die &Datei"), this);
    nameEdit = new QLineEdit(name, this);
    nameEdit->setMinimumWidth(320);
    label->setBuddy(nameEdit);
    v->addWidget(label);
    v->addWidget(nameEdit);
    v->addWidget(new QLabel(QStringLiteral("ist schon vorhanden."), this));
    auto* src = new QLabel(source, this);
    src->setWordWrap(true);
    src->setObjectName(QStringLiteral("source"));
    v->addWidget(src);
    auto* row1 = new QHBoxLayout;
    auto* row2 = new QHBoxLayout;
    struct B {
        const char* text;
        ConflictAnswer answer;
        QHBoxLayout* row;
    } buttons[] = {
        {"Über&schreiben", ConflictAnswer::Overwrite, row1},
        {"&Eindeutig", ConflictAnswer::Unique, row1},
        {"Alle übers&chreiben", ConflictAnswer::OverwriteAll, row1},
        {"Alle e&indeutig", ConflictAnswer::UniqueAll, row1},
        {"&Nochmal versuchen", ConflictAnswer::Retry, row2},
        {"&Überspringen", ConflictAnswer::Skip, row2},
        {"Abbrechen", ConflictAnswer::Cancel, row2},
    };
    for (const B& b : buttons) {
        auto* p = new QPushButton(QString::fromUtf8(b.text), this);
        p->setAutoDefault(false);
        const ConflictAnswer answer = b.answer;
        connect(p, &QPushButton::clicked, this, [this, answer] {
            answer_ = answer;
            answer == ConflictAnswer::Cancel ? reject() : accept();
        });
        b.row->addWidget(p);
    }
    v->addLayout(row1);
    v->addLayout(row2);
}

QString CZTFileConflictDialog::Name() const { return nameEdit->text(); }

ConflictAnswer CZTDialogConflictAsker::Ask(std::string& name, const std::string& source) {
    CZTFileConflictDialog d(QString::fromStdString(Cp1252ToUtf8(name)), QString::fromStdString(source), parent_);
    d.exec();
    name = Utf8ToCp1252(d.Name().trimmed().toStdString());
    return d.Answer();
}

CZTOpenFileDialog::CZTOpenFileDialog(const QString& fileName, const QString& command, bool noFileArgument,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Frage..."));
    auto* g = new QGridLayout(this);
    g->addWidget(new QLabel(QStringLiteral("Soll die Datei"), this), 0, 0, 1, 2);
    auto* name = new QLabel(fileName, this);
    name->setObjectName(QStringLiteral("fileName"));
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    g->addWidget(name, 1, 0, 1, 2);
    auto* progLabel = new QLabel(QStringLiteral("mit dem &Programm"), this);
    g->addWidget(progLabel, 2, 0, 1, 2);
    programEdit = new QLineEdit(command, this);
    programEdit->setMinimumWidth(360);
    progLabel->setBuddy(programEdit);
    g->addWidget(programEdit, 3, 0);
    auto* browse = new QPushButton(QStringLiteral("&Duchsuchen"), this);
    browse->setAutoDefault(false);
    g->addWidget(browse, 3, 1);
    noArgumentBox = new QCheckBox(QStringLiteral("Dateinamen nicht als Parameter verwenden"), this);
    noArgumentBox->setChecked(noFileArgument);
    g->addWidget(noArgumentBox, 4, 0, 1, 2);
    auto* row = new QHBoxLayout;
    auto* open = new QPushButton(QStringLiteral("&Öffnen"), this);
    auto* save = new QPushButton(QStringLiteral("&Speichern"), this);
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    open->setDefault(true);
    row->addStretch();
    row->addWidget(open);
    row->addWidget(save);
    row->addWidget(cancel);
    g->addLayout(row, 5, 0, 1, 2);
    connect(open, &QPushButton::clicked, this, [this] { done(Open); });
    connect(save, &QPushButton::clicked, this, [this] { done(Save); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(Cancel); });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString program = QFileDialog::getOpenFileName(this, QStringLiteral("Programm"));
        if (!program.isEmpty()) programEdit->setText(JoinCommandWord(program));
    });
}

QString CZTOpenFileDialog::JoinCommandWord(const QString& word) {
    if (!word.contains(u' ') && !word.contains(u'"')) return word;
    QString w = word;
    w.replace(QStringLiteral("\""), QStringLiteral("\"\"\""));
    return u'"' + w + u'"';
}

QString CZTOpenFileDialog::Command() const { return programEdit->text().trimmed(); }
bool CZTOpenFileDialog::NoFileArgument() const { return noArgumentBox->isChecked(); }

CZTFilePropertiesDialog::CZTFilePropertiesDialog(const CZTFileFacts& f, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Datei Eigenschaften"));
    auto* v = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    auto* form = new QFormLayout(page);
    auto row = [&](const char* label, const QString& value) {
        auto* l = new QLineEdit(value, page);
        l->setReadOnly(true);
        l->setMinimumWidth(300);
        l->setObjectName(QString::fromUtf8(label));
        form->addRow(QString::fromUtf8(label), l);
    };
    row("Dateiname", f.name);
    row("Langer Name", f.longName);
    row("Erstellt von", f.createdBy);
    row("Erstellt am", f.created);
    row("Zuletzt geändert von", f.modifiedBy);
    row("Zuletzt geändert am", f.modified);
    row("Größe der Datei", f.size);
    tabs->addTab(page, QStringLiteral("Datei"));
    v->addWidget(tabs);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    v->addWidget(box);
}


} // namespace zt::ui
