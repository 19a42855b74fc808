#include "SendErrorDetails.h"

#include "SendCall.h"

#include <QByteArray>

#include <algorithm>
#include <string_view>

QString SendErrorDetails(const QString& AURL, const TCallResult& AResult) {
    QString text =
        QStringLiteral("URL: %1\nTime: %2 ms\n").arg(UrlForDisplay(AURL)).arg(AResult.DurationMs);
    if (!AResult.Refused)
        return text;
    // No UTF-16 unit takes less than one byte in UTF-8, so the limit in units is enough to
    // convert.
    const auto head = std::u16string_view(AResult.Text).substr(0, RefusedBodyLimit);
    QByteArray bytes = QString::fromStdU16String(std::u16string(head)).toUtf8();
    const bool cut = bytes.size() > RefusedBodyLimit || head.size() < AResult.Text.size();
    if (bytes.size() > RefusedBodyLimit) {
        qsizetype size = RefusedBodyLimit;
        while (size > 0 && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80)
            --size; // not inside a character
        bytes.truncate(size);
    }
    QString body = QString::fromUtf8(bytes);
    body.replace(QChar(0), QChar(0xFFFD)); // a NUL would end the text in the box
    text += QStringLiteral("\nThe server's answer%1:\n")
                .arg(cut ? QStringLiteral(" (its first 64 KiB)") : QString());
    text += body.isEmpty() ? QStringLiteral("(empty)") : body;
    return text;
}
