// The key source dialogs of the program: the key file choice, the password
// dialog, the certificate choice and viewer, the credentials prompt's
// "Zertifikat" road and the command "Ver- und Entschlüsseln". Key files are
// made by openssl, the token is a SoftHSM2 token in a temporary directory,
// and a fake driver stands for one that never answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "base/messages.h"
#include "core/archive.h"
#include "core/document.h"
#include "security/keyring.h"
#include "security/p11modules.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/certificatedialog.h"
#include "ui/commands.h"
#include "ui/credentialsdialog.h"
#include "ui/encryptiondialog.h"
#include "ui/keysource.h"
#include "ui/keysourcedialogs.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"

using namespace zt::ui;
using zt::test::OnNextModal;

namespace {

bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
QString Q(const std::string& s) { return QString::fromStdString(s); }
QString M(zt::Msg id) { return QString::fromUtf8(zt::MessageText(id)); }

// Key files and a certificate made once.
struct Files {
    zt::test::TempDir dir;
    bool ok = false;
};
Files* gFiles = nullptr;

class KeySources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gFiles = new Files;
        const std::string d = gFiles->dir.path();
        auto make = [&](const std::string& stem, const std::string& cn) {
            return Sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "/" + stem + ".key -out " + d + "/" +
                      stem + ".crt -subj '/C=DE/O=Zettrix Test/CN=" + cn + "' -days 30") &&
                   Sh("openssl pkcs12 -export -inkey " + d + "/" + stem + ".key -in " + d + "/" + stem +
                      ".crt -out " + d + "/" + stem + ".p12 -passout pass:geheim") &&
                   Sh("openssl x509 -in " + d + "/" + stem + ".crt -outform DER -out " + d + "/" + stem + ".der");
        };
        gFiles->ok = Sh("command -v openssl") && make("alice", "Alice") && make("bob", "Bob");
    }
    static void TearDownTestSuite() {
        delete gFiles;
        gFiles = nullptr;
    }
    void SetUp() override {
        if (!gFiles->ok) GTEST_SKIP() << "openssl could not make the key files";
        CZTSettings::Open()->clear();
        settings.Load();
        CKeyFileDialog::browseHook = nullptr;
    }
    void TearDown() override {
        CKeyFileDialog::browseHook = nullptr;
        CZTKeySourceHolder::callTimeoutMs = 30000;
        frame.reset();
    }
    static std::string File(const std::string& name) { return gFiles->dir / name; }

    std::unique_ptr<CMainFrame> MakeFrame() {
        auto f = std::make_unique<CMainFrame>(settings);
        f->show();
        QTest::qWaitForWindowExposed(f.get());
        return f;
    }

    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
};

// Answers the key file dialog (the list's last entry), the password dialog
// and the certificate choice (its first entry) when they open, in turn;
// `seen` collects the certificate choice's texts.
void AnswerKeyFile(const QString& password, QStringList* seen = nullptr, std::function<void()> then = {}) {
    OnNextModal<CKeyFileDialog>([=](CKeyFileDialog* d) {
        EXPECT_FALSE(d->IsPkcs11());
        OnNextModal<CPasswordDialog>([=](CPasswordDialog* p) {
            EXPECT_EQ(p->windowTitle(), QStringLiteral("Passwort Dialog"));
            p->findChild<QLineEdit*>(QStringLiteral("password"))->setText(password);
            OnNextModal<CCertificateChoiceDialog>([=](CCertificateChoiceDialog* c) {
                EXPECT_EQ(c->windowTitle(), QStringLiteral("Zertifikatsauswahl"));
                auto* combo = c->findChild<QComboBox*>(QStringLiteral("certificates"));
                if (seen)
                    for (int i = 0; i < combo->count(); ++i) seen->append(combo->itemText(i));
                if (then) then();
                QTimer::singleShot(0, c, &QDialog::accept);
            });
            QTimer::singleShot(0, p, &QDialog::accept);
        });
        QTimer::singleShot(0, d, &QDialog::accept);
    });
}

// Presses "Zertifikat" in the credentials prompt once it shows.
void ChooseCertificateInPrompt(bool* shown = nullptr) {
    OnNextModal<CCredentialsDialog>([=](CCredentialsDialog* d) {
        if (shown) *shown = true;
        auto* button = d->findChild<QPushButton*>(QStringLiteral("certificate"));
        EXPECT_TRUE(button->isEnabled());
        QTimer::singleShot(0, button, &QPushButton::click);
    });
}

