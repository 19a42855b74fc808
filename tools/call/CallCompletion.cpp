// vl_call_completion HELP_FILE OUTPUT_FILE: writes the bash completion of vlcallbench-call, run at
// build time. The command, group and parameter names come from the built-in catalogue; the
// options and what each one takes come from the tool's own --help (HELP_FILE), so the completion
// offers exactly the options the tool accepts.

#include "Catalogue.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The standard parameters the tool fills itself (Command, Password, JSON) are never offered.
constexpr std::size_t FilledByTheTool = 3;

struct TOption {
    std::string Name;  // "--cacert"
    std::string Value; // what its help names the value ("FILE", "[GROUP]"); empty for a switch
};

// The options of a help text: lines such as "  --cacert FILE    trust ..." or
// "  -h, --help    print ..." (both forms offered). A word after exactly one blank is the
// option's value.
std::vector<TOption> OptionsOfHelp(std::istream& AHelp) {
    std::vector<TOption> options;
    for (std::string line; std::getline(AHelp, line);) {
        std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || start == 0 || line[start] != '-')
            continue;
        if (line.compare(start, 2, "--") != 0) {
            // A short form first: "-h, --help".
            if (start + 3 < line.size() &&
                std::islower(static_cast<unsigned char>(line[start + 1])) &&
                line.compare(start + 2, 2, ", ") == 0)
                options.push_back({line.substr(start, 2), {}});
            start = line.find("--", start);
            if (start == std::string::npos)
                continue;
        }
        std::size_t end = start + 2;
        while (end < line.size() &&
               (std::islower(static_cast<unsigned char>(line[end])) ||
                std::isdigit(static_cast<unsigned char>(line[end])) || line[end] == '-'))
            ++end;
        if (end == start + 2)
            continue; // "--" itself
        TOption option{line.substr(start, end - start), {}};
        if (end + 1 < line.size() && (line[end] == ' ' || line[end] == '=') &&
            line[end + 1] != ' ') {
            const std::size_t valueEnd = line.find(' ', end + 1);
            option.Value = line.substr(end + 1, valueEnd == std::string::npos ? std::string::npos
                                                                              : valueEnd - end - 1);
        }
        options.push_back(option);
    }
    return options;
}

// What the completion offers for an option's value, by the name the help gives it.
std::string ValueKind(std::string_view AValue) {
    if (AValue.starts_with('[') && AValue.ends_with(']'))
        AValue = AValue.substr(1, AValue.size() - 2);
    if (AValue.empty())
        return "";
    if (AValue == "FILE")
        return "file";
    if (AValue == "VAR")
        return "variable";
    if (AValue == "GROUP")
        return "group";
    if (AValue == "COMMAND")
        return "command";
    if (AValue == "PROFILE")
        return "profile";
    std::string lower(AValue);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.starts_with("sha256"))
        return "pin";
    return "text";
}

// A word as bash reads it back unchanged: in single quotes unless it is plain.
std::string Quoted(std::string_view AWord) {
    bool plain = !AWord.empty();
    for (const char c : AWord)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ||
                          c == '.' || c == ':');
    if (plain)
        return std::string(AWord);
    std::string out = "'";
    for (const char c : AWord)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Lower(std::string_view AWord) {
    std::string out(AWord);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string WordList(const std::vector<std::string>& AWords) {
    std::string out;
    for (const std::string& word : AWords)
        out += (out.empty() ? "" : " ") + Quoted(word);
    return out;
}

// The completion script's fixed part: the matching and the reading of the command line.
const char* const Functions = R"BASH(
# Adds to COMPREPLY the words that begin with $1, ignoring case, each followed by $2; words named
# in $given (lower case, each between blanks) are left out.
_vlcallbench_call_match() {
    local typed=${1//\\/} word quoted
    typed=${typed#[\"\']}
    typed=${typed,,}
    for word in "${words[@]}"; do
        [[ ${word,,} == "$typed"* && $given != *" ${word,,} "* ]] || continue
        printf -v quoted %q "$word"
        COMPREPLY+=("$quoted$2")
    done
}

_vlcallbench_call() {
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]} prev= option= prefix= afterEquals= value= words=()
    local i word command= catalogue= ended= given=' '
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

    # Where "=" breaks words (bash's default), "--server=URL" and "NAME=VALUE" arrive as three
    # words; otherwise as one.
    if [[ $cur == = ]]; then
        cur= option=$prev afterEquals=1
    elif [[ $prev == = ]]; then
        ((COMP_CWORD > 1)) && option=${COMP_WORDS[COMP_CWORD - 2]}
        afterEquals=1
    elif [[ $cur == *=* ]]; then
        option=${cur%%=*} prefix=${cur%%=*}= cur=${cur#*=} afterEquals=1
    else
        option=$prev
    fi

    # Bash also breaks words at ":": the URLs and pins before the word completed are put back
    # together. Nothing is offered within one.
    local -a before=()
    local joining=
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == : && ${#before[@]} -gt 0 ]]; then
            before[-1]+=: joining=1
        elif [[ -n $joining ]]; then
            before[-1]+=$word joining=
        else
            before+=("$word")
        fi
    done
    [[ -n $joining || $cur == : ]] && return

    # The words before the one completed: the options with their values, the command, the
    # parameters given so far.
    for ((i = 0; i < ${#before[@]}; i++)); do
        word=${before[i]}
        if [[ -z $ended && $word == -- ]]; then
            ended=1
        elif [[ -z $ended && $word == --* ]]; then
            _vlcallbench_call_value "${word%%=*}"
            [[ $value == group || $value == command ]] && catalogue=1
            if [[ ${before[i + 1]-} == = ]]; then
                ((i += 2))
            elif [[ $word != *=* && -n $value ]]; then
                ((i += 1))
            fi
        elif [[ -z $command && -z $catalogue ]]; then
            command=$word
        else
            [[ ${before[i + 1]-} == = ]] && ((i += 2))
            word=${word%%=*}
            given+="${word,,} "
        fi
    done

    if [[ -z $ended && $option == --* ]]; then
        _vlcallbench_call_value "$option"
        if [[ -n $value && ($option == "$prev" || -n $afterEquals) ]]; then
            case $value in
            file)
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                ;;
            variable) mapfile -t COMPREPLY < <(compgen -v -- "$cur") ;;
            group | command)
                _vlcallbench_call_words "${value}s"
                _vlcallbench_call_match "$cur"
                ;;
            profile)
                # The names the tool lists, one a line before a tab.
                local name rest
                while IFS=$'\t' read -r name rest; do
                    [[ ${name,,} == "${cur,,}"* ]] && COMPREPLY+=("$name")
                done < <("${COMP_WORDS[0]}" --profiles 2>/dev/null)
                ;;
            pin)
                mapfile -t COMPREPLY < <(compgen -W "sha256:" -- "$cur")
                compopt -o nospace 2>/dev/null
                ;;
            esac
            [[ -n $prefix ]] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
            return
        fi
    fi
    [[ -n $afterEquals ]] && return # a parameter's value: anything goes

    if [[ -z $ended && $cur == -* ]]; then
        _vlcallbench_call_words options
        _vlcallbench_call_match "$cur"
    elif [[ -n $catalogue ]]; then
        return
    elif [[ -z $command ]]; then
        _vlcallbench_call_words commands
        _vlcallbench_call_match "$cur"
    else
        _vlcallbench_call_words params "$command"
        _vlcallbench_call_match "$cur" =
        compopt -o nospace 2>/dev/null
    fi
} &&
    complete -F _vlcallbench_call vlcallbench-call
)BASH";

