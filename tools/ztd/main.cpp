// ztd: the headless face of Zettrix. Reads and changes documents from the
// command line. Titles and names are UTF-8 on the command line and in the
// output; pages are named by their link path (for example /Projekte/Kap%2E2).
//
// Exit status: 0 success, 1 usage error, 2 document error.

#include "ztd.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace ztd;

namespace {

// Options that take a value.
const char* kValueOptions[] = {"--text-file", "--name", "--as", "--change", "--add", "--remove", "-o", "--doc", "--repeat", "--mail", "--recipient"};

bool ParseArgs(int argc, char** argv, Args& args) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            bool takesValue = false;
            for (const char* v : kValueOptions)
                if (a == v) takesValue = true;
            if (takesValue) {
                if (i + 1 >= argc) return false;
                args.options[a] = argv[++i];
            } else {
                args.options[a] = "";
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return true;
}

void PrintUsage(const std::vector<Command>& commands, FILE* out) {
    std::fputs("Aufruf: ztd BEFEHL DOKUMENT [ARGUMENTE]\n", out);
    for (const auto& c : commands) std::fprintf(out, "  %s\n", c.usage);
    std::fputs("Optionen: --yes beantwortet Rückfragen mit Ja.\n", out);
    std::fputs("Verschlüsselte Dokumente: --name NAME, das Passwort aus ZT_PASSWORD oder vom Terminal.\n", out);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Command> commands;
    AddDocumentCommands(commands);
    AddCryptoCommands(commands);
    AddHistoryCommands(commands);
    AddReminderCommands(commands);

    Args args;
    const bool help = ParseArgs(argc, argv, args) && (args.Has("--help") || args.Has("-h"));
    if (help) {
        PrintUsage(commands, stdout);
        return kOk;
    }
    const Command* command = nullptr;
    for (const auto& c : commands)
        if (!args.positional.empty() && args.positional[0] == c.name) command = &c;
    if (!command || int(args.positional.size()) - 1 < command->minArgs) {
        PrintUsage(commands, stderr);
        return kUsage;
    }
    Context context;
    context.prompter.assumeYes = args.Has("--yes");
    context.prompter.hasName = args.Has("--name");
    context.prompter.name = args.Get("--name");
    int rc = command->run(context, args);
    if (rc == kUsage) PrintUsage(commands, stderr);
    return rc;
}
