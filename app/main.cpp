#include "MainForm.h"
#include "StartCommandLine.h"

#include <QApplication>

#include <cstdio>

namespace {

int Print(std::FILE* AFile, const std::string& AText, int AExitCode) {
    std::fwrite(AText.data(), 1, AText.size(), AFile);
    return std::fflush(AFile) == 0 ? AExitCode : 1;
}

} // namespace

int main(int argc, char** argv) {
    switch (ReadStartRequest({argv + 1, static_cast<std::size_t>(argc - 1)})) {
    case TStartRequest::Help:
        return Print(stdout, StartUsage(), 0);
    case TStartRequest::Version:
        return Print(stdout, StartVersionLine(), 0);
    case TStartRequest::Run:
        break;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(VL_VERSION));
    // The application object has taken its own options; anything left is not the program's.
    if (argc > 1)
        return Print(
            stderr, "vlcallbench: unknown argument '" + std::string(argv[1]) + "'\n" + StartUsage(),
            2);
    TMainForm form;
    form.show();
    return app.exec();
}
