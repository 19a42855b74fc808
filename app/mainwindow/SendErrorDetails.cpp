#include "SendErrorDetails.h"

#include "CallFailure.h"
#include "CallResult.h"

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
    const QString body = WithVisibleNul(QString::fromUtf8(bytes)); // a NUL would end the box's text
    text += QStringLiteral("\nThe server's answer%1:\n")
                .arg(cut ? QStringLiteral(" (its first 64 KiB)") : QString());
    text += body.isEmpty() ? QStringLiteral("(empty)") : body;
    return text;
}