void WriteScript(const TCommandList& ACommands, const std::vector<TOption>& AOptions,
                 std::ostream& AOut) {
    std::vector<std::string> commands;
    std::vector<std::string> groups;
    for (const auto& entry : ACommands)
        (entry->Header ? groups : commands).push_back(entry->Name);
    std::vector<std::string> options;
    std::map<std::string, std::vector<std::string>> optionsByKind;
    for (const TOption& option : AOptions) {
        options.push_back(option.Name);
        if (const std::string kind = ValueKind(option.Value); !kind.empty())
            optionsByKind[kind].push_back(option.Name);
    }

    AOut << "# bash completion for vlcallbench-call"
            "                                   -*- shell-script -*-\n"
            "# Made when vlcallbench was built, from its catalogue and the tool's --help.\n"
            "\n"
            "# Sets words to the names of one kind: commands, groups, options, or params COMMAND\n"
            "# (the NAME=VALUE names of COMMAND, written in any case).\n"
            "_vlcallbench_call_words() {\n"
            "    case $1 in\n"
         << "    commands) words=(" << WordList(commands) << ") ;;\n"
         << "    groups) words=(" << WordList(groups) << ") ;;\n"
         << "    options) words=(" << WordList(options) << ") ;;\n"
         << "    params)\n"
            "        case ${2,,} in\n";
    for (const auto& entry : ACommands) {
        if (entry->Header)
            continue;
        std::vector<std::string> params;
        for (std::size_t i = FilledByTheTool; i < entry->Params.size(); ++i)
            params.push_back(entry->Params[i]->Name);
        AOut << "        " << Quoted(Lower(entry->Name)) << ") words=(" << WordList(params)
             << ") ;;\n";
    }
    AOut << "        *) words=() ;;\n"
            "        esac\n"
            "        ;;\n"
            "    esac\n"
            "}\n"
            "\n"
            "# Sets value to what follows the option $1: file, variable, group, command, profile, "
            "pin or\n"
            "# text; empty for a switch or an unknown option.\n"
            "_vlcallbench_call_value() {\n"
            "    case $1 in\n";
    for (const auto& [kind, names] : optionsByKind) {
        std::string pattern;
        for (const std::string& name : names)
            pattern += (pattern.empty() ? "" : " | ") + name;
        AOut << "    " << pattern << ") value=" << kind << " ;;\n";
    }
    AOut << "    *) value= ;;\n"
            "    esac\n"
            "}\n"
         << Functions;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Usage: vl_call_completion HELP_FILE OUTPUT_FILE\n";
        return 2;
    }
    std::ifstream help(argv[1]);
    if (!help) {
        std::cerr << "vl_call_completion: cannot read " << argv[1] << "\n";
        return 1;
    }
    const std::vector<TOption> options = OptionsOfHelp(help);
    if (options.empty()) {
        std::cerr << "vl_call_completion: no options in " << argv[1] << "\n";
        return 1;
    }
    TCommandList commands;
    AppendCatalogue(commands);
    std::ostringstream script;
    WriteScript(commands, options, script);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << script.str();
    out.close();
    if (!out) {
        std::cerr << "vl_call_completion: cannot write " << argv[2] << "\n";
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
