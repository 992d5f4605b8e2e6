// ztd: the headless face of Zettrix. Reads and changes documents from the
// command line. Titles and names are UTF-8 on the command line and in the
// output; pages are named by their link path (for example /Projekte/Kap%2E2).
//
// Exit status: 0 success, 1 usage error, 2 document error.

#include "ztd.h"

#include "base/fileio.h"
#include "base/messages.h"

#include <cerrno>

#include <cstdio>
#include <iostream>
#include <new>
#include <cstring>
#include <string>

using namespace ztd;

namespace {

// Options that take a value.
const char* kValueOptions[] = {"--text-file", "--name", "--as", "--change", "--add", "--remove", "-o", "--doc",
                              "--p12", "--change-p12", "--add-p12", "--remove-p12",
                              "--pkcs11", "--token", "--cert", "--change-pkcs11", "--add-pkcs11",
                              "--remove-pkcs11",
                              // export and import
                              "--dir", "--zip", "--zt-dir", "--ztd", "--format", "--content", "--binary", "--timeout",
                              // reminders
                              "--repeat", "--mail", "--recipient",
                              // print
                              "--header", "--footer",
                              // server documents
                              "--url", "--user"};

// A command-line problem found while parsing (printed with exit 1).
std::string gArgError;

bool ParseArgs(int argc, char** argv, Args& args) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            bool takesValue = false;
            for (const char* v : kValueOptions)
                if (a == v) takesValue = true;
            // "--html" and "--text" are flags of cat but name files for export
            // and import; import takes every following argument as a file.
            const bool exchange = !args.positional.empty() &&
                                  (args.positional[0] == "export" || args.positional[0] == "import");
            if (exchange && (a == "--html" || a == "--text")) {
                if (i + 1 >= argc) {
                    gArgError = zt::FormatMessage(zt::Msg::OptionNeedsValue, {a});
                    return false;
                }
                std::string value = argv[++i];
                if (a == "--text" && args.positional[0] == "import")
                    while (i + 1 < argc && argv[i + 1][0] != '-') value += std::string(1, '\0') + argv[++i];
                args.options[a] = value;
                continue;
            }
            if (takesValue) {
                if (i + 1 >= argc) {
                    gArgError = zt::FormatMessage(zt::Msg::OptionNeedsValue, {a});
                    return false;
                }
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
    std::fputs("Optionen: --yes beantwortet Rückfragen mit Ja; --version zeigt die Version.\n", out);
    std::fputs("Verschlüsselte Dokumente: --name NAME, das Passwort aus ZT_PASSWORD oder vom Terminal.\n", out);
    std::fputs("  oder --p12 DATEI (PKCS#12 Schlüsseldatei), ihr Passwort aus ZT_P12_PASSWORD oder vom Terminal,\n", out);
    std::fputs("  oder --pkcs11 MODUL [--token NAME] [--cert NAME|ID], die PIN aus ZT_PIN oder vom Terminal.\n", out);
}

// Help and version go out through stdio: a failed write is an error too.
int StdioDone() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return kOk;
    std::fprintf(stderr, "Fehler: %s\n",
                 zt::FormatMessage(zt::Msg::OutputWriteFailed, {zt::SystemErrorText(errno ? errno : EIO)}).c_str());
    return kDocError;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Command> commands;
    AddDocumentCommands(commands);
    AddCryptoCommands(commands);
    AddHistoryCommands(commands);
#ifdef ZT_HAVE_SEARCH
    AddSearchCommands(commands);
#endif
    AddExchangeCommands(commands);
    AddReminderCommands(commands);
#ifdef ZT_HAVE_PRINT
    AddPrintCommands(commands);
#endif
#ifdef ZT_HAVE_REMOTE
    AddRemoteCommands(commands);
#endif
#ifdef ZT_HAVE_SCRIPT
    AddRunCommands(commands);
#endif

    Args args;
    const bool parsed = ParseArgs(argc, argv, args);
    if (parsed && (args.Has("--help") || args.Has("-h"))) {
        PrintUsage(commands, stdout);
        return StdioDone();
    }
    if (parsed && args.Has("--version") && args.positional.empty()) {
        std::printf("ztd %s\n", ZT_VERSION);
        return StdioDone();
    }
    if (!parsed) {
        std::fprintf(stderr, "%s\n", gArgError.c_str());
        return kUsage;
    }
    const Command* command = nullptr;
    for (const auto& c : commands)
        if (!args.positional.empty() && args.positional[0] == c.name) command = &c;
    if (!command && !args.positional.empty()) {
        std::fprintf(stderr, "%s\n", zt::FormatMessage(zt::Msg::UnknownCommand, {args.positional[0]}).c_str());
        return kUsage;
    }
    if (!command || int(args.positional.size()) - 1 < command->minArgs) {
        PrintUsage(commands, stderr);
        return kUsage;
    }
    for (const auto& [option, value] : args.options)
        if (!AcceptsOption(*command, option)) {
            std::fprintf(stderr, "%s\n", zt::FormatMessage(zt::Msg::UnknownOption, {option, command->name}).c_str());
            return kUsage;
        }
    Context context;
    context.prompter.assumeYes = args.Has("--yes");
    context.verbose = args.Has("--verbose");
    context.prompter.hasName = args.Has("--name");
    context.prompter.name = args.Get("--name");
    context.prompter.keyFile = args.Get("--p12");
    context.prompter.module = args.Get("--pkcs11");
    context.prompter.token = args.Get("--token");
    context.prompter.cert = args.Get("--cert");
    RouteStandardOutput();
    int rc = kDocError;
    try {
        rc = command->run(context, args);
    } catch (const std::bad_alloc&) {
        std::cerr << "Fehler: " << zt::MessageText(zt::Msg::OutOfMemory) << "\n";
        rc = kDocError;
    }
    if (rc == kUsage) PrintUsage(commands, stderr);
    return FinishOutput(rc);
}
