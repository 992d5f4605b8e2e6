#include "ui/optionsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace zt::ui {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kTwipsPerCm = 1440.0 / 2.54;

// The TLS modes as stored and as shown.
const char* const kTlsStored[] = {"STARTTLS", "TLS", "none"};
const char* const kTlsShown[] = {"STARTTLS", "TLS", "keine"};
} // namespace

QString DefaultReminderSound() {
    // A sound file the notification plays itself, else a desktop sound
    // through the sound server's player; nothing found: the bell.
    for (const char* wav : {"/usr/share/sounds/freedesktop/stereo/complete.wav", "/usr/share/sounds/alsa/Front_Center.wav",
                            "/usr/share/sounds/sound-icons/prompt.wav"})
        if (QFileInfo(QString::fromLatin1(wav)).isFile()) return QString::fromLatin1(wav);
    const QString oga = QStringLiteral("/usr/share/sounds/freedesktop/stereo/complete.oga");
    if (QFileInfo(oga).isFile()) {
        for (const char* player : {"paplay", "pw-play"})
            if (!QStandardPaths::findExecutable(QString::fromLatin1(player)).isEmpty())
                return QString::fromLatin1(player) + QLatin1Char(' ') + oga;
    }
    return {};
}

CZTOptionsDialog::CZTOptionsDialog(CZTPreferences& live, Capabilities caps,
                                   std::function<void(const CZTPreferences&)> apply, QWidget* parent, MailPage mail)
    : QDialog(parent), live_(live), apply_(std::move(apply)), mail_(std::move(mail)) {
    setWindowTitle(QStringLiteral("Optionen"));
    setObjectName(QStringLiteral("optionsDialog"));
    tabs = new QTabWidget(this);
    tabs->setUsesScrollButtons(false);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    buttons_->button(QDialogButtonBox::Apply)->setText(QStringLiteral("&Übernehmen"));
    buttons_->button(QDialogButtonBox::Apply)->setEnabled(false);

    // 1 bars
    auto* bars = new QWidget(tabs);
    auto* bl = new QVBoxLayout(bars);
    auto box = [&](QWidget* page, QLayout* layout, const char* text, bool on) {
        auto* b = new QCheckBox(QString::fromUtf8(text), page);
        b->setChecked(on);
        layout->addWidget(b);
        return b;
    };
    toolBar = box(bars, bl, "Werkzeugleiste", live.tlb);
    treeBar = box(bars, bl, "Baumleiste", live.trb);
    editBar = box(bars, bl, "Bearbeitungsleiste", live.edb);
    pageBar = box(bars, bl, "Seitenleiste", live.plb);
    ruler = box(bars, bl, "Lineal", live.rulerBar);
    fontBar = box(bars, bl, "Fontleiste", live.slb);
    navBar = box(bars, bl, "Navigationsleiste", live.lkb);
    statusBar = box(bars, bl, "Statusleiste", live.stb);
    tipsBar = box(bars, bl, "Tippsleiste", live.tb);
    viewTitles = box(bars, bl, "Ansichten mit Titelleisten", live.viewTitle);
    buttonText = box(bars, bl, "Symbole mit Titel", live.buttonText);
    buttonText->hide();
    bl->addStretch();
    for (QCheckBox* b : {toolBar, treeBar, editBar, pageBar, ruler, fontBar, navBar, statusBar, tipsBar, viewTitles})
        Watch(b, 0);
    tabs->addTab(bars, QStringLiteral("Symbolleisten"));

    // 2 start
    auto* start = new QWidget(tabs);
    auto* sl = new QVBoxLayout(start);
    tray = box(start, sl, "System-Tray verwenden", live.trayIcon);
    auto* doc = new QGroupBox(QStringLiteral("Dokument beim Start"), start);
    auto* dl = new QVBoxLayout(doc);
    modeNone = new QRadioButton(QStringLiteral("kein Default-Dokument"), doc);
    modeCurrent = new QRadioButton(QStringLiteral("aktuelles Dokument verwenden"), doc);
    modeLast = new QRadioButton(QStringLiteral("immer das zuletzt geschlossene Dokument"), doc);
    dl->addWidget(modeNone);
    dl->addWidget(modeCurrent);
    dl->addWidget(modeLast);
    (live.mode == 0 ? modeNone : live.mode == 1 ? modeCurrent : modeLast)->setChecked(true);
    sl->addWidget(doc);
    sl->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(tray), static_cast<QWidget*>(modeNone),
                       static_cast<QWidget*>(modeCurrent), static_cast<QWidget*>(modeLast)}) {
        Watch(w, 1);
        w->setEnabled(live.saveState != 0);
    }
    tabs->addTab(start, QStringLiteral("Programm-Start"));

    // 3 text drag
    auto* drag = new QWidget(tabs);
    auto* gl = new QVBoxLayout(drag);
    dragSubtree = box(drag, gl, "Unterbaum beim Text-Drag verwenden", live.drag == 0);
    dragCaption = box(drag, gl, "Titel beim Text-Drag automatisch einfügen", live.caption);
    gl->addStretch();
    Watch(dragSubtree, 2);
    Watch(dragCaption, 2);
    tabs->addTab(drag, QStringLiteral("Text-Drag"));

    // 4 automatics
    auto* autos = new QWidget(tabs);
    auto* al = new QVBoxLayout(autos);
    autoLink = box(autos, al, "automatische (heiße) Hyperlinks im Text-Fenster", live.autoLink);
    autoLink->setEnabled(caps.autoLink);
    autoWord = box(autos, al, "automatische Wort-Vervollständigung beim Markieren im Text-Fenster", live.autoWord);
    autoSave = box(autos, al, "automatisches Sichern von Änderungen alle 5 Minuten", live.autoSave);
    al->addStretch();
    for (QCheckBox* b : {autoLink, autoWord, autoSave}) Watch(b, 3);
    tabs->addTab(autos, QStringLiteral("Automatiken"));

    // 5 margins
    auto* margins = new QWidget(tabs);
    auto* ml = new QVBoxLayout(margins);
    auto* unit = new QGroupBox(QStringLiteral("Einheit"), margins);
    auto* ul = new QVBoxLayout(unit);
    unitCm = new QRadioButton(QStringLiteral("Zentimeter (0,39in)"), unit);
    unitInch = new QRadioButton(QStringLiteral("Inches (2,54 cm)"), unit);
    ul->addWidget(unitCm);
    ul->addWidget(unitInch);
    ml->addWidget(unit);
    auto* form = new QFormLayout;
    auto spin = [&](const char* label) {
        auto* s = new QDoubleSpinBox(margins);
        s->setDecimals(2);
        s->setRange(0, 100);
        s->setSingleStep(0.1);
        form->addRow(QString::fromUtf8(label), s);
        Watch(s, 4);
        return s;
    };
    marginLeft = spin("Linker Rand:");
    marginTop = spin("Oberer Rand:");
    marginRight = spin("Rechter Rand:");
    marginBottom = spin("Unterer Rand:");
    indent = spin("Einzug:");
    ml->addLayout(form);
    ml->addStretch();
    shownUnit_ = live.rulerUnit == 0 ? 0 : 1;
    (shownUnit_ == 0 ? unitCm : unitInch)->setChecked(true);
    ShowMargins(shownUnit_);
    auto unitChanged = [this] {
        int u = unitCm->isChecked() ? 0 : 1;
        if (u == shownUnit_) return;
        // Keep the distances, change the figures.
        int t[5] = {Twips(marginLeft), Twips(marginTop), Twips(marginRight), Twips(marginBottom), Twips(indent)};
        shownUnit_ = u;
        const double per = u == 0 ? kTwipsPerCm : kTwipsPerInch;
        QDoubleSpinBox* boxes[5] = {marginLeft, marginTop, marginRight, marginBottom, indent};
        for (int i = 0; i < 5; ++i) boxes[i]->setValue(t[i] / per);
        dirty_[4] = true;
    };
    connect(unitCm, &QRadioButton::toggled, this, unitChanged);
    tabs->addTab(margins, QStringLiteral("Druckränder"));

    BuildReminderPage();
    if (mail_.prefs) BuildMailPage();

    connect(buttons_, &QDialogButtonBox::accepted, this, &CZTOptionsDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons_->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &CZTOptionsDialog::Apply);
    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs);
    top->addWidget(buttons_);
    // Filling the controls is no change.
    for (bool& d : dirty_) d = false;
    buttons_->button(QDialogButtonBox::Apply)->setEnabled(false);
}

