#include "FilterMemory.h"

#include "SettingsStore.h"

#include <QSettings>

namespace {

// A command's subgroup: the characters that would open a group of their own are escaped.
QString CommandGroup(const QString& ACommand) {
    QString name = ACommand;
    name.replace(u'%', QLatin1String("%25"))
        .replace(u'/', QLatin1String("%2F"))
        .replace(u'\\', QLatin1String("%5C"));
    return QStringLiteral("JqFilters/") + name + u'/';
}

} // namespace

TFilterMemory::TFilterMemory(QString AFileName)
    : FFileName(AFileName.isEmpty() ? TSettingsStore::DefaultFileName() : std::move(AFileName)) {}

TRecentFilters TFilterMemory::Recent(const QString& ACommand) const {
    TRecentFilters recent;
    if (ACommand.isEmpty())
        return recent;
    const QSettings store(FFileName, QSettings::IniFormat);
    const QString group = CommandGroup(ACommand);
    for (int i = 1; i <= Limit; ++i) {
        const QVariant value = store.value(group + QString::number(i));
        // Values written by hand that are not text, or empty, are passed over.
        if (value.typeId() == QMetaType::QString && !value.toString().trimmed().isEmpty() &&
            !recent.Filters.contains(value.toString()))
            recent.Filters << value.toString();
    }
    recent.LastApplied =
        !recent.Filters.isEmpty() &&
        store.value(group + QStringLiteral("Applied")).toString() == QLatin1String("1");
    return recent;
}

void TFilterMemory::Use(const QString& ACommand, const QString& AFilter) {
    if (ACommand.isEmpty())
        return;
    TRecentFilters recent = Recent(ACommand);
    if (!AFilter.isEmpty() && recent.LastApplied && recent.Filters.front() == AFilter)
        return; // brought back and applied again: nothing changes
    if (!AFilter.isEmpty()) {
        recent.Filters.removeAll(AFilter);
        recent.Filters.prepend(AFilter);
        while (recent.Filters.size() > Limit)
            recent.Filters.removeLast();
    } else if (!recent.LastApplied) {
        return; // nothing changes
    }
    MakePrivateSettingsFile(FFileName);
    QSettings store(FFileName, QSettings::IniFormat);
    const QString group = CommandGroup(ACommand);
    store.remove(group.chopped(1));
    for (qsizetype i = 0; i < recent.Filters.size(); ++i)
        store.setValue(group + QString::number(i + 1), recent.Filters[i]);
    store.setValue(group + QStringLiteral("Applied"),
                   AFilter.isEmpty() ? QStringLiteral("0") : QStringLiteral("1"));
    store.sync();
    if (store.status() != QSettings::NoError)
        throw ESettingsError(
            QStringLiteral("Failed to set data for '%1'").arg(group.chopped(1)).toStdString());
}
