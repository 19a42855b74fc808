#include "PostCommandLine.h"

#include "CallTimeout.h"

#include <algorithm>
#include <string_view>

namespace {

// One option of the tool. A new option is one more row of the table below and a field of
// TPostCommandLine; the parser and the help text follow the table.
struct TPostOption {
    std::string_view Short; // "-h", or empty
    std::string_view Long;  // "--help"
    std::string_view Value; // the name of its value in the help ("FILE"); empty for a switch
    std::string_view Help;
    void (*Apply)(TPostCommandLine& ACommandLine, std::string_view AValue);
};

constexpr TPostOption Options[] = {
    {"-h", "--help", "", "print this help and exit",
     [](TPostCommandLine& ACommandLine, std::string_view) { ACommandLine.Help = true; }},
    {"", "--version", "", "print the version and exit",
     [](TPostCommandLine& ACommandLine, std::string_view) { ACommandLine.Version = true; }},
    {"", "--timeout", "SECONDS", "give up when the whole call takes longer",
     [](TPostCommandLine& ACommandLine, std::string_view AValue) {
         ACommandLine.Timeout = TimeoutSeconds(AValue);
         if (!ACommandLine.Timeout)
             throw EPostUsage("option '--timeout' needs a number of seconds, not '" +
                              std::string(AValue) + "'");
         ACommandLine.TimeoutText = AValue;
     }},
    {"", "--insecure", "", TTlsCommandLine::InsecureHelp,
     [](TPostCommandLine& ACommandLine, std::string_view) { ACommandLine.Tls.Insecure = true; }},
    {"", "--cacert", "FILE", TTlsCommandLine::CaCertHelp,
     [](TPostCommandLine& ACommandLine, std::string_view AValue) {
         ACommandLine.Tls.CaCertFile = AValue;
     }},
    {"", "--pin", TTlsCommandLine::PinValue, TTlsCommandLine::PinHelp,
     [](TPostCommandLine& ACommandLine, std::string_view AValue) {
         try {
             ACommandLine.Tls.Pins.push_back(PinOptionValue(AValue));
         } catch (const std::invalid_argument& E) {
             throw EPostUsage(E.what());
         }
     }},
};

const TPostOption* FindOption(std::string_view AName) {
    for (const TPostOption& option : Options)
        if (AName == option.Long || (!option.Short.empty() && AName == option.Short))
            return &option;
    return nullptr;
}

} // namespace

TPostCommandLine ParsePostCommandLine(std::span<const char* const> AArgs) {
    TPostCommandLine result;
    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < AArgs.size(); ++i) {
        const std::string_view arg = AArgs[i];
        if (optionsEnded || arg.size() < 2 || arg.front() != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" or "--name value" for an option with a value.
        const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
        const std::string_view name = arg.substr(0, equals);
        const TPostOption* option = FindOption(name);
        if (option == nullptr)
            throw EPostUsage("unknown option '" + std::string(name) + "'");
        std::string_view value;
        if (option->Value.empty()) {
            if (equals != std::string_view::npos)
                throw EPostUsage("option '" + std::string(name) + "' takes no value");
        } else if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < AArgs.size()) {
            value = AArgs[++i];
        } else {
            throw EPostUsage("option '" + std::string(name) + "' needs a value");
        }
        option->Apply(result, value);
    }
    if (result.Help || result.Version)
        return result;
    if (operands.empty())
        throw EPostUsage("no URL given");
    result.URL = operands.front();
    for (std::size_t i = 1; i < operands.size(); ++i)
        result.Lines.emplace_back(operands[i]);
    return result;
}

std::string PostUsage() {
    std::string text = "usage: vlcallbench-post [OPTION ...] URL [LINE ...]\n"
                       "Posts the form lines (NAME=VALUE) to URL with the program's HTTP client.\n"
                       "The decoded answer goes to standard output as UTF-8 (exit 0), a line\n"
                       "break added after it only on a terminal. A failure's message goes to\n"
                       "standard error (exit 1): for a refused status, the status line and then\n"
                       "the answer's body. A wrong use exits 2.\n"
                       "An https server's certificate is checked as the window checks it, and\n"
                       "the certificates trusted in the window are trusted here too.\n"
                       "\n"
                       "Options:\n";
    std::size_t width = 0;
    const auto label = [](const TPostOption& AOption) {
        std::string line = AOption.Short.empty() ? "    " : std::string(AOption.Short) + ", ";
        line += AOption.Long;
        if (!AOption.Value.empty()) {
            line += ' ';
            line += AOption.Value;
        }
        return line;
    };
    for (const TPostOption& option : Options)
        width = std::max(width, label(option).size());
    for (const TPostOption& option : Options) {
        const std::string name = label(option);
        text += "  " + name + std::string(width - name.size() + 2, ' ') + std::string(option.Help) +
                "\n";
    }
    text += "  --" + std::string(width, ' ') + "every later argument is the URL or a form line\n";
    return text;
}
