#pragma once

// What the call history's tests share: calls to record, a history folder of their own, and what
// the list and the file hold. Header only, for the programs that link vl::history.

#include "HistoryRecorder.h"
#include "HistoryStore.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

// The password the made calls carry; no file of the history may hold it.
inline const QString HistoryTestPassword = QStringLiteral("Pw-7f3a91-secret");

inline THistoryCall MakeCall(const QString& ACommand, const QString& AAnswer,
                             THistoryOutcome AOutcome = THistoryOutcome::Answer) {
    THistoryCall call;
    call.URL = QStringLiteral("http://127.0.0.1:8087/api");
    call.Command = ACommand;
    call.Fields = {QStringLiteral("Command=") + ACommand,
                   QStringLiteral("Password=") + HistoryTestPassword, QStringLiteral("JSON=Yes"),
                   QStringLiteral("Player=Alice")};
    call.Format = QStringLiteral("JSON");
    call.Outcome = AOutcome;
    call.StatusLine = QStringLiteral("HTTP/1.1 200 OK");
    call.DurationMs = 42;
    call.Answer = AAnswer;
    return call;
}

// The ids the list shows for AFilter, in its order.
inline std::vector<qint64> ListedIds(THistoryStore& AStore, const QString& AFilter) {
    QSqlQuery query = AStore.ListQuery(AFilter);
    std::vector<qint64> ids;
    while (query.next())
        ids.push_back(query.value(THistoryStore::ListId).toLongLong());
    return ids;
}

// Calls whose answers were not indexed yet, as the file holds them.
inline std::vector<qint64> PendingIds(const QString& AFile) {
    std::vector<qint64> ids;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(AFile);
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT id FROM calls WHERE answer_indexed = 0")));
        while (query.next())
            ids.push_back(query.value(0).toLongLong());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return ids;
}

// How many calls the word index holds ATerm for, as the file has it.
inline int IndexedCalls(const QString& AFile, const QString& ATerm) {
    int calls = -1;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("vocabulary"));
        db.setDatabaseName(AFile);
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral(
            "CREATE VIRTUAL TABLE temp.words USING fts5vocab(main, calls_fts, 'row')")));
        query.prepare(
            QStringLiteral("SELECT coalesce(sum(doc), 0) FROM temp.words WHERE term = ?"));
        query.addBindValue(ATerm);
        EXPECT_TRUE(query.exec() && query.next());
        calls = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("vocabulary"));
    return calls;
}

// Random bytes in printable form compress poorly, so stored sizes stay near the text's size.
inline QString Incompressible(int ALength) {
    QString text;
    for (int i = 0; i < ALength; ++i)
        text.append(QChar(u'!' + QRandomGenerator::global()->bounded(90)));
    return text;
}

// A history folder of the test's own, removed after it.
class THistoryFolderTest : public ::testing::Test {
protected:
    QTemporaryDir FDir;
    QString Folder() const { return FDir.filePath(QStringLiteral("vlcallbench")); }

    // Records the calls through a recorder that is gone when this returns; the ids in order.
    std::vector<qint64> RecordAll(const std::vector<THistoryCall>& ACalls,
                                  THistoryLimits ALimits = {}) {
        THistoryRecorder recorder(Folder(), ALimits);
        std::vector<qint64> ids;
        QObject::connect(&recorder, &THistoryRecorder::Recorded,
                         [&](qint64 AId) { ids.push_back(AId); });
        for (const THistoryCall& call : ACalls)
            recorder.Record(call);
        recorder.WaitIdle();
        EXPECT_EQ(recorder.Status(), QString());
        QCoreApplication::processEvents();
        return ids;
    }
};