void CZTOptionsDialog::Watch(QWidget* w, int page) {
    auto mark = [this, page] {
        dirty_[page] = true;
        buttons_->button(QDialogButtonBox::Apply)->setEnabled(true);
    };
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        connect(b, &QAbstractButton::toggled, this, mark);
    else if (auto* s = qobject_cast<QDoubleSpinBox*>(w))
        connect(s, &QDoubleSpinBox::valueChanged, this, mark);
    else if (auto* i = qobject_cast<QSpinBox*>(w))
        connect(i, &QSpinBox::valueChanged, this, mark);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        connect(e, &QLineEdit::textChanged, this, mark);
    else if (auto* c = qobject_cast<QComboBox*>(w))
        connect(c, &QComboBox::currentIndexChanged, this, mark);
}

void CZTOptionsDialog::BuildReminderPage() {
    auto* page = new QWidget(tabs);
    auto* layout = new QVBoxLayout(page);
    auto box = [&](QWidget* parent, QLayout* l, const char* text, int on) {
        auto* b = new QCheckBox(QString::fromUtf8(text), parent);
        b->setChecked(on != 0);
        l->addWidget(b);
        Watch(b, 5);
        return b;
    };
    auto* row = new QHBoxLayout;
    auto* import = new QGroupBox(QStringLiteral("&Import"), page);
    auto* il = new QVBoxLayout(import);
    impRoot = box(import, il, "allgemeine Termine", live_.alarmImpRoot);
    impPage = box(import, il, "Zettrix Termine", live_.alarmImpPage);
    auto* exportBox = new QGroupBox(QStringLiteral("&Export"), page);
    auto* el = new QVBoxLayout(exportBox);
    expRoot = box(exportBox, el, "allgemeine Termine", live_.alarmExpRoot);
    expPage = box(exportBox, el, "Zettrix Termine", live_.alarmExpPage);
    row->addWidget(import);
    row->addWidget(exportBox);
    layout->addLayout(row);
    openAll = box(page, layout, "alle Termine übernehmen", live_.alarmOpenAll);
    openOld = box(page, layout, "über vergangene Termine informieren", live_.alarmOpenOld);
    sound = box(page, layout, "Sound-&Datei abspielen", live_.alarmSnd);
    auto* label = new QLabel(QStringLiteral("&Kommando und Sound-Datei"), page);
    soundCommand = new QLineEdit(live_.alarmSndCmd, page);
    label->setBuddy(soundCommand);
    layout->addWidget(label);
    layout->addWidget(soundCommand);
    Watch(soundCommand, 5);
    soundCommand->setEnabled(sound->isChecked());
    connect(sound, &QCheckBox::toggled, soundCommand, &QWidget::setEnabled);
    reminderDefaults = new QPushButton(QStringLiteral("&Standardeinstellungen"), page);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(reminderDefaults);
    layout->addLayout(buttonRow);
    layout->addStretch();
    connect(reminderDefaults, &QPushButton::clicked, this, [this] {
        impRoot->setChecked(false);
        impPage->setChecked(false);
        expRoot->setChecked(false);
        expPage->setChecked(true);
        openAll->setChecked(true);
        openOld->setChecked(true);
        if (sound->isChecked()) soundCommand->setText(DefaultReminderSound());
    });
    tabs->addTab(page, QStringLiteral("Termine"));
}

