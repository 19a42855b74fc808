#include "CallGuard.h"

#include "CallDefaults.h"
#include "CallOptions.h"
#include "ErrorOutput.h"
#include "PreparedCall.h"
#include "ProductionGuard.h"

#include <iostream>
#include <string>
#include <unistd.h>

int GuardCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TCallDefaults& ADefaults,
              long long ARows) {
    const std::optional<TServerProfile> profile =
        ADefaults.CallProfile(AOptions.Server.has_value());
    if (!profile || !NeedsConfirmation(*ACall.Command, profile->Production) || AOptions.Yes)
        return 0;
    std::string statement = GuardStatement(*ACall.Command, profile->Name).toStdString();
    if (ARows > 0)
        statement += " for each of " + std::to_string(ARows) + (ARows == 1 ? " row" : " rows");
    if (::isatty(STDIN_FILENO) == 0) {
        WriteError(statement + "; add --yes to send");
        return 2;
    }
    const bool typed = NeedsTypedName(*ACall.Command);
    std::cerr << statement << ".\n"
              << (typed ? "Type the profile's name to send it: " : "Send it? [y/N] ") << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        answer.clear();
    const bool confirmed = typed ? answer == profile->Name.toStdString()
                                 : (answer == "y" || answer == "Y" || answer == "yes");
    if (confirmed)
        return 0;
    WriteError("Not sent.");
    return 2;
}
