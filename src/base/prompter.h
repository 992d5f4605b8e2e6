// The one way in for the user's answers. Libraries never open dialogs: when a
// flow must tell or ask the user something it calls a Prompter, which the GUI
// implements with dialogs, ztd with the terminal and tests with a script.
// All texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace zt {

class CZtKeyObject;

class Prompter {
public:
    enum class Icon { Information, Warning, Error, Question };
    enum class Answer { Yes, No, Cancel };

    virtual ~Prompter() = default;

    // A modal message with an OK button.
    virtual void Message(std::string_view text, Icon icon = Icon::Error) = 0;
    // Yes/No question; true means Yes.
    virtual bool AskYesNo(std::string_view text) = 0;
    // OK/Cancel question; true means OK.
    virtual bool AskOkCancel(std::string_view text) { return AskYesNo(text); }
    // Yes/No/Cancel question. A prompter that cannot offer Cancel answers
    // Yes or No.
    virtual Answer AskYesNoCancel(std::string_view text) { return AskYesNo(text) ? Answer::Yes : Answer::No; }
    // A progress or status text (the status bar); empty clears it.
    virtual void Status(std::string_view text) {}

    // The question for a name and a password (UTF-8). `document` names the
    // document they are for (may be empty); `newEncryption` asks for the
    // password twice, as for a new encryption. False when the user cancels;
    // the caller wipes the answers after use.
    struct CredentialsQuestion {
        std::string document;
        bool newEncryption = false;
        int attempt = 1; // 2, 3, ... after failed attempts
        // Whether a certificate (key file, token) may answer instead of a name
        // and a password.
        bool certificates = false;
    };
    virtual bool AskCredentials(const CredentialsQuestion& question, std::string& name, std::string& password) {
        return false;
    }
    // The certificate chosen with the last answer to AskCredentials instead
    // of a name and a password (from a key file or a token); nullptr when
    // none was. It stays valid until the next question or the prompter goes.
    virtual CZtKeyObject* ChosenKeyObject() { return nullptr; }
};

// Answers every question with a fixed answer and forgets every message.
// Used where no user is present.
class SilentPrompter : public Prompter {
public:
    explicit SilentPrompter(bool answer = false) : answer_(answer) {}
    void Message(std::string_view, Icon) override {}
    bool AskYesNo(std::string_view) override { return answer_; }

private:
    bool answer_;
};

} // namespace zt