void CZTOptionsDialog::BuildMailPage() {
    const CZTMailPrefs& m = *mail_.prefs;
    auto* page = new QWidget(tabs);
    auto* form = new QFormLayout(page);
    mailServer = new QLineEdit(m.server, page);
    mailServer->setPlaceholderText(QStringLiteral("smtp.example.org"));
    mailPort = new QSpinBox(page);
    mailPort->setRange(0, 65535);
    mailPort->setSpecialValueText(QStringLiteral("Standard"));
    mailPort->setValue(m.port);
    mailTls = new QComboBox(page);
    int tls = 0;
    for (int i = 0; i < 3; ++i) {
        mailTls->addItem(QString::fromUtf8(kTlsShown[i]), QString::fromLatin1(kTlsStored[i]));
        if (m.tls.compare(QLatin1String(kTlsStored[i]), Qt::CaseInsensitive) == 0) tls = i;
    }
    mailTls->setCurrentIndex(tls);
    mailUser = new QLineEdit(m.user, page);
    mailPassword = new QLineEdit(page);
    mailPassword->setEchoMode(QLineEdit::Password);
    if (mail_.keyring) {
        mailPassword->setPlaceholderText(QStringLiteral("unverändert (im Schlüsselbund)"));
    } else {
        mailPassword->setEnabled(false);
        mailPassword->setPlaceholderText(QStringLiteral("wird beim Senden erfragt"));
    }
    mailSender = new QLineEdit(m.sender, page);
    mailSender->setPlaceholderText(QStringLiteral("name@example.org"));
    form->addRow(QStringLiteral("&Server:"), mailServer);
    form->addRow(QStringLiteral("&Port:"), mailPort);
    form->addRow(QStringLiteral("&Verschlüsselung:"), mailTls);
    form->addRow(QStringLiteral("&Benutzer:"), mailUser);
    form->addRow(QStringLiteral("Pass&wort:"), mailPassword);
    form->addRow(QStringLiteral("&Absender:"), mailSender);
    for (QWidget* w : {static_cast<QWidget*>(mailServer), static_cast<QWidget*>(mailPort),
                       static_cast<QWidget*>(mailTls), static_cast<QWidget*>(mailUser),
                       static_cast<QWidget*>(mailPassword), static_cast<QWidget*>(mailSender)})
        Watch(w, 6);
    connect(mailPassword, &QLineEdit::textEdited, this, [this] { passwordEdited_ = true; });
    tabs->addTab(page, QStringLiteral("Mail"));
}

