#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

struct TPreparedAnswer;

enum class THistoryOutcome { Answer, Error, Cancelled };

// One call as kept in the history. Fields are the form lines as sent, the password's value
// emptied; Answer is the answer text as stored (its first MaxAnswerBytes, AnswerCut when longer).
struct THistoryCall {
    qint64 Id = 0;
    QDateTime When; // UTC
    QString URL;
    QString Command;
    QStringList Fields;
    QString Format; // "JSON" or "Legacy"
    THistoryOutcome Outcome = THistoryOutcome::Answer;
    QString ErrorText;
    QString StatusLine;
    QString ContentType;
    QString CharSet;
    qint64 DurationMs = 0;
    qint64 AnswerSize = 0; // bytes of the answer as received
    QString Answer;
    // The answer as UTF-8, recorded in place of Answer when not null: a caller that has the
    // bytes spares the store a copy of the text twice the size.
    QByteArray AnswerUtf8;
    // The answer compressed with AnswerBlob, when not null: a caller that compressed it while the
    // rest of it came spares the store the work. Given without AnswerUtf8 and Answer, the text is
    // AnswerTextBytes long.
    QByteArray AnswerCompressed;
    qint64 AnswerTextBytes = 0;
    bool AnswerCut = false;
    // The server profile the call went to; empty when it went elsewhere or was kept before
    // there were profiles.
    QString Profile;
    // The entry of the read sent first to keep what the call changed as it was before (0: none).
    qint64 BeforeCopyId = 0;
    // That read, when it is to be recorded with the call: kept first, as an entry of its own,
    // and the call's entry linked to it (Record fills BeforeCopyId).
    std::shared_ptr<const THistoryCall> BeforeCopy;
};

// A call as the list shows it: neither its fields nor its answer.
struct THistorySummary {
    qint64 Id = 0;
    QDateTime When; // UTC
    QString Command;
    QString Outcome; // THistoryStore::OutcomeName
    QString StatusLine;
    qint64 DurationMs = 0;
    qint64 AnswerSize = 0;
    bool AnswerCut = false;
    QString ErrorText;
    QString URL;     // the address called
    QString Profile; // the server profile called, empty before profiles were kept
    qint64 BeforeCopyId = 0;
    bool Run = false;          // the entry stands for a run of rows (its status line sums them up)
    bool IsBeforeCopy = false; // the entry is the read sent first by a call that names it
};

// When the write-ahead journal goes into the file: as the last connection closes, or as the next
// one opens, so that a short-lived process does not wait for it at its end. "Folding" is SQLite's
// WAL checkpoint: the journal's pages copied back into the database file.
enum class THistoryFolding { OnClose, OnNextOpen };

// When the words of an answer go into the word index: at once, or later for a large answer, so
// that recording it stays quick (the fields are indexed at once either way). Background (a
// recorder's only): later, by the recorder that kept it, after the jobs queued before.
enum class THistoryIndexing { Immediate, DeferLarge, Background };

struct THistoryLimits {
    int MaxCalls = 2000;
    qint64 MaxStoredBytes = qint64(512) << 20; // compressed answers, all calls together
    qint64 MaxAnswerBytes = qint64(16) << 20;  // UTF-8 text of one answer
};

// A failure of the history database; Damaged when the file is not a usable database at all.
class EHistoryError : public std::runtime_error {
public:
    EHistoryError(const QString& AMessage, bool ADamaged)
        : std::runtime_error(AMessage.toStdString()), FDamaged(ADamaged) {}
    bool Damaged() const { return FDamaged; }

private:
    bool FDamaged;
};

// The history database "history.sqlite" in a folder of its own (0700, the file 0600), in WAL
// mode, one transaction per call, the oldest calls dropped beyond the limits. An instance holds
// one connection and is used by one thread only.
class THistoryStore {
public:
    // AFolder empty: the user's data folder ($XDG_DATA_HOME/vlcallbench).
    explicit THistoryStore(QString AFolder = {}, THistoryLimits ALimits = {});
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    static QString DefaultFolder();
    static constexpr int SchemaVersion = 7;
    // Answers longer than this are indexed later when recording defers it.
    static constexpr qint64 DeferIndexBytes = qint64(256) << 10;
    QString FileName() const;

