#pragma once

#include "Command.h"
#include "ParamValues.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

// Removes every leading and trailing character whose code is 32 or less.
QString TrimControl(const QString& AText);

// The message for the first of address, port and path (already trimmed) that is empty, in that
// order; empty when all three are given.
QString MissingConnectionField(const QString& AAddress, const QString& APort, const QString& APath);

// The URL of an API call: "http://" in front unless the address begins with "http" in any case,
// ":" and the port unless the port is exactly "80", then "/" and the path.
QString BuildURL(const QString& AAddress, const QString& APort, const QString& APath);

// The URL of an API call from the connection fields as typed or stored: each is trimmed with
// TrimControl, the address's trailing "/" (or "\") dropped, then checked with
// MissingConnectionField and put together with BuildURL. When the port is put in (it is not "80"),
// an address with a port, path, query or fragment of its own is refused: the port would not end up
// as the port. When a field is missing or refused, Missing holds the message and URL is empty.
struct TConnectionURL {
    QString URL;
    QString Missing;
};
TConnectionURL ConnectionURL(const QString& AAddress, const QString& APort, const QString& APath);

// The URL as it may be shown or kept: a password in its user part is replaced by "***".
QString UrlForDisplay(const QString& AURL);

// The lines a command's grid starts with: one "Name=" per parameter in catalogue order, with
// Command holding the command's name, Password the placeholder "(not shown)" and JSON "Yes" or
// "No". The first three lines are always sent; the others when their rows are ticked.
TParamValues CommandLines(const TCommand& ACommand, bool AJSON);

// The number of leading lines (Command, Password, JSON) that are always sent.
inline constexpr qsizetype FixedLines = 3;

// The form of one call: the lines of AGrid whose rows ATicked says are ticked, in grid order, then
// the password put in by name (an empty password removes the Password line, so the placeholder
// never goes out; a non-empty one replaces it or is appended).
TParamValues ComposeForm(const TParamValues& AGrid, const std::function<bool(qsizetype)>& ATicked,
                         const QString& APassword);

// The form's lines as the HTTP client takes them.
std::vector<std::u16string> WireLines(const TParamValues& AForm);
