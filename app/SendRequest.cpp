#include "SendRequest.h"

QString TrimControl(const QString& AText) {
    qsizetype begin = 0, end = AText.size();
    while (begin < end && AText[begin].unicode() <= 32)
        ++begin;
    while (end > begin && AText[end - 1].unicode() <= 32)
        --end;
    return AText.mid(begin, end - begin);
}

QString BuildURL(const QString& AAddress, const QString& APort, const QString& APath) {
    QString url = AAddress;
    if (!url.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        url.prepend(QLatin1String("http://"));
    if (APort != QLatin1String("80"))
        url += u':' + APort;
    return url + u'/' + APath;
}
