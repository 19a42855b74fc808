#include "ResultsSave.h"

#include "TextDocument.h"

#include <QSaveFile>
#include <QStringView>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr std::size_t Piece = 1 << 20;

bool WriteUtf8(QSaveFile& AFile, std::u16string_view AText) {
    while (!AText.empty()) {
        std::size_t size = std::min(Piece, AText.size());
        // A surrogate pair is encoded whole.
        if (size < AText.size() && QChar::isHighSurrogate(AText[size - 1]))
            --size;
        const QByteArray bytes = QStringView(AText.data(), static_cast<qsizetype>(size)).toUtf8();
        if (AFile.write(bytes) != bytes.size())
            return false;
        AText.remove_prefix(size);
    }
    return true;
}

// Saving waits for the disk, not for a processor: its own thread, never queued behind indexing
// or a search.
QThreadPool& SavePool() {
    static QThreadPool pool;
    return pool;
}

} // namespace

QString SaveResultsText(const QString& APath, const std::u16string& AAnswer,
                        const TTextDocument* APretty) {
    QSaveFile file(APath);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    bool written = true;
    if (APretty) {
        std::u16string buffer;
        std::u16string line;
        for (int64_t i = 0; written && i < APretty->LineCount(); ++i) {
            buffer.append(APretty->Line(i, line));
            buffer.push_back(u'\n');
            if (buffer.size() >= Piece) {
                written = WriteUtf8(file, buffer);
                buffer.clear();
            }
        }
        written = written && WriteUtf8(file, buffer);
    } else {
        written = WriteUtf8(file, AAnswer);
    }
    if (!written) {
        QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

QFuture<QString> SaveResultsTextInBackground(const QString& APath,
                                             std::shared_ptr<const std::u16string> AAnswer,
                                             std::shared_ptr<const TTextDocument> APretty) {
    return QtConcurrent::run(&SavePool(),
                             [APath, AAnswer = std::move(AAnswer), APretty = std::move(APretty)] {
                                 return SaveResultsText(APath, *AAnswer, APretty.get());
                             });
}
