#include "AboutBox.h"

#include <QMessageBox>
#include <QtGlobal>

QString AboutText() {
    return QStringLiteral(
               "<p><b>vlcallbench %1</b><br>Velvaro API Reference Utility</p>"
               "<p>A reference for a Velvaro poker server's HTTP API and a console to call "
               "it.</p>"
               "<p>Keyboard shortcuts:</p>"
               "<table>"
               "<tr><td>Ctrl+Return</td><td>&nbsp;Send the call</td></tr>"
               "<tr><td>Ctrl+K</td><td>&nbsp;Go to command</td></tr>"
               "<tr><td>Ctrl+H</td><td>&nbsp;Call history</td></tr>"
               "<tr><td>Ctrl+Shift+C</td><td>&nbsp;Copy the call as a vlcallbench-call "
               "line</td></tr>"
               "<tr><td>Ctrl+Alt+C</td><td>&nbsp;Copy the call as a curl line</td></tr>"
               "<tr><td>Ctrl+Q</td><td>&nbsp;Quit</td></tr>"
               "<tr><td>F1</td><td>&nbsp;This box</td></tr>"
               "</table>"
               "<p>Typing a command's name in the command tree finds it in any group.</p>"
               "<p>Qt %2 (built with Qt %3)</p>")
        .arg(QStringLiteral(VL_VERSION), QString::fromLatin1(qVersion()),
             QStringLiteral(QT_VERSION_STR));
}

void ShowAboutBox(QWidget* AParent) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("About vlcallbench"), AboutText(),
                    QMessageBox::Ok, AParent);
    box.setTextFormat(Qt::RichText);
    box.exec();
}
