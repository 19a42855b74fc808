#pragma once

#include "SendRequest.h"

#include <QString>

struct TCallResult;

// The text behind "Show Details..." in Send's error box: the URL that was posted, the time the
// call took and, for an answer refused by its status code, the body the server sent with it
// (its first RefusedBodyLimit bytes in UTF-8).
QString SendErrorDetails(const QString& AURL, const TCallResult& AResult);

inline constexpr qsizetype RefusedBodyLimit = 64 * 1024;
