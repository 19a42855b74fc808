#pragma once

#include <QString>

// A size in bytes as every window shows it: in the locale's digits, in binary units with two
// decimals ("512 bytes", "2.93 KiB", "20.00 MiB").
QString DataSizeText(qint64 ABytes);
