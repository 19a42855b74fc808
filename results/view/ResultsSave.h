#pragma once

#include <QFuture>
#include <QString>

#include <memory>
#include <string>

class TTextDocument;

// Writes a results text to APath as UTF-8 through a temporary file that replaces APath only when
// complete, so a failed save leaves any earlier file as it was. The indented form of an answer
// (APretty) is written line by line; without it the answer is written as received. Returns why
// the save failed, or an empty text.
QString SaveResultsText(const QString& APath, const std::u16string& AAnswer,
                        const TTextDocument* APretty);

// SaveResultsText on a thread of its own, so that the window goes on while a large answer is
// written; the future holds its result. The texts are shared, not copied, and live until the
// write ends.
QFuture<QString> SaveResultsTextInBackground(const QString& APath,
                                             std::shared_ptr<const std::u16string> AAnswer,
                                             std::shared_ptr<const TTextDocument> APretty);
