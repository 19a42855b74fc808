#include "BeforeCopyCall.h"

#include "BeforeCopy.h"
#include "SendRequest.h"

std::optional<TCallGrid> BeforeCopyGrid(const TCallGrid& AChange, const TCommandList& ACatalogue) {
    if (AChange.Command == nullptr)
        return std::nullopt;
    const TBeforeCopy* pair = BeforeCopyOf(AChange.Command->Name);
    if (pair == nullptr)
        return std::nullopt;
    const TCommand* read = nullptr;
    for (const auto& entry : ACatalogue)
        if (!entry->Header && entry->Name == pair->Read)
            read = entry.get();
    if (read == nullptr)
        return std::nullopt;
    // The change's JSON line says which format it asked for.
    bool json = true;
    for (qsizetype row = 0; row < AChange.Lines.Count(); ++row)
        if (AChange.Lines.Name(row).compare(u"JSON", Qt::CaseInsensitive) == 0)
            json = AChange.Lines.Value(row).compare(u"No", Qt::CaseInsensitive) != 0;
    TCallGrid grid{read, CommandLines(*read, json), {}};
    grid.Ticked.assign(static_cast<std::size_t>(grid.Lines.Count()), false);
    std::fill_n(grid.Ticked.begin(), std::min(FixedLines, grid.Lines.Count()), true);
    for (const char* key : pair->Keys) {
        const QString name = QString::fromLatin1(key);
        for (qsizetype row = FixedLines; row < AChange.Lines.Count(); ++row) {
            const bool ticked = static_cast<std::size_t>(row) < AChange.Ticked.size() &&
                                AChange.Ticked[static_cast<std::size_t>(row)];
            if (!ticked || AChange.Lines.Name(row).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            for (qsizetype target = FixedLines; target < grid.Lines.Count(); ++target)
                if (grid.Lines.Name(target).compare(name, Qt::CaseInsensitive) == 0) {
                    grid.Lines.SetLine(target,
                                       grid.Lines.Name(target) + u'=' + AChange.Lines.Value(row));
                    grid.Ticked[static_cast<std::size_t>(target)] = true;
                }
        }
    }
    return grid;
}
