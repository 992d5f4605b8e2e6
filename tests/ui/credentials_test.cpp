// The credentials prompt of the desktop program, and opening an encrypted
// document through it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "core/document.h"
#include "support/tempdir.h"
#include "ui/credentialsdialog.h"
#include "ui/qtprompter.h"

using namespace zt::ui;

namespace {

// Fills the credentials dialog that is about to open, then presses OK.
void AnswerNextDialog(const QString& name, const QString& password) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<CCredentialsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>(QStringLiteral("name"))->setText(name);
        dialog->findChild<QLineEdit*>(QStringLiteral("password"))->setText(password);
        dialog->accept();
    });
}

// Closes the message box about to open (the wrong-password message).
void CloseNextMessageBox() {
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
}

} // namespace

TEST(CredentialsDialog, OkNeedsNameAndMatchingPasswords) {
    CCredentialsDialog dialog(QStringLiteral("Notizen"), true);
    EXPECT_TRUE(dialog.windowTitle().contains(QStringLiteral("Notizen")));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("name"));
    auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("password"));
    auto* repeat = dialog.findChild<QLineEdit*>(QStringLiteral("repeat"));
    ASSERT_TRUE(name && password && repeat);
    EXPECT_TRUE(repeat->isEnabled());
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    name->setText(QStringLiteral("anna"));
    password->setText(QStringLiteral("geheim"));
    repeat->setText(QStringLiteral("anders"));
    CloseNextMessageBox(); // "Bitte geben Sie einen Nutzernamen und das Passwort ein."
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    repeat->setText(QStringLiteral("geheim"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    // The dialog is wide enough for its title beside the window buttons.
    CCredentialsDialog titled(QStringLiteral("Ein Dokument mit einem recht langen Namen"), false);
    EXPECT_GT(titled.minimumWidth(), titled.fontMetrics().horizontalAdvance(titled.windowTitle()));

    CCredentialsDialog opening(QString(), false);
    EXPECT_FALSE(opening.findChild<QLineEdit*>(QStringLiteral("repeat"))->isEnabled());
}

TEST(CredentialsDialog, EncryptedDocumentOpensThroughThePrompt) {
    zt::test::TempDir dir;
    const std::string path = dir / "geheim.ztd";
    {
        zt::SilentPrompter silent;
        CZTDocument doc(silent);
        doc.SetPageText(doc.AddPage(nullptr, "Seite"), "vertraulich");
        zt::CZtCredentials credentials;
        credentials.name = "anna";
        credentials.password = "geheim";
        ASSERT_TRUE(doc.Archive().KeyRing().CreateEncryption(credentials));
        doc.SetModified();
        ASSERT_TRUE(doc.Save(path));
    }
    CZTQtPrompter prompter;
    CZTDocument doc(prompter);
    // A wrong password first: the message, then the prompt again.
    AnswerNextDialog(QStringLiteral("anna"), QStringLiteral("falsch"));
    QTimer::singleShot(50, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        // The second prompt keeps the name typed and asks for the password.
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<CCredentialsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("name"))->text(), QStringLiteral("anna"));
            dialog->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("geheim"));
            dialog->accept();
        });
    });
    ASSERT_TRUE(doc.Open(path));
    ASSERT_NE(doc.Tree().FirstRootPage(), nullptr);
    EXPECT_EQ(doc.PageText(doc.Tree().FirstRootPage()), "vertraulich");
}