// Accepts the next message box and records its text.
void CloseNextMessage(QStringList* texts, std::function<void()> then = {}) {
    OnNextModal<QMessageBox>([=](QMessageBox* box) {
        texts->append(box->text());
        if (then) then();
        QTimer::singleShot(0, box, &QDialog::accept);
    });
}

TEST_F(KeySources, KeyFileDialogFollowsTheEndingsAndDropsMissingFiles) {
    zt::test::ScriptedPrompter prompter;
    const QString p12 = Q(File("alice.p12")), missing = Q(File("gone.p12"));
    const std::vector<zt::CZtP11Module> modules{{"softhsm2", "/usr/lib/softhsm/libsofthsm2.so"}};
    CKeyFileDialog d({missing, p12}, modules, prompter);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Zettrix: Schlüsseldatei wählen"));
    auto* combo = d.findChild<QComboBox*>(QStringLiteral("keyfile"));
    auto* box = d.findChild<QCheckBox*>(QStringLiteral("pkcs11"));
    ASSERT_EQ(combo->count(), 3); // the list, then p11-kit's module
    EXPECT_EQ(d.Path(), p12);     // the last entry of the list
    EXPECT_FALSE(d.IsPkcs11());
    EXPECT_TRUE(combo->itemText(2).contains(QStringLiteral("softhsm2")));

    // Endings: ".so" (also versioned) sets the box, ".pfx"/".p12" clear it,
    // others and short paths leave it.
    struct Case {
        const char* path;
        bool before, after;
    };
    for (const Case& c : {Case{"/x/libtoken.so", false, true}, Case{"/x/libtoken.so.2", false, true},
                          Case{"/x/key.PFX", true, false}, Case{"/x/key.p12", true, false},
                          Case{"/x/key.txt", true, true}, Case{"/x/key.txt", false, false}, Case{"a.so", false, false}}) {
        box->setChecked(c.before);
        d.CheckFromEnding(QString::fromLatin1(c.path));
        EXPECT_EQ(box->isChecked(), c.after) << c.path;
    }

    // Choosing the missing file removes it, selects the first remaining and says so.
    emit combo->activated(0);
    EXPECT_EQ(prompter.messages.back(), zt::MessageText(zt::Msg::KeyFileMissing));
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(d.Path(), p12);
    EXPECT_EQ(d.KeyFiles(), QStringList{p12});

    // "Durchsuchen": a new file is added and selected; a known one selected.
    const QString bob = Q(File("bob.p12"));
    CKeyFileDialog::browseHook = [&](QWidget*, const QString& filter) {
        EXPECT_TRUE(filter.contains(QStringLiteral("PKCS#11 Modul (*.so)")));
        return bob;
    };
    box->setChecked(true);
    d.Browse();
    EXPECT_EQ(d.Path(), bob);
    EXPECT_FALSE(d.IsPkcs11());
    CKeyFileDialog::browseHook = [&](QWidget*, const QString&) { return p12; };
    d.Browse();
    EXPECT_EQ(d.Path(), p12);
    EXPECT_EQ(combo->count(), 3);
    // OK puts the choice last, so it is selected next time; the list is stored in order.
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.KeyFiles(), (QStringList{bob, p12}));
    CZTKeySourceHolder::SaveKeyFileList({p12, bob, missing});
    CZTKeySourceHolder::SaveKeyFileList(d.KeyFiles());
    EXPECT_EQ(CZTKeySourceHolder::LoadKeyFileList(), (QStringList{bob, p12}));
    auto s = CZTSettings::Open();
    EXPECT_EQ(s->value(QStringLiteral("P11P12/File2"), QStringLiteral("x")).toString(), QString());
    EXPECT_FALSE(s->contains(QStringLiteral("P11P12/File3")));
}

TEST_F(KeySources, CertificateViewerShowsTheFacts) {
    const std::string der = zt::test::ReadFile(File("alice.der"));
    CCertificateDialog viewer(QByteArray(der.data(), qsizetype(der.size())));
    ASSERT_TRUE(viewer.Valid());
    EXPECT_EQ(viewer.Field(QStringLiteral("Inhaber")), QStringLiteral("CN=Alice,O=Zettrix Test,C=DE"));
    EXPECT_EQ(viewer.Field(QStringLiteral("Schlüssel")), QStringLiteral("RSA, 2048 Bit"));
    EXPECT_EQ(viewer.Field(QStringLiteral("SHA-256")).remove(QLatin1Char('\n')).size(), 32 * 3 - 1);
    CCertificateDialog broken(QByteArray("not a certificate"));
    EXPECT_FALSE(broken.Valid());

    // The choice's "Ansehen" opens it for the selected entry; OK without
    // an entry says that nothing is chosen.
    zt::test::ScriptedPrompter prompter;
    CCertificateChoiceDialog choice({{QStringLiteral("CN=Alice"), QByteArray(der.data(), qsizetype(der.size())), 4}},
                                    prompter);
    QString shown;
    OnNextModal<CCertificateDialog>([&](CCertificateDialog* v) {
        shown = v->Field(QStringLiteral("Inhaber"));
        QTimer::singleShot(0, v, &QDialog::reject);
    });
    choice.findChild<QPushButton*>(QStringLiteral("view"))->click();
    EXPECT_EQ(shown, QStringLiteral("CN=Alice,O=Zettrix Test,C=DE"));
    choice.accept();
    EXPECT_EQ(choice.Chosen(), 4u);
    CCertificateChoiceDialog none({}, prompter);
    none.accept();
    EXPECT_NE(none.result(), QDialog::Accepted);
    EXPECT_EQ(prompter.messages.back(), zt::MessageText(zt::Msg::CertificateNoSelection));
}

