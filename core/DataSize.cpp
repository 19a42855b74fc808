#include "DataSize.h"

#include <QLocale>

QString DataSizeText(qint64 ABytes) {
    return QLocale().formattedDataSize(ABytes);
}
