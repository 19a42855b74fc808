#pragma once

#include <QString>

class QWidget;

// The application title: the program file's name without folder and without everything from
// its first "." on, every character after the first in lower case.
QString ApplicationTitle(const QString& AProgramPath);

// The text of the application error box: a full stop is added when the message does not end in
// ".", a blank, ")" or another character at or below "."; an empty message stays empty.
QString ApplicationErrorText(const QString& AMessage);

// Shows an error that escaped an event handler: a modal box titled with the application title,
// the error icon and one "OK" button.
void ShowApplicationError(QWidget* AParent, const QString& AMessage);
