#include "AboutBox.h"

#include <QMessageBox>
#include <QtGlobal>

#include <span>

namespace {

struct TKey {
    const char* Keys;
    const char* What;
};

// Every window's keys; F1 shows them in each.
constexpr TKey MainWindowKeys[] = {
    {"Ctrl+Return", "Send the call"},
    {"Ctrl+K", "Go to command"},
    {"Ctrl+H", "Call history"},
    {"Ctrl+R", "Run the command for every row of a file"},
    {"Ctrl+Shift+C", "Copy the call as a vlcallbench-call line"},
    {"Ctrl+Alt+C", "Copy the call as a curl line"},
    {"Ctrl+Q", "Quit"},
    {"F1", "This box"},
};
constexpr TKey ResultsWindowKeys[] = {
    {"Ctrl+F", "Find"},
    {"F3, Shift+F3", "Next, previous match"},
    {"Ctrl+C, Ctrl+A", "Copy, select all"},
    {"Ctrl+S", "Save the answer as shown"},
    {"Ctrl+J", "Raw or Pretty (indented JSON)"},
    {"Ctrl+T", "Tree of the JSON answer"},
    {"Ctrl+B", "Table of an array of objects"},
    {"Ctrl+G", "jq filter over the answer, in every view"},
    {"Up, Down", "In the filter line: the filters used before"},
    {"Ctrl+Shift+C", "In the tree: copy the path"},
    {"Escape", "Close the find bar, leave the filter line"},
    {"Ctrl+W", "Close the window"},
};
constexpr TKey RowRunWindowKeys[] = {
    {"Alt+C", "Choose the file"},
    {"Alt+D, Alt+S", "Dry run, start (Alt+R: resume)"},
    {"Alt+P, Alt+T", "Pause (and go on), stop"},
    {"Alt+L", "Only failed and unknown rows"},
    {"Alt+E", "Export failed rows"},
};
constexpr TKey HistoryWindowKeys[] = {
    {"Enter, double-click", "Open the answer"},
    {"Ctrl+L", "Load the call into the grid"},
    {"Enter in the filter", "Go to the list"},
};

QString KeyTable(const char* ATitle, std::span<const TKey> AKeys) {
    QString rows;
    for (const TKey& key : AKeys)
        rows += QStringLiteral("<tr><td>%1</td><td>&nbsp;%2</td></tr>")
                    .arg(QString::fromLatin1(key.Keys), QString::fromLatin1(key.What));
    return QStringLiteral("<p>%1:</p><table>%2</table>").arg(QString::fromLatin1(ATitle), rows);
}

} // namespace

QString AboutText() {
    return QStringLiteral("<p><b>vlcallbench %1</b><br>Velvaro API Reference Utility</p>"
                          "<p>A reference for a Velvaro poker server's HTTP API and a console to "
                          "call it.</p>")
               .arg(QStringLiteral(VL_VERSION)) +
           KeyTable("Keyboard shortcuts", MainWindowKeys) +
           QStringLiteral("<p>Typing a command's name in the command tree finds it in any "
                          "group.</p>") +
           KeyTable("In the results window", ResultsWindowKeys) +
           KeyTable("In the history window", HistoryWindowKeys) +
           KeyTable("In the run for rows window", RowRunWindowKeys) +
           QStringLiteral("<p>Qt %1 (built with Qt %2)</p>")
               .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
}

void ShowAboutBox(QWidget* AParent) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("About vlcallbench"), AboutText(),
                    QMessageBox::Ok, AParent);
    box.setTextFormat(Qt::RichText);
    box.exec();
}
