// What a screen reader finds in every window: each window exposed as a window or dialog, and every
// control a user can act on named.

#include "GoToCommandPopup.h"
#include "HistoryForm.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "ResultsFindBar.h"
#include "ResultsForm.h"

#include <QAccessible>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

bool Interactive(QAccessible::Role ARole) {
    static const std::set<QAccessible::Role> roles = {
        QAccessible::EditableText, QAccessible::PushButton, QAccessible::CheckBox,
        QAccessible::RadioButton,  QAccessible::ComboBox,   QAccessible::List,
        QAccessible::Tree,         QAccessible::Table,      QAccessible::SpinBox,
        QAccessible::ButtonMenu,   QAccessible::Link,       QAccessible::Document,
        QAccessible::StaticText};
    return roles.count(ARole) != 0;
}

// Every visible element under AItem that a user can act on, without a name: "role at path".
void FindUnnamed(QAccessibleInterface* AItem, const QString& APath, QStringList& AUnnamed) {
    for (int i = 0; i < AItem->childCount(); ++i) {
        QAccessibleInterface* child = AItem->child(i);
        if (!child || child->state().invisible)
            continue;
        const QString path = APath + u'/' + QString::number(i);
        const QAccessible::Role role = child->role();
        // A label's name is its text; an empty one says nothing and is skipped.
        if (Interactive(role) && role != QAccessible::StaticText &&
            child->text(QAccessible::Name).trimmed().isEmpty())
            AUnnamed << QStringLiteral("role %1 at %2 (%3)")
                            .arg(int(role))
                            .arg(path, child->object()
                                           ? QString::fromLatin1(
                                                 child->object()->metaObject()->className())
                                           : QString());
        // The rows of a tree or list are the view's business.
        if (role != QAccessible::Tree && role != QAccessible::List && role != QAccessible::Table)
            FindUnnamed(child, path, AUnnamed);
    }
}

void ExpectWindowNamed(QWidget& AWindow) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&AWindow));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&AWindow);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->role() == QAccessible::Window || window->role() == QAccessible::Dialog)
        << AWindow.metaObject()->className() << " is role " << window->role();
    EXPECT_FALSE(window->text(QAccessible::Name).isEmpty()) << AWindow.metaObject()->className();
    QStringList unnamed;
    FindUnnamed(window, QString(), unnamed);
    EXPECT_TRUE(unnamed.isEmpty()) << AWindow.metaObject()->className() << ": "
                                   << unnamed.join(QStringLiteral(", ")).toStdString();
}

TEST(Accessibility, EveryWindowAndControlIsNamed) {
    QTemporaryDir folder;
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data")).toLocal8Bit());
    TMainForm form(folder.filePath(QStringLiteral("Tessarine.conf")));
    form.show();
    ExpectWindowNamed(form);

    TResultsForm& results = form.ResultsWindow();
    results.SetResultsText(QStringLiteral("{\"a\":1}"));
    results.FindBar->Open();
    results.show();
    ExpectWindowNamed(results);
    results.hide();

    form.ShowHistory();
    ExpectWindowNamed(*form.HistoryWindow());
    form.HistoryWindow()->hide();

    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_K, Qt::ControlModifier);
    ASSERT_NE(form.GoToCommandPopup, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.GoToCommandPopup->isVisible(); }, 5000));
    ExpectWindowNamed(*form.GoToCommandPopup);
}

} // namespace
