// The options sheet "Optionen": bars, start-up, text drag, automatics, print
// margins, reminders ("Termine") and the mail server reminders send through
// ("Mail"). Each page writes its values back only when something on it
// changed and the user pressed OK or Apply.
#pragma once

#include <QDialog>

#include <functional>

#include "ui/settings.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace zt::ui {

// The "Mail" page: the settings it edits, and where the password goes.
// The password is never written into the settings: with a keyring it is
// handed to `storePassword` (an empty one removes it), without one the
// field is off and the password is asked when a mail is sent.
struct CZTOptionsMailPage {
    CZTMailPrefs* prefs = nullptr; // null: no "Mail" page
    bool keyring = false;
    std::function<bool(const QString& server, const QString& user, const QString& password)> storePassword;
    std::function<void()> applied; // after the page was written into *prefs
};
class CZTOptionsDialog : public QDialog {
    Q_OBJECT
public:
    struct Capabilities {
        bool autoLink = false; // the text view can recognise hyperlinks
    };
    using MailPage = CZTOptionsMailPage;
    // `apply` is called after changed pages were written into `live`, with the
    // values from before.
    CZTOptionsDialog(CZTPreferences& live, Capabilities caps,
                     std::function<void(const CZTPreferences& before)> apply, QWidget* parent = nullptr,
                     MailPage mail = {});

    QTabWidget* tabs;
    // Page 1
    QCheckBox *toolBar, *treeBar, *editBar, *pageBar, *ruler, *fontBar, *navBar, *statusBar, *tipsBar, *viewTitles,
        *buttonText;
    // Page 2
    QCheckBox* tray;
    QRadioButton *modeNone, *modeCurrent, *modeLast;
    // Page 3
    QCheckBox *dragSubtree, *dragCaption;
    // Page 4
    QCheckBox *autoLink, *autoWord, *autoSave;
    // Page 5
    QRadioButton *unitCm, *unitInch;
    QDoubleSpinBox *marginLeft, *marginTop, *marginRight, *marginBottom, *indent;
    // Page 6 "Termine"
    QCheckBox *impRoot, *impPage, *expRoot, *expPage, *openAll, *openOld, *sound;
    QLineEdit* soundCommand;
    QPushButton* reminderDefaults;
    // Page 7 "Mail" (null without it)
    QLineEdit *mailServer = nullptr, *mailUser = nullptr, *mailPassword = nullptr, *mailSender = nullptr;
    QSpinBox* mailPort = nullptr;
    QComboBox* mailTls = nullptr;

    // OK and Apply.
    void Apply();

private:
    void accept() override;
    void Watch(QWidget* w, int page);
    void ShowMargins(int unit);
    int Twips(const QDoubleSpinBox* box) const;

    void BuildReminderPage();
    void BuildMailPage();
    void ApplyMail();

    CZTPreferences& live_;
    std::function<void(const CZTPreferences&)> apply_;
    MailPage mail_;
    bool passwordEdited_ = false;
    static constexpr int kPages = 7;
    bool dirty_[kPages] = {};
    int shownUnit_ = 1;
    QDialogButtonBox* buttons_;
};

// The sound "&Standardeinstellungen" fills in: a sound file of the desktop
// (or its player's command line), empty when there is none (the bell).
QString DefaultReminderSound();

} // namespace zt::ui
