#include "HistorySearch.h"

#include <QRegularExpression>

#include <algorithm>
#include <memory>

THistoryFilter::THistoryFilter(const QString& AText) : Text(AText.trimmed()) {
    QStringList words;
    for (const QString& word :
         Text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        if (std::any_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            words.append(word);
    std::stable_sort(words.begin(), words.end(),
                     [](const QString& A, const QString& B) { return A.size() > B.size(); });
    QStringList kept; // lower case, as the word index compares
    for (const QString& word : words) {
        const QString lower = word.toLower();
        if (std::any_of(kept.begin(), kept.end(),
                        [&](const QString& AKept) { return AKept.startsWith(lower); }))
            continue;
        kept.append(lower);
        QString quoted = word;
        quoted.replace(u'"', QStringLiteral("\"\""));
        Terms.append(u'"' + quoted + QStringLiteral("\"*"));
    }
}

THistorySearch::THistorySearch(QString AFolder, QObject* AParent)
    : QObject(AParent), FFolder(std::move(AFolder)) {
    FQueries = std::thread([this] { RunQueries(); });
    FIndexer = std::thread([this] { RunIndexing(); });
}

THistorySearch::~THistorySearch() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    ++FGeneration; // the query under way stops at its next step
    FQueryWake.notify_all();
    FIndexWake.notify_all();
    FQueries.join();
    FIndexer.join();
}

// The generation changes under the lock, so that the worker takes a filter with its own.
void THistorySearch::Search(const QString& AFilter) {
    {
        std::lock_guard lock(FMutex);
        FFilter = AFilter;
        FQueryWaiting = true;
        ++FGeneration;
    }
    FQueryWake.notify_one();
}

void THistorySearch::Stop() {
    std::lock_guard lock(FMutex);
    FQueryWaiting = false;
    FIndexWanted = false;
    ++FStops;
    FListed = ++FGeneration;
}

void THistorySearch::Reopen() {
    std::lock_guard lock(FMutex);
    FQueryReopen = true;
    FIndexReopen = true;
}

void THistorySearch::StartIndexing() {
    {
        std::lock_guard lock(FMutex);
        FIndexWanted = true;
    }
    FIndexWake.notify_one();
}

void THistorySearch::RunQueries() {
    std::unique_ptr<THistoryStore> store;
    for (;;) {
        QString filter;
        quint64 generation = 0;
        {
            std::unique_lock lock(FMutex);
            FQueryWake.wait(lock, [this] { return FStopping || FQueryWaiting; });
            if (FStopping)
                break;
            FQueryWaiting = false;
            filter = FFilter;
            // Read under the lock, so that it is the generation of this filter or a newer one.
            generation = FGeneration.load();
            if (FQueryReopen)
                store.reset();
            FQueryReopen = false;
        }
        const auto stale = [this, generation] { return FGeneration.load() != generation; };
        std::vector<THistorySummary> calls;
        QString error;
        bool pending = false;
        try {
            if (!store) {
                store = std::make_unique<THistoryStore>(FFolder);
                store->OpenForReading();
            }
            std::optional<std::vector<THistorySummary>> listed = store->List(filter, stale);
            if (!listed)
                continue;
            calls = std::move(*listed);
            pending = store->Searchable() && !THistoryFilter(filter).Terms.isEmpty() &&
                      store->PendingAnswers() > 0;
        } catch (const std::exception& failure) {
            if (stale())
                continue;
            error = QString::fromStdString(failure.what());
            // Opened again next time: the file may be made or replaced meanwhile.
            store.reset();
        }
        if (pending)
            StartIndexing();
        QMetaObject::invokeMethod(
            this,
            [this, generation, calls = std::move(calls), error] {
                if (generation != FGeneration.load())
                    return;
                FListed = generation;
                emit Listed(calls, error);
            },
            Qt::QueuedConnection);
    }
    store.reset(); // the connection closes on the thread that opened it
}

// One answer per step, and the count after it, so that the list can follow; a Stop or the end
// comes between answers.
void THistorySearch::RunIndexing() {
    std::unique_ptr<THistoryStore> store;
    for (;;) {
        quint64 stops = 0;
        {
            std::unique_lock lock(FMutex);
            FIndexWake.wait(lock, [this] { return FStopping || FIndexWanted; });
            if (FStopping)
                break;
            stops = FStops;
            if (FIndexReopen)
                store.reset();
            FIndexReopen = false;
        }
        try {
            if (!store) {
                store = std::make_unique<THistoryStore>(FFolder);
                store->OpenForReading();
            }
            const qint64 left = store->PendingAnswers();
            if (left == 0) {
                std::lock_guard lock(FMutex);
                FIndexWanted = false;
            }
            QMetaObject::invokeMethod(
                this,
                [this, left, stops] {
                    // A count from before a Stop would announce indexing that no longer runs.
                    // Not one from before the end of the indexing, which may well come first:
                    // the list follows the indexing by the counts going down.
                    std::unique_lock lock(FMutex);
                    if (left > 0 && stops != FStops)
                        return;
                    lock.unlock();
                    emit Indexing(left);
                },
                Qt::QueuedConnection);
            if (left > 0)
                store->IndexPendingAnswers(1);
        } catch (const std::exception& failure) {
            {
                std::lock_guard lock(FMutex);
                FIndexWanted = false;
            }
            store.reset();
            QMetaObject::invokeMethod(
                this,
                [this, error = QString::fromStdString(failure.what())] {
                    emit IndexingFailed(error);
                },
                Qt::QueuedConnection);
        }
    }
    store.reset();
}
