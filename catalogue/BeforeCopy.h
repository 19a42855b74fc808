#pragma once

#include <span>
#include <string_view>

// A command that changes something next to the read that shows that thing as it is: sent first,
// its answer is the before copy of what the change altered or removed.
struct TBeforeCopy {
    const char* Command; // the change, money or remove command
    const char* Read;    // the read command of the same group
    // The parameters that name the thing, copied from the change into the read (any of them may
    // be absent in a server version); none for a read of a single house account.
    std::span<const char* const> Keys;
    // NAME=VALUE lines the read is sent with whatever the change gives: a command that reads as
    // well as changes is its own read with these (Action=Get), and a call of it that already has
    // them is a read itself, which takes no before copy.
    std::span<const char* const> Fixed = {};
};

// The before copy read of ACommand, or nullptr when it has none.
const TBeforeCopy* BeforeCopyOf(std::string_view ACommand);

// Every row, for tests and listings.
std::span<const TBeforeCopy> BeforeCopies();