TEST_F(KeySources, EncryptionDialogRules) {
    zt::test::ScriptedPrompter prompter;
    CEncryptionDialog d(prompter, true);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Ver- und Entschlüsseln"));
    auto field = [&](const char* name) { return d.findChild<QLineEdit*>(QString::fromLatin1(name)); };
    auto* removeAll = d.findChild<QCheckBox*>(QStringLiteral("removeAll"));
    auto* remove = d.findChild<QRadioButton*>(QStringLiteral("remove"));
    auto* add = d.findChild<QRadioButton*>(QStringLiteral("add"));
    EXPECT_TRUE(d.findChild<QPushButton*>(QStringLiteral("oldCertificate"))->isEnabled());

    // Without the present name and password nothing goes.
    d.accept();
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(prompter.messages.back(), zt::MessageText(zt::Msg::CredentialsIncomplete));
    field("oldName")->setText(QStringLiteral("anna"));
    field("oldPassword")->setText(QStringLiteral("alt"));
    // A new group partly filled is refused; "Name löschen" needs no password.
    add->setChecked(true);
    field("newName")->setText(QStringLiteral("bert"));
    field("newPassword")->setText(QStringLiteral("neu"));
    field("newRepeat")->setText(QStringLiteral("anders"));
    prompter.messages.clear();
    d.accept();
    EXPECT_EQ(prompter.messages.size(), 1u);
    remove->setChecked(true);
    EXPECT_FALSE(field("newPassword")->isEnabled());
    EXPECT_FALSE(field("newRepeat")->isEnabled());
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.ChosenAction(), CEncryptionDialog::Action::Remove);
    EXPECT_EQ(d.NewCredentials().name, "bert");

    // Removing all encryption disables the new group, selects "Name löschen"
    // and empties the new fields on OK.
    CEncryptionDialog all(prompter, false);
    EXPECT_FALSE(all.findChild<QPushButton*>(QStringLiteral("oldCertificate"))->isEnabled());
    all.findChild<QLineEdit*>(QStringLiteral("oldName"))->setText(QStringLiteral("anna"));
    all.findChild<QLineEdit*>(QStringLiteral("oldPassword"))->setText(QStringLiteral("alt"));
    all.findChild<QLineEdit*>(QStringLiteral("newName"))->setText(QStringLiteral("x"));
    all.findChild<QCheckBox*>(QStringLiteral("removeAll"))->setChecked(true);
    EXPECT_TRUE(all.findChild<QRadioButton*>(QStringLiteral("remove"))->isChecked());
    EXPECT_FALSE(all.findChild<QLineEdit*>(QStringLiteral("newName"))->isEnabled());
    all.accept();
    EXPECT_EQ(all.result(), QDialog::Accepted);
    EXPECT_TRUE(all.RemoveAll());
    EXPECT_TRUE(all.NewCredentials().name.empty());
    EXPECT_FALSE(removeAll->isChecked());
}