void CZTOptionsDialog::ApplyMail() {
    CZTMailPrefs& m = *mail_.prefs;
    m.server = mailServer->text().trimmed();
    m.port = mailPort->value();
    m.tls = mailTls->currentData().toString();
    m.user = mailUser->text().trimmed();
    m.sender = mailSender->text().trimmed();
    // Into the keyring only, never into the settings; the field is emptied
    // so that the password stays in the dialog no longer than needed.
    if (passwordEdited_ && mail_.keyring && mail_.storePassword && !m.server.isEmpty())
        mail_.storePassword(m.server, m.user, mailPassword->text());
    passwordEdited_ = false;
    {
        QSignalBlocker block(mailPassword);
        mailPassword->clear();
    }
    if (mail_.applied) mail_.applied();
}

void CZTOptionsDialog::ShowMargins(int unit) {
    const double per = unit == 0 ? kTwipsPerCm : kTwipsPerInch;
    marginLeft->setValue(live_.marginLeft / per);
    marginTop->setValue(live_.marginTop / per);
    marginRight->setValue(live_.marginRight / per);
    marginBottom->setValue(live_.marginBot / per);
    indent->setValue(live_.indent / per);
}

int CZTOptionsDialog::Twips(const QDoubleSpinBox* box) const {
    return int(std::lround(box->value() * (shownUnit_ == 0 ? kTwipsPerCm : kTwipsPerInch)));
}

void CZTOptionsDialog::Apply() {
    const CZTPreferences before = live_;
    if (dirty_[0]) {
        live_.tlb = toolBar->isChecked();
        live_.trb = treeBar->isChecked();
        live_.edb = editBar->isChecked();
        live_.plb = pageBar->isChecked();
        live_.rulerBar = ruler->isChecked();
        live_.slb = fontBar->isChecked();
        live_.lkb = navBar->isChecked();
        live_.stb = statusBar->isChecked();
        live_.tb = tipsBar->isChecked();
        live_.viewTitle = viewTitles->isChecked();
    }
    if (dirty_[1]) {
        live_.trayIcon = tray->isChecked();
        live_.mode = modeNone->isChecked() ? 0 : modeCurrent->isChecked() ? 1 : 2;
    }
    if (dirty_[2]) {
        live_.drag = dragSubtree->isChecked() ? 0 : 1;
        live_.caption = dragCaption->isChecked();
    }
    if (dirty_[3]) {
        live_.autoLink = autoLink->isChecked();
        live_.autoWord = autoWord->isChecked();
        live_.autoSave = autoSave->isChecked();
    }
    if (dirty_[4]) {
        live_.rulerUnit = shownUnit_;
        live_.marginLeft = Twips(marginLeft);
        live_.marginTop = Twips(marginTop);
        live_.marginRight = Twips(marginRight);
        live_.marginBot = Twips(marginBottom);
        live_.indent = Twips(indent);
    }
    if (dirty_[5]) {
        live_.alarmImpRoot = impRoot->isChecked();
        live_.alarmImpPage = impPage->isChecked();
        live_.alarmExpRoot = expRoot->isChecked();
        live_.alarmExpPage = expPage->isChecked();
        live_.alarmOpenAll = openAll->isChecked();
        live_.alarmOpenOld = openOld->isChecked();
        live_.alarmSnd = sound->isChecked();
        live_.alarmSndCmd = soundCommand->text().trimmed();
    }
    const bool mailChanged = dirty_[6] && mail_.prefs;
    for (bool& d : dirty_) d = false;
    buttons_->button(QDialogButtonBox::Apply)->setEnabled(false);
    if (mailChanged) ApplyMail();
    if (apply_) apply_(before);
}

void CZTOptionsDialog::accept() {
    Apply();
    QDialog::accept();
}

} // namespace zt::ui
