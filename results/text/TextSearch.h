#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

class TTextDocument;

// Every place where ANeedle occurs in the shown text of ADocument, in order, as offsets of the
// shown text. Matches do not overlap and do not run across a line break. The text is searched in
// pieces on all processors. Empty when ACancel is set before the end.
std::vector<int64_t> FindAll(const TTextDocument& ADocument, const QString& ANeedle,
                             Qt::CaseSensitivity ACase, const std::atomic<bool>* ACancel = nullptr);