// The whole road: "Ver- und Entschlüsseln" encrypts the document to the key
// file's certificate, the saved file opens again with the file and its
// password, a wrong password or another certificate leaves it closed, and the
// command then removes the encryption with the certificate as the present
// credentials.
TEST_F(KeySources, DocumentEncryptedToKeyFileCertificateOpensWithIt) {
    zt::test::TempDir dir;
    const QString path = Q(dir / "geheim.ztd");
    CZTKeySourceHolder::SaveKeyFileList({Q(File("bob.p12")), Q(File("alice.p12"))});
    frame = MakeFrame();
    CZTDocument& doc = frame->Document();
    doc.SetPageText(doc.AddPage(nullptr, "Seite"), "vertraulich");
    ASSERT_TRUE(frame->IsCommandEnabled(ID_ENCRYPTION));

    QStringList offered;
    bool prompted = false;
    ChooseCertificateInPrompt(&prompted);
    AnswerKeyFile(QStringLiteral("geheim"), &offered);
    frame->Execute(ID_ENCRYPTION);
    ASSERT_TRUE(prompted);
    EXPECT_EQ(offered, QStringList{QStringLiteral("CN=Alice,O=Zettrix Test,C=DE")});
    ASSERT_EQ(doc.Archive().KeyRing().State(), zt::CZtKeyRing::kUnlocked);
    EXPECT_TRUE(doc.IsModified());
    ASSERT_TRUE(frame->SaveDocumentTo(path));
    EXPECT_EQ(CZTKeySourceHolder::LoadKeyFileList().last(), Q(File("alice.p12")));

    // A wrong key file password: the message, the prompt stays; then cancel.
    QStringList messages;
    frame->NewDocument();
    OnNextModal<CCredentialsDialog>([&](CCredentialsDialog* d) {
        OnNextModal<CKeyFileDialog>([&](CKeyFileDialog* k) {
            OnNextModal<CPasswordDialog>([&](CPasswordDialog* p) {
                p->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("falsch"));
                CloseNextMessage(&messages, [&] {
                    // Back in the prompt: give up; the open then says the document stays closed.
                    OnNextModal<CCredentialsDialog>([&](CCredentialsDialog* again) {
                        CloseNextMessage(&messages);
                        QTimer::singleShot(0, again, &QDialog::reject);
                    });
                });
                QTimer::singleShot(0, p, &QDialog::accept);
            });
            QTimer::singleShot(0, k, &QDialog::accept);
        });
        QTimer::singleShot(0, d->findChild<QPushButton*>(QStringLiteral("certificate")), &QPushButton::click);
    });
    EXPECT_FALSE(frame->OpenDocument(path));
    ASSERT_GE(messages.size(), 1);
    EXPECT_EQ(messages[0], M(zt::Msg::KeyFileWrongPassword));
    EXPECT_NE(frame->DocumentPath(), path);

    // Another key file's certificate does not open it: the prompt comes
    // again; cancelling leaves the document closed.
    CZTKeySourceHolder::SaveKeyFileList({Q(File("alice.p12")), Q(File("bob.p12"))});
    bool askedAgain = false;
    messages.clear();
    ChooseCertificateInPrompt();
    AnswerKeyFile(QStringLiteral("geheim"), nullptr, [&] {
        OnNextModal<CCredentialsDialog>([&](CCredentialsDialog* d) {
            askedAgain = true;
            CloseNextMessage(&messages);
            QTimer::singleShot(0, d, &QDialog::reject);
        });
    });
    EXPECT_FALSE(frame->OpenDocument(path));
    EXPECT_TRUE(askedAgain);
    EXPECT_NE(frame->DocumentPath(), path);
    EXPECT_EQ(frame->Document().Archive().KeyRing().State(), zt::CZtKeyRing::kUnencrypted);

    // Alice's opens it.
    CZTKeySourceHolder::SaveKeyFileList({Q(File("bob.p12")), Q(File("alice.p12"))});
    ChooseCertificateInPrompt();
    AnswerKeyFile(QStringLiteral("geheim"));
    ASSERT_TRUE(frame->OpenDocument(path));
    CZTDocument& opened = frame->Document();
    ASSERT_NE(opened.Tree().FirstRootPage(), nullptr);
    ASSERT_NE(opened.Tree().FirstRootPage()->NextSibling(), nullptr); // after the new document's "Neuer Eintrag"
    EXPECT_EQ(opened.PageText(opened.Tree().FirstRootPage()->NextSibling()), "vertraulich");
    EXPECT_EQ(opened.Archive().KeyRing().State(), zt::CZtKeyRing::kUnlocked);

    // "Ver- und Entschlüsseln" with Alice's certificate as the present
    // credentials removes all encryption.
    OnNextModal<CEncryptionDialog>([&](CEncryptionDialog* d) {
        AnswerKeyFile(QStringLiteral("geheim"));
        d->ChooseOldCertificate();
        EXPECT_EQ(d->findChild<QLabel*>(QStringLiteral("oldSubject"))->text(),
                  QStringLiteral("CN=Alice,O=Zettrix Test,C=DE"));
        d->findChild<QCheckBox*>(QStringLiteral("removeAll"))->setChecked(true);
        QTimer::singleShot(0, d, &QDialog::accept);
    });
    frame->Execute(ID_ENCRYPTION);
    EXPECT_FALSE(opened.Archive().IsEncrypted());
    EXPECT_TRUE(opened.IsModified());
}

