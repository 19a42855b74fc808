#include "RowOptions.h"

#include "CallArguments.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

bool AllDigits(const std::string& AText) {
    return !AText.empty() && AText.size() < 18 &&
           std::all_of(AText.begin(), AText.end(),
                       [](unsigned char AChar) { return std::isdigit(AChar) != 0; });
}

int WholeNumber(const std::string& AName, const std::string& AValue, int AMin, int AMax) {
    if (!AllDigits(AValue) || std::atoll(AValue.c_str()) < AMin ||
        std::atoll(AValue.c_str()) > AMax)
        throw ECallUsage(AName + " needs a whole number from " + std::to_string(AMin) + " to " +
                         std::to_string(AMax) + ", not '" + AValue + "'.");
    return static_cast<int>(std::atoll(AValue.c_str()));
}

} // namespace

std::vector<std::string> RowOptionNames() {
    return {"--rows",         "--rows-format", "--concurrency",  "--rate",
            "--max-failures", "--resume",      "--retry-failed", "--resend-unknown",
            "--out",          "--dry-run",     "--runs"};
}

bool ParseRowOption(const std::string& AName, const std::optional<std::string>& AValue, int& AIndex,
                    int argc, char** argv, TRowOptions& AOptions) {
    const std::vector<std::string> names = RowOptionNames();
    if (std::find(names.begin(), names.end(), AName) == names.end())
        return false;
    if (AName == "--resume") {
        AOptions.Resume = true;
        // The run's number is optional: taken when it is a number.
        std::optional<std::string> value = AValue;
        if (!value && AIndex + 1 < argc && AllDigits(argv[AIndex + 1]))
            value = argv[++AIndex];
        if (value) {
            if (!AllDigits(*value) || std::atoll(value->c_str()) < 1)
                throw ECallUsage("--resume takes the number of a run, not '" + *value + "'.");
            AOptions.ResumeRun = std::atoll(value->c_str());
        }
        return true;
    }
    const std::vector<std::string> flags{"--retry-failed", "--resend-unknown", "--dry-run",
                                         "--runs"};
    if (std::find(flags.begin(), flags.end(), AName) != flags.end()) {
        if (AValue)
            throw ECallUsage("Option " + AName + " takes no value.");
        (AName == "--retry-failed"     ? AOptions.RetryFailed
         : AName == "--resend-unknown" ? AOptions.ResendUnknown
         : AName == "--dry-run"        ? AOptions.DryRun
                                       : AOptions.Runs) = true;
        return true;
    }
    std::string value;
    if (AValue) {
        value = *AValue;
    } else {
        if (AIndex + 1 >= argc)
            throw ECallUsage("Option " + AName + " needs a value.");
        value = argv[++AIndex];
    }
    if (AName == "--rows") {
        AOptions.File = value;
    } else if (AName == "--rows-format") {
        if (value != "csv" && value != "jsonl")
            throw ECallUsage("--rows-format is csv or jsonl, not '" + value + "'.");
        AOptions.Format = value;
    } else if (AName == "--concurrency") {
        AOptions.Concurrency = WholeNumber(AName, value, 1, 16);
    } else if (AName == "--max-failures") {
        AOptions.MaxFailures = WholeNumber(AName, value, 0, 1000000000);
    } else if (AName == "--out") {
        AOptions.Out = value;
    } else {
        char* end = nullptr;
        const double rate = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(rate > 0) || rate > 1e6)
            throw ECallUsage("--rate needs a number of calls per second, not '" + value + "'.");
        AOptions.Rate = rate;
    }
    return true;
}

std::string RowOptionsUsage() {
    return "\n"
           "Usage: vlcallbench-call [OPTIONS] --rows FILE COMMAND [NAME=VALUE ...]\n"
           "       vlcallbench-call --runs\n"
           "\n"
           "Rows: one call for every row of a file (NAME=VALUE arguments go to every row):\n"
           "  --rows FILE             CSV with a header row of parameter names, or JSON Lines\n"
           "  --rows-format F         csv or jsonl (default: by the file's extension)\n"
           "  --concurrency N         calls at once, 1 to 16 (default 1)\n"
           "  --rate R                calls per second at most\n"
           "  --max-failures N        start no new row after N failed calls (default 1; 0 never)\n"
           "  --resume [RUN]          go on with a run (default: the last unfinished one of FILE)\n"
           "  --retry-failed          with --resume: send the failed rows again\n"
           "  --resend-unknown        with --resume: send again the rows whose outcome is unknown\n"
           "  --out FILE              one record per row (CSV or JSON Lines by its extension)\n"
           "  --dry-run               check every row and print its curl line, send nothing\n"
           "  --runs                  list the runs in the journal\n"
           "\n"
           "Exit status with --rows: 0 every row was answered, 1 not every row, 2 the checks\n"
           "refused the file or a row (nothing was sent).\n";
}
