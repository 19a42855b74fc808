#include "SendRequest.h"

#include <algorithm>

QString TrimControl(const QString& AText) {
    qsizetype begin = 0, end = AText.size();
    while (begin < end && AText[begin].unicode() <= 32)
        ++begin;
    while (end > begin && AText[end - 1].unicode() <= 32)
        --end;
    return AText.mid(begin, end - begin);
}

QString MissingConnectionField(const QString& AAddress, const QString& APort,
                               const QString& APath) {
    if (AAddress.isEmpty())
        return QStringLiteral("Server IP/domain missing");
    if (APort.isEmpty())
        return QStringLiteral("File port missing");
    if (APath.isEmpty())
        return QStringLiteral("API path missing");
    return {};
}

QString BuildURL(const QString& AAddress, const QString& APort, const QString& APath) {
    QString url = AAddress;
    if (!url.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        url.prepend(QLatin1String("http://"));
    if (APort != QLatin1String("80"))
        url += u':' + APort;
    return url + u'/' + APath;
}

TConnectionURL ConnectionURL(const QString& AAddress, const QString& APort, const QString& APath) {
    const QString address = TrimControl(AAddress);
    const QString port = TrimControl(APort);
    const QString path = TrimControl(APath);
    if (QString missing = MissingConnectionField(address, port, path); !missing.isEmpty())
        return {{}, std::move(missing)};
    return {BuildURL(address, port, path), {}};
}

TParamValues CommandLines(const TCommand& ACommand, bool AJSON) {
    TParamValues lines;
    for (const auto& param : ACommand.Params)
        lines.Add(QString::fromStdString(param->Name) + u'=');
    lines.SetValue(QStringLiteral("Command"), QString::fromStdString(ACommand.Name));
    lines.SetValue(QStringLiteral("Password"), QStringLiteral("(not shown)"));
    lines.SetValue(QStringLiteral("JSON"), AJSON ? QStringLiteral("Yes") : QStringLiteral("No"));
    return lines;
}

TParamValues ComposeForm(const TParamValues& AGrid, const std::function<bool(qsizetype)>& ATicked,
                         const QString& APassword) {
    TParamValues form;
    for (qsizetype row = 0; row < AGrid.Count(); ++row)
        if (ATicked(row))
            form.Add(AGrid.Line(row));
    form.SetValue(QStringLiteral("Password"), APassword);
    return form;
}

std::vector<std::u16string> WireLines(const TParamValues& AForm) {
    std::vector<std::u16string> lines;
    lines.reserve(static_cast<std::size_t>(AForm.Count()));
    for (const QString& line : AForm.AllLines())
        lines.push_back(line.toStdU16String());
    return lines;
}

QString UrlForDisplay(const QString& AURL) {
    const qsizetype scheme = AURL.indexOf(QStringLiteral("://"));
    const qsizetype authority = scheme < 0 ? 0 : scheme + 3;
    qsizetype end = AURL.size();
    for (const QChar stop : {u'/', u'?', u'#'})
        if (const qsizetype at = AURL.indexOf(stop, authority); at >= 0)
            end = std::min(end, at);
    const qsizetype at = AURL.lastIndexOf(u'@', end - 1);
    if (at < authority)
        return AURL;
    const qsizetype colon = AURL.indexOf(u':', authority);
    if (colon < 0 || colon > at)
        return AURL;
    return AURL.left(colon + 1) + QStringLiteral("***") + AURL.mid(at);
}
