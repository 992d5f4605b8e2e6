// ztd: the headless face of Zettrix. Shared pieces of the commands.
#pragma once

#include "base/prompter.h"
#include "core/document.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

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
class TerminalPrompter : public zt::Prompter {
public:
    ~TerminalPrompter() override;
    bool assumeYes = false;
    std::string name;     // --name
    bool hasName = false;
    void Message(std::string_view text, Icon icon) override;
    bool AskYesNo(std::string_view text) override;
    bool AskCredentials(const CredentialsQuestion& question, std::string& name, std::string& password) override;

    // The credentials last handed out (those the document opened with).
    const std::string& LastName() const { return lastName_; }
    const std::string& LastPassword() const { return lastPassword_; }

private:
    std::string lastName_, lastPassword_;
};

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
};

// Each command file adds its commands.
void AddDocumentCommands(std::vector<Command>& commands);
void AddCryptoCommands(std::vector<Command>& commands);
void AddHistoryCommands(std::vector<Command>& commands);
void AddReminderCommands(std::vector<Command>& commands);

// Helpers for output.
std::string JsonString(std::string_view utf8);
std::string U8(std::string_view cp1252);
std::string TimeText(int32_t t);
std::string Hex8(uint32_t v);
bool ReadFileBytes(const std::string& path, std::string& out);

} // namespace ztd
