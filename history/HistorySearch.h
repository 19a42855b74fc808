#pragma once

#include "HistoryStore.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// A filter text as the store searches it: every word with a letter or digit as a prefix in the
// word index, all of them required, and the whole text inside the command name. Words without a
// letter or digit cannot be searched by word; a text of only those is looked for inside the
// command, the fields and the error instead.
struct THistoryFilter {
    explicit THistoryFilter(const QString& AText);

    QString Text; // trimmed
    // One FTS5 query per word, the longest first, as a long prefix usually finds fewest calls. A
    // word that begins another word of the filter is left out: whatever that one finds, it
    // finds too.
    QStringList Terms;
};

// The window's searches, off its thread. A filter runs on a reading connection of a worker of its
// own, and a newer one stops it as it runs. The answers others left to be indexed later are
// indexed meanwhile by a second worker, one per transaction, while the list shows what is found
// so far. Results come back as signals on the owner's thread.
class THistorySearch : public QObject {
    Q_OBJECT
public:
    explicit THistorySearch(QString AFolder, QObject* AParent = nullptr);
    // Stops the query at once; an answer being indexed is finished first.
    ~THistorySearch() override;
    THistorySearch(const THistorySearch&) = delete;
    THistorySearch& operator=(const THistorySearch&) = delete;

    // Lists the calls matching AFilter: Listed follows, unless a newer Search or a Stop comes
    // first. A filter that searches words starts the indexing of the answers still waiting.
    void Search(const QString& AFilter);
    // Stops the search under way, and the indexing after the answer in hand.
    void Stop();
    // Both workers open the file afresh before their next step: it was replaced.
    void Reopen();
    // A search whose Listed is still to come.
    bool Busy() const { return FListed != FGeneration.load(); }

signals:
    // The calls matching the latest filter, newest first, or the failure to read them.
    void Listed(const std::vector<THistorySummary>& ACalls, const QString& AError);
    // Answers still waiting to be indexed: as the indexing starts, after each one, 0 at the end.
    void Indexing(qint64 ALeft);
    // The indexing stopped on a failure; the next search that needs it starts it again.
    void IndexingFailed(const QString& AError);

private:
    void RunQueries();
    void RunIndexing();
    void StartIndexing();

    const QString FFolder;
    std::atomic<quint64> FGeneration{0}; // of the latest Search or Stop
    quint64 FListed = 0;                 // the generation last listed; owner's thread only

    std::mutex FMutex;
    std::condition_variable FQueryWake;
    std::condition_variable FIndexWake;
    QString FFilter;            // of the search waiting to run
    bool FQueryWaiting = false; // a search waits to run
    bool FIndexWanted = false;  // answers wait and a search needs them
    // The file was replaced: each worker opens it afresh before its next step.
    bool FQueryReopen = false;
    bool FIndexReopen = false;
    bool FStopping = false;
    quint64 FStops = 0; // Stop calls so far

    std::thread FQueries;
    std::thread FIndexer;
};
