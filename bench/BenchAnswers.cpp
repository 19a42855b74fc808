#include "BenchAnswers.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>

#include <fstream>
#include <string>

long long MemoryKb(const char* AField) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string field = std::string(AField) + ":";
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(field.size()));
    return 0;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

QByteArray CompactJson(qsizetype ASize, bool AWide) {
    QByteArray text = R"({"Result":"Ok","Accounts":[)";
    text.reserve(ASize + 400);
    for (int i = 0; text.size() < ASize; ++i) {
        if (i > 0)
            text += ',';
        QByteArray record =
            QStringLiteral(R"({"Player":"player%1","Title":"","Level":"Gold","RealName":"Name %1",)"
                           R"("Location":"Ume\u00e5","Email":"p%1@example.com","Balance":%2.5,)"
                           R"("Permissions":["chat","play"],"LastLogin":"2026-12-10 03:27:00",)"
                           R"("Vip":%3,"Notes":null})")
                .arg(i)
                .arg(i % 100000)
                .arg(i % 2 ? QStringLiteral("true") : QStringLiteral("false"))
                .toUtf8();
        if (AWide)
            record.replace("Ume\\u00e5", "Ume\xc3\xa5 \xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e");
        text += record;
    }
    text += "]}";
    return text;
}

QByteArray LogLines(qsizetype ASize, bool AWide) {
    QByteArray text;
    text.reserve(ASize + 200);
    for (int line = 0; text.size() < ASize; ++line)
        text += QStringLiteral("2026-12-10 03:27:%1 Info: table %2 hand %3 finished, pot 1250 "
                               "chips, rake 25 chips%4\n")
                    .arg(line % 60, 2, 10, QLatin1Char('0'))
                    .arg(line % 97)
                    .arg(line)
                    .arg(AWide ? QStringLiteral(", won by \u738b\u5c0f\u660e and "
                                                "Nguye\u0302\u0303n \U0001F600")
                               : QString())
                    .toUtf8();
    return text;
}

double JqSeconds(const QString& AJq, const QByteArray& ABytes) {
    if (AJq.isEmpty())
        return -1;
    QTemporaryFile file;
    if (!file.open())
        return -1;
    file.write(ABytes);
    file.flush();
    QProcess jq;
    jq.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    jq.start(AJq, {QStringLiteral("."), file.fileName()});
    if (!jq.waitForFinished(600000) || jq.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}
