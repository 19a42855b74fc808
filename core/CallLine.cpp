#include "CallLine.h"

#include "IdHTTPForm.h"

#include <algorithm>

namespace {

bool PlainWordCharacter(QChar AChar) {
    const char16_t c = AChar.unicode();
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           QStringView(u"_-.,:/=@%+").contains(AChar);
}

QString EncodedLine(const QString& ALine) {
    const std::string encoded = IdHTTPForm::EncodeLines({ALine.toStdU16String()});
    return QString::fromLatin1(encoded.data(), static_cast<qsizetype>(encoded.size()));
}

} // namespace

QString ShellWord(const QString& AText) {
    if (!AText.isEmpty() && std::all_of(AText.begin(), AText.end(), PlainWordCharacter))
        return AText;
    QString quoted = AText;
    quoted.replace(u'\'', QLatin1String("'\\''"));
    return u'\'' + quoted + u'\'';
}

QString CallToolLine(const QString& AURL, bool AJSON, const QString& ACommand,
                     const QStringList& ALines, bool AForce) {
    QStringList words{QStringLiteral("vlcallbench-call"), QStringLiteral("--server"),
                      ShellWord(AURL)};
    if (!AJSON)
        words << QStringLiteral("--legacy");
    if (AForce)
        words << QStringLiteral("--force");
    words << ShellWord(ACommand);
    for (const QString& line : ALines)
        words << ShellWord(line);
    return words.join(u' ');
}

QString CurlLine(const QString& AURL, const TParamValues& AForm, bool AShowPassword,
                 const TCurlTls& ATls) {
    QStringList words{QStringLiteral("curl"), QStringLiteral("-sS")};
    if (ATls.Insecure)
        words << QStringLiteral("--insecure");
    if (!ATls.CACertFile.isEmpty())
        words << QStringLiteral("--cacert") << ShellWord(ATls.CACertFile);
    // curl joins its data arguments with "&", so the lines around the password go out as they
    // are and the password alone is left to curl to encode.
    QStringList run;
    const auto flush = [&] {
        if (!run.isEmpty())
            words << QStringLiteral("--data-raw") << ShellWord(run.join(u'&'));
        run.clear();
    };
    for (qsizetype i = 0; i < AForm.Count(); ++i) {
        if (!AShowPassword &&
            AForm.Name(i).compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0) {
            flush();
            words << QStringLiteral("--data-urlencode")
                  << u'"' + AForm.Name(i) + QStringLiteral("=${VL_PASSWORD}\"");
        } else {
            run << EncodedLine(AForm.Line(i));
        }
    }
    flush();
    words << ShellWord(AURL);
    return words.join(u' ');
}
