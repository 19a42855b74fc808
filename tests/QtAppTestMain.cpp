// The main of tests that need Qt's event loop, settings or fonts but no widgets: one application
// object for the whole run, a QGuiApplication on the offscreen platform when VL_TEST_GUI is
// defined, a QCoreApplication otherwise. The user's data folder is a temporary one, as for the
// widget tests.

#include <QTemporaryDir>

#ifdef VL_TEST_GUI
#include <QGuiApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir dataHome;
    setenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit().constData(), 1);
#ifdef VL_TEST_GUI
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
