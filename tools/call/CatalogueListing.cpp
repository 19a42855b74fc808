#include "CatalogueListing.h"

#include "CallArguments.h"
#include "CallOptions.h"
#include "CatalogueJson.h"
#include "CatalogueText.h"

#include <QString>

#include <iostream>
#include <span>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int TerminalWidth() {
    if (!::isatty(STDOUT_FILENO))
        return 0;
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

const TCommand& FindGroup(const TCommandList& ACommands, const std::string& AName) {
    std::vector<std::string> names;
    for (const auto& entry : ACommands) {
        if (!entry->Header)
            continue;
        if (QString::fromStdString(entry->Name)
                .compare(QString::fromStdString(AName), Qt::CaseInsensitive) == 0)
            return *entry;
        names.push_back(entry->Name);
    }
    throw ECallUsage(UnknownNameMessage("group", AName, "", names));
}

// The entries from AFirst up to the next group header.
std::span<const std::unique_ptr<TCommand>> Part(const TCommandList& ACommands,
                                                const TCommand& AFirst) {
    std::size_t begin = 0;
    while (ACommands[begin].get() != &AFirst)
        ++begin;
    std::size_t end = begin + 1;
    while (AFirst.Header && end < ACommands.size() && !ACommands[end]->Header)
        ++end;
    return std::span(ACommands).subspan(begin, end - begin);
}

} // namespace

int ShowCatalogue(const TCallOptions& AOptions, const TCommandList& ACommands) {
    if (AOptions.List && AOptions.Describe)
        throw ECallUsage("--list and --describe cannot be combined.");
    std::ostringstream out;
    if (AOptions.List) {
        if (AOptions.Positional.size() > 1)
            throw ECallUsage("--list takes at most one GROUP.");
        const TCommand* group =
            AOptions.Positional.empty() ? nullptr : &FindGroup(ACommands, AOptions.Positional[0]);
        if (AOptions.Json)
            WriteCatalogueJson(group ? Part(ACommands, *group) : std::span(ACommands), out);
        else
            out << ListText(ACommands, group, TerminalWidth());
    } else {
        if (AOptions.Positional.size() != 1)
            throw ECallUsage("--describe takes one COMMAND.");
        const TCommand& command = FindCommand(ACommands, AOptions.Positional[0]);
        if (AOptions.Json)
            WriteCatalogueJson(Part(ACommands, command), out);
        else
            out << DescribeText(command, TerminalWidth());
    }
    std::cout << out.str() << std::flush;
    return std::cout ? 0 : 1;
}
