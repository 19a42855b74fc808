#include "BeforeCopy.h"

#include <algorithm>

namespace {

constexpr const char* PlayerKey[] = {"Player"};
constexpr const char* BlacklistKey[] = {"ID", "Index"};
constexpr const char* NameKey[] = {"Name"};
constexpr const char* PropertyKey[] = {"Property"};
constexpr const char* AccountKey[] = {"Account"};
constexpr const char* ActionGet[] = {"Action=Get"};

constexpr TBeforeCopy Rows[] = {
    {"AccountsDecBalance", "AccountsGet", PlayerKey},
    {"AccountsDecBalance2", "AccountsGet", PlayerKey},
    {"AccountsDelete", "AccountsGet", PlayerKey},
    {"AccountsEdit", "AccountsGet", PlayerKey},
    {"AccountsIncBalance", "AccountsGet", PlayerKey},
    {"AccountsIncBalance2", "AccountsGet", PlayerKey},
    {"AccountsNotes", "AccountsNotes", PlayerKey, ActionGet},
    {"AccountsPermission", "AccountsGet", PlayerKey},
    {"AccountsTicket", "AccountsGet", PlayerKey},
    {"BlacklistDelete", "BlacklistGet", BlacklistKey},
    {"BlacklistEdit", "BlacklistGet", BlacklistKey},
    {"RingGamesDelete", "RingGamesGet", NameKey},
    {"RingGamesEdit", "RingGamesGet", NameKey},
    {"RingGamesOffline", "RingGamesGet", NameKey},
    {"RingGamesOnline", "RingGamesGet", NameKey},
    {"SystemAccount", "SystemAccount", AccountKey, ActionGet},
    {"SystemAccount2", "SystemAccount2", AccountKey, ActionGet},
    {"SystemEntryFeeDec", "SystemEntryFeeGet", {}},
    {"SystemEntryFeeInc", "SystemEntryFeeGet", {}},
    {"SystemEntryFeeSet", "SystemEntryFeeGet", {}},
    {"SystemRakeDec", "SystemRakeGet", {}},
    {"SystemRakeInc", "SystemRakeGet", {}},
    {"SystemRakeSet", "SystemRakeGet", {}},
    {"SystemSet", "SystemGet", PropertyKey},
    {"TournamentsDelete", "TournamentsGet", NameKey},
    {"TournamentsEdit", "TournamentsGet", NameKey},
    {"TournamentsOffline", "TournamentsGet", NameKey},
    {"TournamentsOnline", "TournamentsGet", NameKey},
    {"TournamentsRemoveNoShows", "TournamentsGet", NameKey},
};

} // namespace

const TBeforeCopy* BeforeCopyOf(std::string_view ACommand) {
    const auto* found =
        std::find_if(std::begin(Rows), std::end(Rows),
                     [&](const TBeforeCopy& ARow) { return ACommand == ARow.Command; });
    return found == std::end(Rows) ? nullptr : found;
}

std::span<const TBeforeCopy> BeforeCopies() {
    return Rows;
}
