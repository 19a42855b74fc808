#include "WindowAccessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

QAccessibleInterface* Factory(const QString& AClassName, QObject* AObject) {
    if (!AObject || !AObject->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(AObject);
    if (!widget->isWindow())
        return nullptr;
    if (AClassName == QLatin1String("TMainForm") || AClassName == QLatin1String("THistoryForm"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (AClassName == QLatin1String("TGoToCommandPopup"))
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    return nullptr;
}

} // namespace

void InstallWindowAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}
