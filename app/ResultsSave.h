#pragma once

#include <QString>

#include <string>

class TTextDocument;

// Writes a results text to APath as UTF-8 through a temporary file that replaces APath only when
// complete, so a failed save leaves any earlier file as it was. The indented form of an answer
// (APretty) is written line by line; without it the answer is written as received. Returns why
// the save failed, or an empty text.
QString SaveResultsText(const QString& APath, const std::u16string& AAnswer,
                        const TTextDocument* APretty);
