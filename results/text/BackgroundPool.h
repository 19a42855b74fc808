#pragma once

class QThreadPool;

// The threads that index, indent and search answers. Kept apart from Qt's global pool, which the
// painting code itself waits on: long work there could stall the window.
QThreadPool& BackgroundPool();
