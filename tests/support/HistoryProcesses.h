#pragma once

// Processes that record into one call history at the same moment, as calls of vlcallbench-call
// started together do: the test program runs copies of itself, each running only the case that
// calls RunHistoryProcess. Header only, for the programs that link vl::history.

#include "HistoryCallFixture.h"
#include "ToolProcess.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

inline constexpr const char* HistoryProcessFolder = "VL_HISTORY_PROCESS_FOLDER";
inline constexpr const char* HistoryProcessStart = "VL_HISTORY_PROCESS_START";
inline constexpr const char* HistoryProcessCommand = "VL_HISTORY_PROCESS_COMMAND";
inline constexpr const char* HistoryProcessReady = "history process ready\n";
inline constexpr const char* HistoryProcessStatus = "history status:";

// The body of the case the copies run: once every copy has started, records one call as the call
// tool does and prints the recorder's status. Skipped in a run of its own.
inline void RunHistoryProcess() {
    const char* folder = std::getenv(HistoryProcessFolder);
    const char* start = std::getenv(HistoryProcessStart);
    const char* command = std::getenv(HistoryProcessCommand);
    if (folder == nullptr || start == nullptr || command == nullptr)
        GTEST_SKIP() << "run by the tests that start several processes";
    const int gate = ::open(start, O_RDONLY | O_CLOEXEC);
    ASSERT_GE(gate, 0);
    std::cout << HistoryProcessReady << std::flush;
    // The starter holds the gate until every copy is here.
    ASSERT_EQ(::flock(gate, LOCK_SH), 0);
    ::close(gate);
    THistoryRecorder recorder(QString::fromUtf8(folder), {}, THistoryIndexing::DeferLarge,
                              THistoryFolding::OnNextOpen);
    recorder.Record(MakeCall(QString::fromUtf8(command), QStringLiteral("{\"Result\":\"Ok\"}")));
    recorder.WaitIdle();
    std::cout << HistoryProcessStatus << recorder.Status().toStdString() << '\n' << std::flush;
}

// Runs ACommands.size() copies of this test program together, each recording one call named by
// its command into AFolder; the status each printed, or what went wrong with it. AGate: a file
// the copies wait on, outside the history's folder.
inline std::vector<std::string> RunHistoryProcesses(const QString& AFolder, const QString& AGate,
                                                    const std::vector<QString>& ACommands) {
    QFile gateFile(AGate);
    if (!gateFile.open(QIODevice::WriteOnly))
        return {"cannot make the gate " + AGate.toStdString()};
    if (::flock(gateFile.handle(), LOCK_EX) != 0)
        return {"cannot hold the gate"};
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    std::vector<std::unique_ptr<TToolProcess>> processes;
    processes.reserve(ACommands.size());
    for (const QString& command : ACommands)
        processes.push_back(std::make_unique<TToolProcess>(
            program, std::vector<std::string>{"--gtest_filter=HistoryProcess.*"},
            std::vector<std::string>{
                std::string(HistoryProcessFolder) + '=' + AFolder.toStdString(),
                std::string(HistoryProcessStart) + '=' + AGate.toStdString(),
                std::string(HistoryProcessCommand) + '=' + command.toStdString()}));
    for (const auto& process : processes)
        while (process->Out.find(HistoryProcessReady) == std::string::npos)
            if (!process->WaitForOut(process->Out.size() + 1))
                break;
    ::flock(gateFile.handle(), LOCK_UN);
    std::vector<std::string> statuses;
    statuses.reserve(processes.size());
    for (const auto& process : processes) {
        const int exitCode = process->Finish();
        const std::size_t at = process->Out.find(HistoryProcessStatus);
        if (exitCode != 0 || at == std::string::npos) {
            statuses.push_back("ended with " + std::to_string(exitCode) + ": " + process->Out +
                               process->Err);
            continue;
        }
        const std::size_t from = at + std::string(HistoryProcessStatus).size();
        statuses.push_back(process->Out.substr(from, process->Out.find('\n', from) - from));
    }
    return statuses;
}