#ifdef ZT_FAKE_P11
// A driver that never answers costs the call timeout, keeps the window
// drawn meanwhile (timers run) and is given up with its message.
TEST_F(KeySources, HangingDriverIsGivenUpWithItsMessage) {
    setenv("ZT_FAKE_P11_HANG", "slots", 1);
    CZTKeySourceHolder::callTimeoutMs = 400;
    zt::test::ScriptedPrompter prompter;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    CZTKeySourceHolder holder;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(holder.ChooseKeyObject(nullptr, prompter, true, QStringLiteral(ZT_FAKE_P11), true), nullptr);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GT(ticks, 3);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], zt::FormatMessage(zt::Msg::Pkcs11TimedOut, {ZT_FAKE_P11, "1"}));
    unsetenv("ZT_FAKE_P11_HANG");
    // A file that is no driver: the driver message with the reason.
    prompter.messages.clear();
    EXPECT_EQ(holder.ChooseKeyObject(nullptr, prompter, true, Q(File("alice.der")), true), nullptr);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].rfind(zt::FormatMessage(zt::Msg::Pkcs11DriverUnusable, {File("alice.der")}), 0), 0u);
}
#endif

// A SoftHSM2 token: the certificate choice lists its certificate with the
// token's label, the PIN is asked with the password dialog; a wrong PIN gives
// the password message and no key.
TEST_F(KeySources, TokenCertificateAfterThePin) {
    const char* module = "/usr/lib/softhsm/libsofthsm2.so";
    if (!std::filesystem::exists(module) || !Sh("command -v softhsm2-util") || !Sh("command -v pkcs11-tool"))
        GTEST_SKIP() << "softhsm2 or opensc (pkcs11-tool) is not installed";
    zt::test::TempDir dir;
    const std::string d = dir.path();
    zt::test::WriteFile(d + "/softhsm2.conf", "directories.tokendir = " + d + "/tokens\nobjectstore.backend = file\n");
    std::filesystem::create_directory(d + "/tokens");
    setenv("SOFTHSM2_CONF", (d + "/softhsm2.conf").c_str(), 1);
    const std::string tool = std::string("pkcs11-tool --module ") + module + " --token-label ZtUi --login --pin 1234 ";
    ASSERT_TRUE(Sh("softhsm2-util --init-token --free --label ZtUi --pin 1234 --so-pin 5678"));
    ASSERT_TRUE(Sh("openssl pkcs8 -topk8 -nocrypt -in " + File("alice.key") + " -outform DER -out " + d + "/a.p8"));
    ASSERT_TRUE(Sh(tool + "--write-object " + d + "/a.p8 --type privkey --id 01 --label alice"));
    ASSERT_TRUE(Sh(tool + "--write-object " + File("alice.der") + " --type cert --id 01 --label alice"));

    for (const char* pin : {"9999", "1234"}) {
        SCOPED_TRACE(pin);
        zt::test::ScriptedPrompter prompter;
        QString offered;
        OnNextModal<CCertificateChoiceDialog>([&](CCertificateChoiceDialog* c) {
            offered = c->findChild<QComboBox*>(QStringLiteral("certificates"))->currentText();
            OnNextModal<CPasswordDialog>([&](CPasswordDialog* p) {
                p->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QString::fromLatin1(pin));
                QTimer::singleShot(0, p, &QDialog::accept);
            });
            QTimer::singleShot(0, c, &QDialog::accept);
        });
        CZTKeySourceHolder holder;
        zt::CZtKeyObject* key = holder.ChooseKeyObject(nullptr, prompter, true, QString::fromLatin1(module), true);
        EXPECT_EQ(offered, QStringLiteral("CN=Alice,O=Zettrix Test,C=DE [ZtUi]"));
        if (std::string(pin) == "1234") {
            ASSERT_NE(key, nullptr);
            EXPECT_TRUE(prompter.messages.empty());
            // The token key opens a block made for the key file of the same pair.
            zt::CZtKeyRing ring;
            ASSERT_TRUE(ring.CreateEncryption({"", "", key}));
            zt::CZtKeyRing again;
            ASSERT_EQ(again.LoadKeyArea(ring.KeyArea()), 0);
            EXPECT_TRUE(again.Unlock({"", "", key}));
        } else {
            EXPECT_EQ(key, nullptr);
            ASSERT_EQ(prompter.messages.size(), 1u);
            EXPECT_EQ(prompter.messages[0], zt::MessageText(zt::Msg::KeyFileWrongPassword));
        }
    }
    unsetenv("SOFTHSM2_CONF");
}

} // namespace
