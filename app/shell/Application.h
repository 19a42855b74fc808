#pragma once

#include <QApplication>

// The program's application object. An error that escapes an event handler on the
// user-interface thread is shown in the application error box, and the rest of that handler is
// abandoned; the program goes on with the next event. Handlers therefore need no guard of their
// own.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& AArgc, char** AArgv);

    bool notify(QObject* AReceiver, QEvent* AEvent) override;
};
