#include "ResultsStatus.h"

#include "CallResult.h"
#include "DataSize.h"

#include <QLocale>
#include <QStringList>

QString ResultsStatusText(const TCallResult& AResult, qint64 ALineCount) {
    const QLocale locale;
    QStringList parts;
    if (!AResult.StatusLine.empty())
        parts << QString::fromStdString(AResult.StatusLine);
    parts << DataSizeText(AResult.ByteSize);
    if (ALineCount >= 0)
        parts << (ALineCount == 1 ? QStringLiteral("1 line")
                                  : QStringLiteral("%1 lines").arg(locale.toString(ALineCount)));
    if (AResult.KeptBytes >= 0)
        parts << QStringLiteral("first %1 of %2 kept")
                     .arg(DataSizeText(AResult.KeptBytes), DataSizeText(AResult.ByteSize));
    QString type = QString::fromStdString(AResult.ContentType);
    // A text read without a named charset was read byte by byte.
    const QString charSet = AResult.CharSet.empty() && AResult.CharSetAssumed
                                ? QStringLiteral("ISO-8859-1")
                                : QString::fromStdString(AResult.CharSet);
    if (!charSet.isEmpty())
        type += (type.isEmpty() ? QStringLiteral("charset=") : QStringLiteral("; charset=")) +
                charSet + (AResult.CharSetAssumed ? QStringLiteral(" (assumed)") : QString());
    if (!type.isEmpty())
        parts << type;
    parts << QStringLiteral("%1 ms").arg(locale.toString(AResult.DurationMs));
    return parts.join(QStringLiteral(" | "));
}
