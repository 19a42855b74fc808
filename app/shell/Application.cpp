#include "Application.h"

#include "AppError.h"

#include <QThread>

#include <exception>

TApplication::TApplication(int& AArgc, char** AArgv) : QApplication(AArgc, AArgv) {}

bool TApplication::notify(QObject* AReceiver, QEvent* AEvent) {
    // Only the user-interface thread may show a box; other threads keep their own handling.
    if (QThread::currentThread() != thread())
        return QApplication::notify(AReceiver, AEvent);
    try {
        return QApplication::notify(AReceiver, AEvent);
    } catch (const std::exception& error) {
        ShowApplicationError(activeWindow(), QString::fromUtf8(error.what()));
        return true;
    }
}
