#pragma once

#include "CallArguments.h"

#include <optional>

// The read a change, money or remove command sends first, so that the history keeps what it
// altered as it was: the read the catalogue pairs with the command, in the change's result format,
// with the values of the key rows the change has ticked copied into the read's rows. Nothing when
// the command has no such read. The window and the call tool make the form with CallForm and
// send it as they send any call.
std::optional<TCallGrid> BeforeCopyGrid(const TCallGrid& AChange, const TCommandList& ACatalogue);

// Whether a Send on a profile makes a before copy first: ASetting as the user chose it, else on
// production profiles only.
inline bool TakesBeforeCopy(std::optional<bool> ASetting, bool AProduction) {
    return ASetting.value_or(AProduction);
}
