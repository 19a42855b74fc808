// The main of widget tests: one application object that lives exactly as long as the tests, so
// Qt is torn down before the process's own exit handlers run.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests need no display; listing the tests at build time has none.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
