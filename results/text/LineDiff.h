#pragma once

#include <string>
#include <string_view>
#include <vector>

// A line diff of two texts, as a list of the lines of both in order: kept, removed from the first
// or added in the second.
enum class TDiffKind { Same, Removed, Added };

struct TDiffLine {
    TDiffKind Kind;
    std::u16string Text;
};

// The shortest edit script between the lines of AOld and ANew (Myers' algorithm), the common
// start and end taken off first. When the two differ in more than AMaxEdits lines past those, the
// rest is given as removed then added: still a true diff, only not the shortest.
std::vector<TDiffLine> DiffLines(const std::vector<std::u16string>& AOld,
                                 const std::vector<std::u16string>& ANew,
                                 std::size_t AMaxEdits = 4000);

// The lines of an answer as the results window's Pretty view shows it: a JSON text indented two
// spaces a level with its escapes shown as the characters they stand for, any other text split
// at its line breaks (CR LF, LF or CR).
std::vector<std::u16string> PrettyLines(std::u16string_view AText);

// The diff as text, one line each, marked not by colour alone: "  " kept, "- " removed, "+ "
// added.
std::u16string DiffText(const std::vector<TDiffLine>& ADiff);
