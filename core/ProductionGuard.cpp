#include "ProductionGuard.h"

bool NeedsConfirmation(const TCommand& ACommand, bool AProduction) {
    return AProduction && !ACommand.Header && ACommand.Class != TCommandClass::Read;
}

QString ClassEffect(TCommandClass AClass) {
    switch (AClass) {
    case TCommandClass::Read:
        return QStringLiteral("reads data");
    case TCommandClass::Change:
        return QStringLiteral("changes data");
    case TCommandClass::Money:
        return QStringLiteral("moves money");
    case TCommandClass::Remove:
        return QStringLiteral("removes data");
    }
    return QStringLiteral("changes data");
}

QString GuardStatement(const TCommand& ACommand, const QString& AProfile) {
    return QStringLiteral("%1 %2 on production profile '%3'")
        .arg(QString::fromStdString(ACommand.Name), ClassEffect(ACommand.Class), AProfile);
}
