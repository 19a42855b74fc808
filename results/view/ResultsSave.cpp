#include "ResultsSave.h"

#include "TextDocument.h"

#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStorageInfo>
#include <QStringView>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstring>
#include <new>

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

// Why a write or the commit failed: the file's own words, or the system's when it has none.
QString Failure(const QSaveFile& AFile, int AErrno) {
    QString said = AFile.errorString();
    if (AFile.error() != QFileDevice::NoError && !said.isEmpty() &&
        said != QLatin1String("Unknown error"))
        return said;
    if (AErrno != 0)
        return QString::fromLocal8Bit(std::strerror(AErrno));
    return QStringLiteral("The file could not be written whole.");
}

QString Size(int64_t ABytes) {
    return QLocale().formattedDataSize(ABytes, 2, QLocale::DataSizeTraditionalFormat);
}

QString WriteText(const QString& APath, const std::u16string& AAnswer,
                  const TTextDocument* APretty) {
    // UTF-8 takes at least a byte for every UTF-16 unit: a disk with less room is told at once
    // rather than after it is filled.
    const int64_t atLeast = APretty ? APretty->Length() : static_cast<int64_t>(AAnswer.size());
    const QStorageInfo disk(QFileInfo(APath).absolutePath());
    if (disk.isValid() && disk.bytesAvailable() >= 0 && atLeast > disk.bytesAvailable())
        return QStringLiteral("There is not enough space on the disk: the text needs at least "
                              "%1, and %2 is free.")
            .arg(Size(atLeast), Size(disk.bytesAvailable()));
    QSaveFile file(APath);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return Failure(file, errno);
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
        QString error = Failure(file, errno);
        file.cancelWriting();
        return error;
    }
    errno = 0;
    if (!file.commit())
        return Failure(file, errno);
    return {};
}

} // namespace

QString SaveResultsText(const QString& APath, const std::u16string& AAnswer,
                        const TTextDocument* APretty) {
    try {
        return WriteText(APath, AAnswer, APretty);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("There is not enough memory to write the text.");
    }
}

QFuture<QString> SaveResultsTextInBackground(const QString& APath,
                                             std::shared_ptr<const std::u16string> AAnswer,
                                             std::shared_ptr<const TTextDocument> APretty) {
    return QtConcurrent::run(&SavePool(),
                             [APath, AAnswer = std::move(AAnswer), APretty = std::move(APretty)] {
                                 return SaveResultsText(APath, *AAnswer, APretty.get());
                             });
}
