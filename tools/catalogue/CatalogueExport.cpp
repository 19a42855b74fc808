// vlcallbench-catalogue: prints the built-in API catalogue as JSON (default) or as a Markdown
// reference (--markdown).

#include "Catalogue.h"
#include "CatalogueJson.h"

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

namespace {

// Help texts are plain prose: characters that Markdown would read as markup are escaped, and
// inside table cells "|" and line breaks too.
std::string MarkdownText(std::string_view AText, bool ACell) {
    std::string out;
    for (const char c : AText) {
        switch (c) {
        case '\\':
        case '*':
        case '_':
        case '`':
        case '<':
        case '[':
        case ']':
            out += '\\';
            out += c;
            break;
        case '|':
            out += ACell ? "\\|" : "|";
            break;
        case '\n':
        case '\r':
            out += ACell ? ' ' : c;
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string RangeText(Version AVerMin, Version AVerMax) {
    return AVerMax == OpenEnded ? FormatVersion(AVerMin) + "+"
                                : FormatVersion(AVerMin) + " to " + FormatVersion(AVerMax);
}

// The anchor that common Markdown renderers give a heading: lower case, blanks as "-".
std::string Anchor(std::string_view AHeading) {
    std::string out;
    for (const char c : AHeading)
        out += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// One line per group, linking the group and each of its commands.
void PrintContents(const TCommandList& ACommands, std::ostream& AOut) {
    AOut << "\n## Contents\n";
    bool firstInGroup = false;
    for (const auto& entry : ACommands) {
        if (entry->Header) {
            AOut << "\n- [" << entry->Name << "](#" << Anchor(entry->Name) << "):";
            firstInGroup = true;
            continue;
        }
        AOut << (firstInGroup ? " [" : ", [") << entry->Name << "](#" << Anchor(entry->Name) << ")";
        firstInGroup = false;
    }
    AOut << "\n";
}

void PrintMarkdown(const TCommandList& ACommands, std::ostream& AOut) {
    AOut << "# Velvaro server API reference\n\n"
         << "Every command is posted as a form with the fields below. Versions give the first and "
            "last server version that has a command or parameter; \"+\" means every later "
            "version. The first four parameters of every command (`Command`, `Password`, `JSON` "
            "and `Log`) are the standard ones; the command's own parameters follow them.\n";
    PrintContents(ACommands, AOut);
    for (const auto& entry : ACommands) {
        if (entry->Header) {
            AOut << "\n## " << entry->Name << "\n\n" << MarkdownText(entry->Help, false) << "\n";
            continue;
        }
        const std::size_t own = entry->Params.size() > 4 ? entry->Params.size() - 4 : 0;
        AOut << "\n### " << entry->Name << "\n\n"
             << "Versions: " << RangeText(entry->VerMin, entry->VerMax) << "; "
             << (own == 0 ? "no" : std::to_string(own)) << " own parameter" << (own == 1 ? "" : "s")
             << ".\n\n"
             << MarkdownText(entry->Help, false) << "\n\n"
             << "| Parameter | Versions | Help |\n|---|---|---|\n";
        for (const auto& param : entry->Params)
            AOut << "| `" << param->Name << "` | " << RangeText(param->VerMin, param->VerMax)
                 << " | " << MarkdownText(param->Help, true) << " |\n";
    }
}

constexpr std::string_view Usage =
    "usage: vlcallbench-catalogue [--markdown]\n"
    "Prints the built-in API catalogue as JSON, or as a Markdown reference.\n"
    "\n"
    "Options:\n"
    "  --markdown  print a Markdown reference instead of JSON\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the version and exit\n";

} // namespace

int main(int argc, char** argv) {
    bool markdown = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--markdown") {
            markdown = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << Usage << std::flush;
            return std::cout ? 0 : 1;
        } else if (arg == "--version") {
            std::cout << "vlcallbench-catalogue " VL_VERSION "\n" << std::flush;
            return std::cout ? 0 : 1;
        } else {
            std::cerr << "vlcallbench-catalogue: unknown argument '" << arg << "'\n" << Usage;
            return 2;
        }
    }
    TCommandList commands;
    AppendCatalogue(commands);
    if (markdown)
        PrintMarkdown(commands, std::cout);
    else
        WriteCatalogueJson(commands, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
