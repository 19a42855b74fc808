#pragma once

// What the window's benchmarks share: large answers of the usual shapes, the process's memory,
// and `jq .` timed on the same bytes.

#include <QByteArray>
#include <QString>

// Resident memory of the process in KiB: now (AField "VmRSS") or the peak since ResetPeak
// ("VmHWM").
long long MemoryKb(const char* AField);
void ResetPeak();

// A compact JSON answer of about ASize bytes on one line; AWide writes the names in the answer as
// their characters rather than as escapes.
QByteArray CompactJson(qsizetype ASize, bool AWide = false);
// Log lines; AWide puts player names in other scripts (wide characters, marks) in each line.
QByteArray LogLines(qsizetype ASize, bool AWide = false);

// Seconds `AJq .` takes on ABytes, output dropped; negative when it cannot run.
double JqSeconds(const QString& AJq, const QByteArray& ABytes);
