// The dialogs of the key sources: the key file choice ("Zettrix:
// Schlüsseldatei wählen": a key file or PKCS#11 module from the recent list
// or p11-kit's configured modules, or one browsed for), the password dialog
// ("Passwort Dialog": the key file's password or a token's PIN) and the
// certificate choice ("Zertifikatsauswahl", with "Ansehen" for the
// certificate viewer).
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zt {
class Prompter;
struct CZtP11Module;
} // namespace zt

namespace zt::ui {

class CKeyFileDialog : public QDialog {
    Q_OBJECT
public:
    // `keyFiles`: the recently used key files and modules, in order (the last
    // is selected); `modules`: p11-kit's modules, listed after them.
    CKeyFileDialog(const QStringList& keyFiles, const std::vector<zt::CZtP11Module>& modules, zt::Prompter& prompter,
                   QWidget* parent = nullptr);

    QString Path() const;
    bool IsPkcs11() const;
    // The key file list after the dialog: missing files removed, files browsed
    // for added, and on OK the chosen one moved to the end.
    QStringList KeyFiles() const { return keyFiles_; }

    // Chooses a file for "Durchsuchen" (a file dialog unless set; tests set it).
    static std::function<QString(QWidget* parent, const QString& filter)> browseHook;
    static const QString kFilter;

    void accept() override;
    // "Durchsuchen": a file chosen is selected, added to the list when new.
    void Browse();
    // Sets the check box from a path's ending: ".so" (also versioned, ".so.1")
    // sets it, ".pfx" and ".p12" clear it, other endings and paths of four
    // characters or fewer leave it.
    void CheckFromEnding(const QString& path);

private:
    void EntryChosen(int index);
    void AddEntry(const QString& path, const QString& text, bool module);

    zt::Prompter& prompter_;
    QStringList keyFiles_;
    QComboBox* combo_;
    QCheckBox* pkcs11_;
    bool filling_ = false;
};

class CPasswordDialog : public QDialog {
    Q_OBJECT
public:
    // `detail` (may be empty) names what the password is for (the key file,
    // the token).
    explicit CPasswordDialog(const QString& detail, QWidget* parent = nullptr);
    // The text typed (UTF-8); the field is emptied. The caller wipes it.
    std::string TakePassword();

private:
    QLineEdit* password_;
};

class CCertificateChoiceDialog : public QDialog {
    Q_OBJECT
public:
    struct Entry {
        QString text;   // the subject name text
        QByteArray der; // the certificate
        size_t index;   // in the key source
    };
    CCertificateChoiceDialog(std::vector<Entry> entries, zt::Prompter& prompter, QWidget* parent = nullptr);

    // The key source index of the chosen entry (after Accepted).
    size_t Chosen() const { return chosen_; }
    void accept() override;
    // "Ansehen": the certificate viewer for the selected entry.
    void View();

private:
    std::vector<Entry> entries_;
    zt::Prompter& prompter_;
    QComboBox* combo_;
    size_t chosen_ = 0;
};

} // namespace zt::ui
