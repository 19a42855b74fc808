#include "BeforeCopyCall.h"

#include "BeforeCopy.h"
#include "SendRequest.h"

namespace {

bool Ticked(const TCallGrid& AGrid, qsizetype ARow) {
    return static_cast<std::size_t>(ARow) < AGrid.Ticked.size() &&
           AGrid.Ticked[static_cast<std::size_t>(ARow)];
}

// The row of AGrid named AName (the fixed rows not counted), or -1.
qsizetype ParamRow(const TCallGrid& AGrid, const QString& AName) {
    for (qsizetype row = FixedLines; row < AGrid.Lines.Count(); ++row)
        if (AGrid.Lines.Name(row).compare(AName, Qt::CaseInsensitive) == 0)
            return row;
    return -1;
}

// Whether AChange is already the read APair sends: its own command with the read's values.
bool IsItsOwnRead(const TCallGrid& AChange, const TBeforeCopy& APair) {
    if (AChange.Command->Name != APair.Read || APair.Fixed.empty())
        return false;
    for (const char* line : APair.Fixed) {
        const QString text = QString::fromLatin1(line);
        const qsizetype row = ParamRow(AChange, text.section(u'=', 0, 0));
        if (row < 0 || !Ticked(AChange, row) ||
            AChange.Lines.Value(row).trimmed().compare(text.section(u'=', 1),
                                                       Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

} // namespace

std::optional<TCallGrid> BeforeCopyGrid(const TCallGrid& AChange, const TCommandList& ACatalogue) {
    if (AChange.Command == nullptr)
        return std::nullopt;
    const TBeforeCopy* pair = BeforeCopyOf(AChange.Command->Name);
    if (pair == nullptr || IsItsOwnRead(AChange, *pair))
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
    const auto set = [&grid](qsizetype ARow, const QString& AValue) {
        grid.Lines.SetLine(ARow, grid.Lines.Name(ARow) + u'=' + AValue);
        grid.Ticked[static_cast<std::size_t>(ARow)] = true;
    };
    for (const char* key : pair->Keys) {
        const QString name = QString::fromLatin1(key);
        const qsizetype target = ParamRow(grid, name);
        for (qsizetype row = FixedLines; target >= 0 && row < AChange.Lines.Count(); ++row)
            if (Ticked(AChange, row) &&
                AChange.Lines.Name(row).compare(name, Qt::CaseInsensitive) == 0)
                set(target, AChange.Lines.Value(row));
    }
    for (const char* line : pair->Fixed) {
        const QString text = QString::fromLatin1(line);
        if (const qsizetype target = ParamRow(grid, text.section(u'=', 0, 0)); target >= 0)
            set(target, text.section(u'=', 1));
    }
    return grid;
}
