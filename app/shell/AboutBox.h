#pragma once

#include <QString>

class QWidget;

// The About box's text (rich text): the program and its version, the keyboard shortcuts of each
// window and the Qt version it runs on.
QString AboutText();

// Shows the About box, modal over AParent.
void ShowAboutBox(QWidget* AParent);
