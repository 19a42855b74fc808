#pragma once

#include <QString>
#include <QStringList>

// The jq filters last used on a command's answers, the most recent first, and whether the first
// of them was still applied when that command's last answer was left (a filter cleared is not
// brought back, but stays offered).
struct TRecentFilters {
    QStringList Filters;
    bool LastApplied = false;
};

// The filters used on each command's answers, kept in the settings file beside the settings
// store's values, in the group [JqFilters]: one subgroup per command, its filters numbered from
// the most recent, and whether the first is applied:
//
//   [JqFilters]
//   AccountsList\1=.Accounts[] | select(.Balance > 0)
//   AccountsList\2=.Result
//   AccountsList\Applied=1
//
// Every method reads the file afresh; Use throws ESettingsError when the file cannot be written.
class TFilterMemory {
public:
    // AFileName empty: the settings store's default file.
    explicit TFilterMemory(QString AFileName = {});

    // How many filters are kept per command.
    static constexpr int Limit = 10;

    TRecentFilters Recent(const QString& ACommand) const;
    // AFilter was applied to an answer of ACommand: it goes to the front of the command's
    // filters (once), the oldest beyond Limit go. Empty: the answer is shown unfiltered again,
    // which keeps the filters but brings none back.
    void Use(const QString& ACommand, const QString& AFilter);

private:
    QString FFileName;
};
