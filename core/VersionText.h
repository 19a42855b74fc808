#pragma once

#include "Version.h"

#include <QChar>
#include <QStringView>

// Number settings for versions: "." as decimal separator whatever the user's locale.
struct TFormatSettings {
    QChar DecimalSeparator = u'.';
};
extern const TFormatSettings DotFormat;

// Reads a version typed by the user: optional spaces, sign, digits with at most one decimal
// separator, an optional exponent. The value times 10000 is rounded half to even. Text that is
// empty or not such a number counts as 0; a value beyond the 64-bit range saturates, so a huge
// version counts as greater than every version.
Version ParseVersionText(QStringView AText);

// Whether AText is empty (spaces only) or a number ParseVersionText reads as such.
bool IsVersionText(QStringView AText);
