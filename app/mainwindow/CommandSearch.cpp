#include "CommandSearch.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

constexpr std::size_t StandardParams = 4; // Command, Password, JSON, Log

using TKind = TCommandMatch::TKind;

std::string Lower(std::string_view AText) {
    std::string lower(AText);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsUpper(char AChar) {
    return std::isupper(static_cast<unsigned char>(AChar)) != 0;
}

// A word of a name starts at its first letter, at a capital after a small letter or a digit,
// and after anything that is not a letter or digit.
bool StartsWord(std::string_view AName, std::size_t AAt) {
    if (AAt == 0)
        return true;
    const auto previous = static_cast<unsigned char>(AName[AAt - 1]);
    return (IsUpper(AName[AAt]) && !std::isupper(previous)) || std::isalnum(previous) == 0;
}

// The words of a name, in lower case: "TournamentsStart" gives "tournaments" and "start".
std::vector<std::string> Words(std::string_view AName) {
    std::vector<std::string> words;
    for (std::size_t at = 0; at < AName.size(); ++at) {
        if (std::isalnum(static_cast<unsigned char>(AName[at])) == 0)
            continue;
        if (words.empty() || StartsWord(AName, at))
            words.emplace_back();
        words.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(AName[at])));
    }
    return words;
}

// True when AQuery is made of beginnings of AWords (from AWord on), each of a later word than
// the one before.
bool IsWordStarts(std::string_view AQuery, const std::vector<std::string>& AWords,
                  std::size_t AWord) {
    if (AQuery.empty())
        return true;
    for (std::size_t word = AWord; word < AWords.size(); ++word)
        for (std::size_t length = std::min(AQuery.size(), AWords[word].size()); length > 0;
             --length)
            if (AWords[word].compare(0, length, AQuery, 0, length) == 0 &&
                IsWordStarts(AQuery.substr(length), AWords, word + 1))
                return true;
    return false;
}

std::optional<TKind> MatchName(std::string_view AName, std::string_view AQuery) {
    const std::string name = Lower(AName);
    if (name == AQuery)
        return TKind::ExactName;
    if (name.starts_with(AQuery))
        return TKind::NamePrefix;
    std::optional<TKind> best;
    for (std::size_t at = name.find(AQuery); at != std::string::npos;
         at = name.find(AQuery, at + 1)) {
        if (StartsWord(AName, at))
            return TKind::NameWord;
        best = TKind::NamePart;
    }
    if (!best && IsWordStarts(AQuery, Words(AName), 0))
        best = TKind::NameWordStarts;
    return best;
}

std::optional<TKind> MatchParamName(std::string_view AName, std::string_view AQuery) {
    const std::string name = Lower(AName);
    if (name == AQuery)
        return TKind::ExactParamName;
    if (name.starts_with(AQuery))
        return TKind::ParamNamePrefix;
    if (name.find(AQuery) != std::string::npos)
        return TKind::ParamNamePart;
    return std::nullopt;
}

bool HelpHasWords(std::string_view AHelp, const std::vector<std::string>& AWords) {
    const std::string help = Lower(AHelp);
    return std::all_of(AWords.begin(), AWords.end(), [&](const std::string& AWord) {
        return help.find(AWord) != std::string::npos;
    });
}

} // namespace

std::vector<TCommandMatch> MatchCommands(const TCommandList& ACommands, std::string_view AQuery) {
    // The query's words; names are matched against the words run together.
    std::vector<std::string> words;
    std::string joined;
    const std::string query = Lower(AQuery);
    for (std::size_t at = 0; at < query.size();) {
        const std::size_t end = std::min(query.find(' ', at), query.size());
        if (end > at) {
            words.push_back(query.substr(at, end - at));
            joined += words.back();
        }
        at = end + 1;
    }

    std::vector<TCommandMatch> matches;
    for (std::size_t position = 0; position < ACommands.size(); ++position) {
        const TCommand& command = *ACommands[position];
        if (command.Header)
            continue;
        TCommandMatch match{static_cast<int>(position), TKind::ExactName, {}};
        if (joined.empty()) {
            matches.push_back(match);
            continue;
        }
        std::optional<TKind> best = MatchName(command.Name, joined);
        const auto consider = [&](std::optional<TKind> AKind, const std::string& AParamName) {
            if (AKind && (!best || *AKind < *best)) {
                best = AKind;
                match.ParamName = AParamName;
            }
        };
        for (std::size_t i = StandardParams; i < command.Params.size(); ++i)
            consider(MatchParamName(command.Params[i]->Name, joined), command.Params[i]->Name);
        if (!best && HelpHasWords(command.Help, words))
            best = TKind::Help;
        for (std::size_t i = StandardParams; !best && i < command.Params.size(); ++i)
            if (HelpHasWords(command.Params[i]->Help, words))
                consider(TKind::Help, command.Params[i]->Name);
        if (!best)
            continue;
        match.Kind = *best;
        matches.push_back(std::move(match));
    }
    std::stable_sort(
        matches.begin(), matches.end(),
        [](const TCommandMatch& A, const TCommandMatch& B) { return A.Kind < B.Kind; });
    return matches;
}
