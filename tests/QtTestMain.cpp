// The main of widget tests: one application object, the program's own, that lives exactly as
// long as the tests, so Qt is torn down before the process's own exit handlers run.

#include "Application.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

QtMessageHandler PreviousHandler = nullptr;

// A model check that fails (QAbstractItemModelTester in its warning mode) fails the running test.
void FailOnModelCheck(QtMsgType AType, const QMessageLogContext& AContext, const QString& AText) {
    if ((AType == QtWarningMsg || AType == QtCriticalMsg) && AContext.category &&
        std::strcmp(AContext.category, "qt.modeltest") == 0)
        ADD_FAILURE() << "model check: " << AText.toStdString();
    PreviousHandler(AType, AContext, AText);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests need no display; listing the tests at build time has none.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The window records its calls in the user's data folder; tests keep theirs to themselves.
    QTemporaryDir dataHome;
    setenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit().constData(), 1);
    TApplication app(argc, argv);
    PreviousHandler = qInstallMessageHandler(FailOnModelCheck);
    return RUN_ALL_TESTS();
}
