#include "CatalogueJson.h"

#include <cstdio>
#include <string>
#include <string_view>

std::string JsonString(std::string_view AText) {
    std::string out = "\"";
    for (const char c : AText) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
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

void WriteCatalogueJson(std::span<const std::unique_ptr<TCommand>> ACommands, std::ostream& AOut) {
    AOut << "[\n";
    for (std::size_t i = 0; i < ACommands.size(); ++i) {
        const TCommand& entry = *ACommands[i];
        AOut << "  {\"header\": " << (entry.Header ? "true" : "false")
             << ", \"name\": " << JsonString(entry.Name) << ", \"help\": " << JsonString(entry.Help)
             << ", \"vermin\": " << entry.VerMin << ", \"vermax\": " << entry.VerMax;
        if (!entry.Header)
            AOut << ", \"class\": " << JsonString(CommandClassName(entry.Class));
        AOut << ", \"params\": [";
        for (std::size_t p = 0; p < entry.Params.size(); ++p) {
            const TParam& param = *entry.Params[p];
            AOut << (p == 0 ? "\n" : ",\n") << "    {\"name\": " << JsonString(param.Name)
                 << ", \"help\": " << JsonString(param.Help) << ", \"vermin\": " << param.VerMin
                 << ", \"vermax\": " << param.VerMax << "}";
        }
        AOut << (entry.Params.empty() ? "]}" : "\n  ]}")
             << (i + 1 < ACommands.size() ? ",\n" : "\n");
    }
    AOut << "]\n";
}
