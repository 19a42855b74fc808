#include "CallLine.h"

#include "IdHTTPForm.h"
#include "SecretParams.h"

#include <algorithm>

namespace {

bool PlainWordCharacter(QChar AChar) {
    const char16_t c = AChar.unicode();
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           QStringView(u"_-.,:/=@%+").contains(AChar);
}

// "${VL_NAME}": in double quotes, so that the shell puts the value in as one word, whatever it
// holds.
QString SecretReference(const QString& AName) {
    return QStringLiteral("${") + SecretVariable(AName) + u'}';
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
                     const QStringList& ALines, const QStringList& ASecretNames, bool AForce) {
    QStringList words{QStringLiteral("vlcallbench-call"), QStringLiteral("--server"),
                      ShellWord(AURL)};
    if (!AJSON)
        words << QStringLiteral("--legacy");
    if (AForce)
        words << QStringLiteral("--force");
    words << ShellWord(ACommand);
    for (const QString& line : ALines) {
        const qsizetype equals = line.indexOf(u'=');
        const QString name = line.left(equals);
        if (equals > 0 && equals + 1 < line.size() && IsSecretName(ASecretNames, name))
            words << ShellWord(name + u'=') + u'"' + SecretReference(name) + u'"';
        else
            words << ShellWord(line);
    }
    return words.join(u' ');
}

QString CurlLine(const QString& AURL, const TParamValues& AForm, const QStringList& ASecretNames,
                 bool AShowSecrets, const TCurlTls& ATls) {
    QStringList words{QStringLiteral("curl"), QStringLiteral("-sS")};
    if (ATls.Insecure)
        words << QStringLiteral("--insecure");
    if (!ATls.CACertFile.isEmpty())
        words << QStringLiteral("--cacert") << ShellWord(ATls.CACertFile);
    if (const QString hex = ATls.PinnedKey.section(u':', 1);
        ATls.PinnedKey.startsWith(QLatin1String("sha256:")) && hex.size() == 64) {
        if (!ATls.Insecure)
            words << QStringLiteral("-k");
        words << QStringLiteral("--pinnedpubkey")
              << QStringLiteral("sha256//") + QByteArray::fromHex(hex.toLatin1()).toBase64();
    }
    // curl joins its data arguments with "&", so the lines around a secret go out as they are
    // and the secret alone is left to curl to encode.
    const auto hidden = [&](qsizetype AIndex) {
        if (AShowSecrets || AForm.Value(AIndex).isEmpty())
            return false;
        const QString name = AForm.Name(AIndex);
        return name.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0 ||
               IsSecretName(ASecretNames, name);
    };
    QStringList run;
    const auto flush = [&] {
        if (!run.isEmpty())
            words << QStringLiteral("--data-raw") << ShellWord(run.join(u'&'));
        run.clear();
    };
    for (qsizetype i = 0; i < AForm.Count(); ++i) {
        if (hidden(i)) {
            flush();
            words << QStringLiteral("--data-urlencode")
                  << u'"' + AForm.Name(i) + u'=' + SecretReference(AForm.Name(i)) + u'"';
        } else {
            run << EncodedLine(AForm.Line(i));
        }
    }
    flush();
    words << ShellWord(AURL);
    return words.join(u' ');
}
