#include "AppError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

QString ApplicationTitle(const QString& AProgramPath) {
    QString name = QFileInfo(AProgramPath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return name.left(1) + name.mid(1).toLower();
}

QString ApplicationErrorText(const QString& AMessage) {
    if (!AMessage.isEmpty() && AMessage.back().unicode() > u'.')
        return AMessage + u'.';
    return AMessage;
}

void ShowApplicationError(QWidget* AParent, const QString& AMessage) {
    QMessageBox box(QMessageBox::Critical,
                    ApplicationTitle(QCoreApplication::applicationFilePath()),
                    ApplicationErrorText(AMessage), QMessageBox::Ok, AParent);
    box.exec();
}
