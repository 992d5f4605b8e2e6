// The dialogs of the files view: the name conflict question, the question
// before a file is opened with a program, the file properties and the
// background colour with its inclusion boxes.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

#include "core/attachedfiles.h"

class QCheckBox;
class QColorDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zt::ui {

// "Datei existiert bereits": the name (editable), the source and seven answers.
class CZTFileConflictDialog : public QDialog {
    Q_OBJECT
public:
    CZTFileConflictDialog(const QString& name, const QString& source, QWidget* parent = nullptr);
    QString Name() const;
    ConflictAnswer Answer() const { return answer_; }
    QLineEdit* nameEdit = nullptr;

private:
    ConflictAnswer answer_ = ConflictAnswer::Cancel;
};

// Asks with CZTFileConflictDialog.
class CZTDialogConflictAsker : public ConflictAsker {
public:
    explicit CZTDialogConflictAsker(QWidget* parent) : parent_(parent) {}
    ConflictAnswer Ask(std::string& name, const std::string& source) override;

private:
    QWidget* parent_;
};

// "Frage...": open the file with a program, or save it elsewhere.
class CZTOpenFileDialog : public QDialog {
    Q_OBJECT
public:
    enum Choice { Cancel = 0, Open = 1, Save = 2 };
    CZTOpenFileDialog(const QString& fileName, const QString& command, bool noFileArgument, QWidget* parent = nullptr);
    QString Command() const;
    bool NoFileArgument() const;
    static QString JoinCommandWord(const QString& word);
    QLineEdit* programEdit = nullptr;
    QCheckBox* noArgumentBox = nullptr;
};

// "Datei Eigenschaften" with the page "Datei".
struct CZTFileFacts {
    QString name, longName, createdBy, created, modifiedBy, modified, size;
};
class CZTFilePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    CZTFilePropertiesDialog(const CZTFileFacts& facts, QWidget* parent = nullptr);
};

} // namespace zt::ui
