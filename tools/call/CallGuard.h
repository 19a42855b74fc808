#pragma once

class TCallDefaults;
struct TCallOptions;
struct TPreparedCall;

// The guard of a production profile: a command that is not a read asks on the terminal before
// it is sent (a remove wants the profile's name typed) and is refused without a terminal unless
// --yes is given. A row run (ARows above 0) asks once, naming its number of rows. Returns 0 to
// send, 2 when the call is not to be sent (said on standard error).
int GuardCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TCallDefaults& ADefaults,
              long long ARows = 0);
