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

namespace {

// Where the host begins in an address: after its "://", or at once in one BuildURL puts "http://"
// in front of; -1 in one that begins with "http" but has no "://", which BuildURL takes as it is.
qsizetype HostStart(const QString& AAddress) {
    if (!AAddress.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        return 0;
    const qsizetype scheme = AAddress.indexOf(QLatin1String("://"));
    return scheme < 0 ? -1 : scheme + 3;
}

bool IsSlash(QChar AChar) {
    return AChar == u'/' || AChar == u'\\';
}

// Why the port cannot follow AHost (the address from its host on): anything after the host name
// would stand between it and the port, and the call, password and all, would go to the scheme's
// port with the typed port in its path, or fail on a port of two numbers.
QString PortConflict(const QString& ATyped, QStringView AHost, const QString& APort) {
    for (const QChar stop : {u'/', u'\\', u'?', u'#'})
        if (AHost.contains(stop))
            return QStringLiteral("Server address \"%1\" is more than a host name; port \"%2\" "
                                  "cannot follow it")
                .arg(ATyped, APort);
    const QStringView hostPort = AHost.mid(AHost.lastIndexOf(u'@') + 1);
    // More than one ":" without brackets is no host and port; the HTTP client names what it is.
    const bool ownPort = hostPort.startsWith(u'[') ? hostPort.contains(QLatin1String("]:"))
                                                   : hostPort.count(u':') == 1;
    if (ownPort)
        return QStringLiteral("Server address \"%1\" has a port of its own besides port \"%2\"")
            .arg(ATyped, APort);
    return {};
}

} // namespace

TConnectionURL ConnectionURL(const QString& AAddress, const QString& APort, const QString& APath) {
    const QString typed = TrimControl(AAddress);
    const QString port = TrimControl(APort);
    const QString path = TrimControl(APath);
    // The address names a host only; a "/" after it (a habit from browsers) is dropped, as BuildURL
    // would put the port behind it.
    QString address = typed;
    const qsizetype host = HostStart(address);
    if (host >= 0)
        while (address.size() > host && IsSlash(address.back()))
            address.chop(1);
    if (QString missing = MissingConnectionField(address, port, path); !missing.isEmpty())
        return {{}, std::move(missing)};
    if (host >= 0 && port != QLatin1String("80"))
        if (QString conflict = PortConflict(typed, QStringView(address).mid(host), port);
            !conflict.isEmpty())
            return {{}, std::move(conflict)};
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
