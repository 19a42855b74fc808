#pragma once

#include <QString>

struct TCallResult;

// The results window's status line: status line, size, lines, content type and charset, time.
// Parts the server did not send are left out, and the lines while ALineCount is negative.
QString ResultsStatusText(const TCallResult& AResult, qint64 ALineCount);