    // Opens the database for recording, creating it as needed, and brings its schema up to date
    // (a new file opened by several processes at once included). A damaged file is moved aside
    // (with its journal, by one process only, under a name no other file has) and a new one
    // created; the name it was moved to is returned, else an empty text. AVerify checks every
    // page and the word index first, for a file that failed as damaged before. Throws
    // EHistoryError when no database can be used.
    QString Open(bool AVerify = false);
    // For the next Open: OnNextOpen folds what an earlier connection left in the journal at once
    // and leaves this connection's own for the next one.
    void SetFolding(THistoryFolding AFolding) { FFolding = AFolding; }
    // Opens an existing database for reading only; throws EHistoryError when there is none.
    void OpenForReading();
    bool IsOpen() const;
    void Close();
    // Whether the answers and fields can be searched by word (the SQLite build has FTS5).
    bool Searchable() const { return FSearchable; }

    // Records one call in one transaction, dropping the oldest beyond the limits; returns its id.
    // Its before copy, when it has one, is recorded first, in a transaction of its own.
    // DeferLarge: a large answer is kept at once but its words are indexed later
    // (IndexPendingAnswers). AReplacing: the id of a call the new one takes the place of in the
    // same transaction (a run of rows kept as one entry as it goes on), 0 for none.
    qint64 Record(const THistoryCall& ACall,
                  THistoryIndexing AIndexing = THistoryIndexing::Immediate, qint64 AReplacing = 0);
    // Indexes the words of up to AMax answers whose indexing was deferred (all for a negative
    // AMax), each in a transaction of its own; returns whether any are still waiting. A store open
    // for reading only does it through a connection of its own for the while.
    bool IndexPendingAnswers(int AMax = -1);
    // Deletes every call and compacts the file.
    void Clear();
    // A call with its answer, or nothing when it is gone.
    std::optional<THistoryCall> Load(qint64 AId) const;

    // The summaries of the calls matching AFilter (all for an empty one), newest first. Answers
    // not yet indexed are indexed first, so the filter misses none: this may take seconds, so the
    // window uses List instead. A query still running on this store's connection keeps it on its
    // older snapshot, so finish that first.
    // The columns:
    // id, when, command, outcome, status line, duration, size, cut, error text, URL, profile,
    // before copy, run, is a before copy.
    QSqlQuery ListQuery(const QString& AFilter);
    // The same calls, read whole, so that no read is left open to hold back the folding of the
    // journal. Answers not yet indexed are not searched (see PendingAnswers). AStop is asked as
    // the query runs; once it answers true the listing stops and gives nothing.
    std::optional<std::vector<THistorySummary>> List(const QString& AFilter,
                                                     const std::function<bool()>& AStop = {});
    // How many answers wait for their words to be indexed.
    qint64 PendingAnswers();
    enum TListColumn {
        ListId,
        ListWhen,
        ListCommand,
        ListOutcome,
        ListStatus,
        ListDuration,
        ListSize,
        ListCut,
        ListError,
        ListURL,
        ListProfile,
        ListBeforeCopy,
        ListRun,
        ListIsBeforeCopy
    };

    // The lines as they may be kept: the value of every "Password" line emptied.
    static QStringList WithoutPassword(const QStringList& ALines);
    static QString OutcomeName(THistoryOutcome AOutcome);

private:
    // ARecording: the recorder's connection, which waits longer for the file.
    void Connect(bool AReadOnly, bool ARecording = false);
    // Whether the file this store connected to is still the one at FileName().
    bool StillAtItsName() const;
    void Migrate();
    void ApplyFolding();
    void Verify();
    QString MoveAside();
    qint64 Store(const THistoryCall& ACall, const TPreparedAnswer& AAnswer, qint64 AReplacing);
    void DropOldest(qint64 AKeepId);
    void Unindex(qint64 AId);
    bool IndexNextPendingAnswer();

    bool FReadOnly = false;
    THistoryFolding FFolding = THistoryFolding::OnClose;
    bool FTracksIndexing = false; // the schema knows answers not yet indexed
    bool FIndexesDecoded = false; // answers are indexed with their escapes decoded (version 5)
    bool FKnowsProfiles = true;   // the calls name their profile and before copy (version 7)
    // The columns of the profile and the before copy in a statement, or stand-ins for them.
    QString ProfileColumns() const;
    QString ProfileColumn() const; // the profile's alone, for the filter
    // The list's columns after the URL: the profile's and the before copy's, whether the entry
    // stands for a run of rows, and whether it is a call's before copy.
    QString ListColumns() const;
    QString FFolder;
    THistoryLimits FLimits;
    QString FConnectionName;
    bool FSearchable = false;
    bool FHasRuns = true; // the runs' table is there (a file opened for reading may be older)
    // The file the connection has (device and inode) as it was opened.
    quint64 FFileDevice = 0;
    quint64 FFileInode = 0;
};
