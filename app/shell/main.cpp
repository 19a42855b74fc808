#include "AppError.h"
#include "Application.h"
#include "MainForm.h"
#include "StartCommandLine.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

namespace {

int Print(std::FILE* AFile, const std::string& AText, int AExitCode) {
    std::fwrite(AText.data(), 1, AText.size(), AFile);
    return std::fflush(AFile) == 0 ? AExitCode : 1;
}

} // namespace

int main(int argc, char** argv) {
    switch (ReadStartRequest({argv + 1, static_cast<std::size_t>(argc - 1)})) {
    case TStartRequest::ShowHelp:
        return Print(stdout, StartUsage(), 0);
    case TStartRequest::ShowVersion:
        return Print(stdout, StartVersionLine(), 0);
    case TStartRequest::Run:
        break;
    }
    TApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(VL_VERSION));
    // The application object has taken its own options; anything left is not the program's.
    if (argc > 1)
        return Print(
            stderr, "vlcallbench: unknown argument '" + std::string(argv[1]) + "'\n" + StartUsage(),
            2);
    // The window is built before the event loop runs, so an error there is shown here.
    std::unique_ptr<TMainForm> form;
    try {
        form = std::make_unique<TMainForm>();
    } catch (const std::exception& error) {
        ShowApplicationError(nullptr, QString::fromUtf8(error.what()));
        return 1;
    }
    form->show();
    return app.exec();
}
