#include "ResultsStatus.h"

#include "CallResult.h"

#include <QLocale>
#include <QStringList>

QString ResultsStatusText(const TCallResult& AResult, qint64 ALineCount) {
    const QLocale locale;
    QStringList parts;
    if (!AResult.StatusLine.empty())
        parts << QString::fromStdString(AResult.StatusLine);
    parts << locale.formattedDataSize(AResult.ByteSize);
    if (ALineCount >= 0)
        parts << (ALineCount == 1 ? QStringLiteral("1 line")
                                  : QStringLiteral("%1 lines").arg(locale.toString(ALineCount)));
    QString type = QString::fromStdString(AResult.ContentType);
    if (!AResult.CharSet.empty())
        type += (type.isEmpty() ? QStringLiteral("charset=") : QStringLiteral("; charset=")) +
                QString::fromStdString(AResult.CharSet);
    if (!type.isEmpty())
        parts << type;
    parts << QStringLiteral("%1 ms").arg(locale.toString(AResult.DurationMs));
    return parts.join(QStringLiteral(" | "));
}
