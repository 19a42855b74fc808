#include "CatalogueText.h"

#include "CallArguments.h"

#include <algorithm>
#include <vector>

namespace {

// Words of AText laid out in lines of at most AWidth characters (a longer word stands alone).
std::vector<std::string> Wrap(const std::string& AText, std::size_t AWidth) {
    std::vector<std::string> lines(1);
    std::size_t start = 0;
    while (start < AText.size()) {
        const std::size_t blank = AText.find_first_of(" \n", start);
        const std::size_t end = blank == std::string::npos ? AText.size() : blank;
        const std::string word = AText.substr(start, end - start);
        start = end + 1;
        if (word.empty())
            continue;
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > AWidth)
            lines.emplace_back();
        if (!lines.back().empty())
            lines.back() += ' ';
        lines.back() += word;
    }
    return lines;
}

// A row of columns: all but the last padded to their widths, the last wrapped to what remains
// and its later lines indented under it.
std::string Row(const std::vector<std::string>& ACells, const std::vector<std::size_t>& AWidths,
                int ATotal) {
    std::string line;
    std::size_t indent = 0;
    for (std::size_t i = 0; i + 1 < ACells.size(); ++i) {
        line +=
            ACells[i] + std::string(AWidths[i] + 2 - std::min(AWidths[i], ACells[i].size()), ' ');
        indent += AWidths[i] + 2;
    }
    const auto total = static_cast<std::size_t>(std::max(ATotal, 0));
    std::string out;
    if (total > indent + 21) {
        const std::vector<std::string> wrapped = Wrap(ACells.back(), total - indent - 1);
        for (std::size_t i = 0; i < wrapped.size(); ++i)
            out += (i == 0 ? line : std::string(indent, ' ')) + wrapped[i] + "\n";
    } else {
        // Too narrow for the columns: the help goes under the row, slightly indented.
        out += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
        for (const std::string& wrapped : Wrap(ACells.back(), std::max<std::size_t>(total, 25) - 5))
            out += "    " + wrapped + "\n";
    }
    return out;
}

// The help of a parameter as this tool fills it. The catalogue words the standard parameters for
// the window (its command list, its toolbar, its format switch); here they come from the command
// line.
std::string CommandLineHelp(const TCommand& ACommand, std::size_t AIndex) {
    const TParam& param = *ACommand.Params[AIndex];
    if (AIndex == 0 && param.Name == "Command")
        return "the API command name, given as COMMAND (required).";
    if (AIndex == 1 && param.Name == "Password")
        return "the API password, from --password-env VAR or --password-file FILE, else the one "
               "the window remembers (required).";
    if (AIndex == 2 && param.Name == "JSON")
        return "Yes: the result in JSON; --legacy asks for the Legacy format (No).";
    return param.Help;
}

std::string PlainRow(const std::vector<std::string>& ACells) {
    std::string line;
    for (std::size_t i = 0; i < ACells.size(); ++i) {
        std::string cell = ACells[i];
        std::replace(cell.begin(), cell.end(), '\t', ' ');
        std::replace(cell.begin(), cell.end(), '\n', ' ');
        line += (i == 0 ? "" : "\t") + cell;
    }
    return line + "\n";
}

} // namespace

std::string FirstSentence(const std::string& AHelp) {
    for (std::size_t i = 0; i < AHelp.size(); ++i)
        if (AHelp[i] == '.' &&
            (i + 1 == AHelp.size() || AHelp[i + 1] == ' ' || AHelp[i + 1] == '\n'))
            return AHelp.substr(0, i + 1);
    return AHelp;
}

std::string ListText(const TCommandList& ACommands, const TCommand* AGroup, int AWidth) {
    std::vector<const TCommand*> shown;
    bool inGroup = AGroup == nullptr;
    for (const auto& entry : ACommands) {
        if (entry->Header) {
            inGroup = AGroup == nullptr || entry.get() == AGroup;
            if (inGroup && AWidth > 0)
                shown.push_back(entry.get());
        } else if (inGroup) {
            shown.push_back(entry.get());
        }
    }
    std::vector<std::size_t> widths(3, 0);
    for (const TCommand* entry : shown)
        if (!entry->Header) {
            widths[0] = std::max(widths[0], entry->Name.size());
            widths[1] = std::max(widths[1], VersionRange(entry->VerMin, entry->VerMax).size());
            widths[2] = std::max(widths[2], std::string(CommandClassName(entry->Class)).size());
        }
    std::string out;
    for (const TCommand* entry : shown) {
        if (entry->Header) {
            out += (out.empty() ? "" : "\n") + entry->Name + "\n";
            continue;
        }
        const std::vector<std::string> cells{
            entry->Name, VersionRange(entry->VerMin, entry->VerMax), CommandClassName(entry->Class),
            FirstSentence(entry->Help)};
        out += AWidth > 0 ? Row(cells, {widths[0] + 2, widths[1], widths[2]}, AWidth)
                          : PlainRow(cells);
    }
    return out;
}

std::string DescribeText(const TCommand& ACommand, int AWidth) {
    std::string out;
    const std::string title =
        ACommand.Name + " (versions " + VersionRange(ACommand.VerMin, ACommand.VerMax) + ")";
    const std::string sends = std::string("Class: ") + CommandClassName(ACommand.Class) + "\n";
    if (AWidth > 0) {
        out += title + "\n" + sends + "\n";
        for (const std::string& line :
             Wrap(ACommand.Help, static_cast<std::size_t>(std::max(AWidth - 1, 20))))
            out += line + "\n";
        out += "\n";
    } else {
        out += title + "\n" + sends + PlainRow({ACommand.Help});
    }
    std::vector<std::size_t> widths(2, 0);
    for (const auto& param : ACommand.Params) {
        widths[0] = std::max(widths[0], param->Name.size());
        widths[1] = std::max(widths[1], VersionRange(param->VerMin, param->VerMax).size());
    }
    for (std::size_t i = 0; i < ACommand.Params.size(); ++i) {
        const TParam& param = *ACommand.Params[i];
        const std::vector<std::string> cells{param.Name, VersionRange(param.VerMin, param.VerMax),
                                             CommandLineHelp(ACommand, i)};
        out += AWidth > 0 ? Row(cells, widths, AWidth) : PlainRow(cells);
    }
    return out;
}
