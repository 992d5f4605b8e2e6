// ztd: the headless face of Zettrix. Shared pieces of the commands.
#pragma once

#include "base/prompter.h"
#include "core/document.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zt {
class CZtKeyObject;
class CZtPkcs12Source;
class CZtPkcs11Source;
} // namespace zt

namespace ztd {

constexpr int kOk = 0;
constexpr int kUsage = 1;
constexpr int kDocError = 2;

// Messages go to standard error; questions are asked on the terminal when
// there is one, else answered by --yes (default No).
//
// Credentials of an encrypted document: the name from --name, the password
// from the environment variable ZT_PASSWORD or, when that is unset and a
// terminal is attached, from a prompt without echo. On the terminal a failed
// attempt is asked again; answers from the command line are tried once.
// With --p12 FILE the certificate of that key file answers instead, its
// password from ZT_P12_PASSWORD or a prompt without echo.
class TerminalPrompter : public zt::Prompter {
public:
    TerminalPrompter();
    ~TerminalPrompter() override;
    bool assumeYes = false;
    // Error messages shown so far: commands that go on past a failed item
    // (a file that cannot be read) still end with a failure status.
    int errorsShown = 0;
    std::string name;     // --name
    bool hasName = false;
    std::string keyFile;  // --p12
    std::string module;   // --pkcs11, with --token and --cert
    std::string token, cert;
    void Message(std::string_view text, Icon icon) override;
    bool AskYesNo(std::string_view text) override;
    bool AskCredentials(const CredentialsQuestion& question, std::string& name, std::string& password) override;
    zt::CZtKeyObject* ChosenKeyObject() override { return chosen_; }

    // The credentials last handed out (those the document opened with).
    const std::string& LastName() const { return lastName_; }
    const std::string& LastPassword() const { return lastPassword_; }

private:
    std::string lastName_, lastPassword_;
    std::unique_ptr<zt::CZtPkcs12Source> keySource_;
    std::unique_ptr<zt::CZtPkcs11Source> tokenSource_;
    zt::CZtKeyObject* chosen_ = nullptr;
    // Without a terminal the failure of an encrypted open is told once: how
    // to pass credentials when none were given, else that they are wrong.
    bool credentialsGiven_ = false;
};

// Opens the key file `path` with the password from the environment variable
// `envVar`, else typed on the terminal without echo (asked again after a wrong
// password). Messages go to `prompter`. nullptr when it does not open or holds
// no certificate with its key; otherwise the source, whose first certificate
// goes to `key`.
std::unique_ptr<zt::CZtPkcs12Source> OpenKeyFile(const std::string& path, const char* envVar,
                                                 zt::Prompter& prompter, zt::CZtKeyObject*& key);

// Loads the PKCS#11 driver `module` and picks the first RSA certificate of
// the token labelled `token` (any token when empty) whose label or hex id is
// `cert` (any when empty). With `login` and a token that requires it, the PIN
// comes from ZT_PIN or is typed without echo. nullptr after a message when
// the driver is unusable, nothing fits or the PIN is refused.
std::unique_ptr<zt::CZtPkcs11Source> OpenToken(const std::string& module, const std::string& token,
                                               const std::string& cert, bool login, zt::Prompter& prompter,
                                               zt::CZtKeyObject*& key);

// True when standard input is a terminal.
bool HaveTerminal();
// Reads a line from the terminal after showing `prompt` on standard error;
// without echo when `hidden`. False at the end of input.
bool ReadTerminalLine(const std::string& prompt, bool hidden, std::string& out);

struct Args {
    std::vector<std::string> positional; // positional[0] is the command
    std::map<std::string, std::string> options; // --name value, or "" for flags
    bool Has(const std::string& o) const { return options.count(o) > 0; }
    std::string Get(const std::string& o) const {
        auto it = options.find(o);
        return it == options.end() ? std::string() : it->second;
    }
};

// The state of one run: the prompter and the document.
class Context {
public:
    TerminalPrompter prompter;
    CZTDocument doc{prompter};
    std::string docPath;
    // --verbose: the readers' own details of a failure go to standard error
    // after the user's message.
    bool verbose = false;

    // Prints "Fehler: message" and returns kDocError.
    int Fail(const std::string& message);
    // Opens the document (messages go to standard error).
    bool Open(const std::string& path);
    // The page of a link path given in UTF-8; prints the German message and
    // returns null when there is none.
    CZTPageNode* Page(const std::string& pathUtf8);
    // Saves the document over its file.
    int SaveBack();
};

struct Command {
    const char* name;
    int minArgs; // positional arguments after the command, DOC included
    std::function<int(Context&, const Args&)> run;
    const char* usage; // one line for the help text
    // The options the command takes, separated by spaces ("--json -o"); null:
    // every option its usage line names ("[--json]", "--change|--add").
    // Options of every command: kCommonOptions.
    const char* options = nullptr;
};

// Options every command takes (--yes, --name, --help, --verbose, ...).
extern const char* const kCommonOptions[];
// Whether `command` takes `option`; an unknown option is a usage error.
bool AcceptsOption(const Command& command, const std::string& option);

// Each command file adds its commands.
void AddDocumentCommands(std::vector<Command>& commands);
void AddCryptoCommands(std::vector<Command>& commands);
void AddHistoryCommands(std::vector<Command>& commands);
void AddSearchCommands(std::vector<Command>& commands);
void AddExchangeCommands(std::vector<Command>& commands);
void AddReminderCommands(std::vector<Command>& commands);
void AddPrintCommands(std::vector<Command>& commands);
void AddRemoteCommands(std::vector<Command>& commands);
void AddRunCommands(std::vector<Command>& commands);

// Helpers for output.
std::string JsonString(std::string_view utf8);
std::string U8(std::string_view cp1252);
std::string TimeText(int32_t t);
std::string Hex8(uint32_t v);
bool ReadFileBytes(const std::string& path, std::string& out);

// Writes an output file (-o) through the atomic path of zt::CAtomicFileWriter:
// kOk, or the German reason with "Fehler:" and kDocError.
int WriteOutputFile(Context& c, const std::string& path, std::string_view data);

// Standard output: std::cout is routed through a buffer that writes with
// checks; FinishOutput() flushes it and turns a failed write (a full disk,
// /dev/full) into the German reason and kDocError.
void RouteStandardOutput();
int FinishOutput(int rc);

// Makes the QGuiApplication that fonts and printing need, on the offscreen
// platform unless QT_QPA_PLATFORM names another (nothing without Qt).
void EnsureGuiApplication();

} // namespace ztd
