// vlcallbench-catalogue: prints the built-in API catalogue as JSON (default) or as a Markdown
// reference (--markdown).

#include "Catalogue.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

namespace {

std::string JsonString(std::string_view AText) {
    std::string out = "\"";
    for (const char c : AText) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
                out += escape;
            } else {
                out += c; // UTF-8 passes through unchanged
            }
        }
    }
    return out + "\"";
}

void PrintJson(const TCommandList& ACommands, std::ostream& AOut) {
    AOut << "[\n";
    for (std::size_t i = 0; i < ACommands.size(); ++i) {
        const TCommand& entry = *ACommands[i];
        AOut << "  {\"header\": " << (entry.Header ? "true" : "false")
             << ", \"name\": " << JsonString(entry.Name) << ", \"help\": " << JsonString(entry.Help)
             << ", \"vermin\": " << entry.VerMin << ", \"vermax\": " << entry.VerMax
             << ", \"params\": [";
        for (std::size_t p = 0; p < entry.Params.size(); ++p) {
            const TParam& param = *entry.Params[p];
            AOut << (p == 0 ? "\n" : ",\n") << "    {\"name\": " << JsonString(param.Name)
                 << ", \"help\": " << JsonString(param.Help) << ", \"vermin\": " << param.VerMin
                 << ", \"vermax\": " << param.VerMax << "}";
        }
        AOut << (entry.Params.empty() ? "]}" : "\n  ]}") << (i + 1 < ACommands.size() ? ",\n" : "\n");
    }
    AOut << "]\n";
}

// Table cells may not hold "|" or line breaks.
std::string MarkdownCell(std::string_view AText) {
    std::string out;
    for (const char c : AText) {
        if (c == '|')
            out += "\\|";
        else if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c;
    }
    return out;
}

std::string RangeText(Version AVerMin, Version AVerMax) {
    return AVerMax == OpenEnded ? FormatVersion(AVerMin) + "+"
                                : FormatVersion(AVerMin) + " to " + FormatVersion(AVerMax);
}

void PrintMarkdown(const TCommandList& ACommands, std::ostream& AOut) {
    AOut << "# Velvaro server API reference\n\n"
         << "Every command is posted as a form with the fields below. Versions give the first and "
            "last server version that has a command or parameter; \"+\" means every later "
            "version.\n";
    for (const auto& entry : ACommands) {
        if (entry->Header) {
            AOut << "\n## " << entry->Name << "\n\n" << entry->Help << "\n";
            continue;
        }
        AOut << "\n### " << entry->Name << "\n\n"
             << "Versions: " << RangeText(entry->VerMin, entry->VerMax) << "\n\n"
             << entry->Help << "\n\n"
             << "| Parameter | Versions | Help |\n|---|---|---|\n";
        for (const auto& param : entry->Params)
            AOut << "| `" << param->Name << "` | " << RangeText(param->VerMin, param->VerMax)
                 << " | " << MarkdownCell(param->Help) << " |\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    bool markdown = false;
    if (argc == 2 && std::string_view(argv[1]) == "--markdown") {
        markdown = true;
    } else if (argc != 1) {
        std::cerr << "usage: vlcallbench-catalogue [--markdown]\n"
                     "Prints the built-in API catalogue as JSON, or as a Markdown reference.\n";
        return 2;
    }
    TCommandList commands;
    AppendCatalogue(commands);
    if (markdown)
        PrintMarkdown(commands, std::cout);
    else
        PrintJson(commands, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
