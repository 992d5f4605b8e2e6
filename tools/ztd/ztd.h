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
class TerminalPrompter : public zt::Prompter {
public:
    bool assumeYes = false;
    void Message(std::string_view text, Icon icon) override;
    bool AskYesNo(std::string_view text) override;
};

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

// Helpers for output.
std::string JsonString(std::string_view utf8);
std::string U8(std::string_view cp1252);
std::string TimeText(int32_t t);
std::string Hex8(uint32_t v);
bool ReadFileBytes(const std::string& path, std::string& out);

} // namespace ztd
