#include "SecretParams.h"

#include <algorithm>

QStringList SecretNames(const TCommand& ACommand) {
    QStringList names;
    for (const auto& param : ACommand.Params)
        if (param->Secret)
            names << QString::fromStdString(param->Name);
    return names;
}

bool IsSecretName(const QStringList& ASecretNames, QStringView AName) {
    return std::any_of(ASecretNames.begin(), ASecretNames.end(), [AName](const QString& ASecret) {
        return AName.compare(ASecret, Qt::CaseInsensitive) == 0;
    });
}

QString SecretVariable(QStringView AName) {
    QString variable = QStringLiteral("VL_");
    for (const QChar c : AName) {
        // A shell variable's name: ASCII letters, digits and "_".
        const bool plain = c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_');
        variable += plain ? c.toUpper() : QChar(u'_');
    }
    return variable;
}

QStringList WithoutSecrets(const QStringList& ALines, const QStringList& ASecretNames) {
    QStringList lines = ALines;
    for (QString& line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals >= 0 && IsSecretName(ASecretNames, QStringView(line).left(equals)))
            line.truncate(equals + 1);
    }
    return lines;
}
