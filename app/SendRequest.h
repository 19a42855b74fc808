#pragma once

#include <QString>

// Removes every leading and trailing character whose code is 32 or less.
QString TrimControl(const QString& AText);

// The URL of an API call: "http://" in front unless the address begins with "http" in any case,
// ":" and the port unless the port is exactly "80", then "/" and the path.
QString BuildURL(const QString& AAddress, const QString& APort, const QString& APath);
