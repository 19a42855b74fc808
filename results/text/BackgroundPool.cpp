#include "BackgroundPool.h"

#include <QThreadPool>

QThreadPool& BackgroundPool() {
    static QThreadPool pool;
    return pool;
}
