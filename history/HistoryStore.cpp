#include "HistoryStore.h"

#include "AnswerBlob.h"
#include "HistorySearch.h"
#include "JsonEscapes.h"
#include "PreparedAnswer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;
constexpr int SqliteBusy = 5;

const QString FileBaseName = QStringLiteral("history.sqlite");

bool IsDamage(const QSqlError& AError) {
    const int code = AError.nativeErrorCode().toInt() & 0xff;
    return code == SqliteCorrupt || code == SqliteNotADatabase;
}

[[noreturn]] void Fail(const QString& AWhat, const QSqlError& AError) {
    throw EHistoryError(AWhat + QStringLiteral(": ") + AError.text(), IsDamage(AError));
}

void Exec(QSqlQuery& AQuery, const char* AWhat) {
    if (!AQuery.exec())
        Fail(QString::fromUtf8(AWhat), AQuery.lastError());
}

// Runs AStatement on AQuery, whose rows are read afterwards.
void Run(QSqlQuery& AQuery, const QString& AStatement) {
    if (!AQuery.exec(AStatement))
        Fail(AStatement.section(u' ', 0, 2), AQuery.lastError());
}

void Exec(const QSqlDatabase& ADatabase, const QString& AStatement) {
    QSqlQuery query(ADatabase);
    if (!query.exec(AStatement))
        Fail(AStatement.section(u' ', 0, 2), query.lastError());
}

QString FieldsJson(const QStringList& ALines) {
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(ALines)).toJson(QJsonDocument::Compact));
}

QStringList FieldsFromJson(const QString& AJson) {
    QStringList lines;
    for (const auto& line : QJsonDocument::fromJson(AJson.toUtf8()).array())
        lines.append(line.toString());
    return lines;
}

// The text the word index holds for the fields; rebuilt the same way to take a call out of it.
QString FieldsText(const QStringList& ALines) {
    return ALines.join(u'\n');
}

QString AnswerFromBlob(const QByteArray& ABlob) {
    return ABlob.isEmpty() ? QString() : QString::fromUtf8(AnswerBlob::Decompress(ABlob));
}

// How a call's answer is in the word index (the column answer_indexed). The index keeps no copy
// of the texts, so a call leaves it only when given the very text that went in.
enum TAnswerIndexed {
    AnswerWaiting = 0,  // in empty, its words to come (deferred)
    AnswerAsStored = 1, // the text as stored (before version 5)
    AnswerDecoded = 2,  // JSON's escapes decoded, as the results window shows them
};

// The UTF-8 text whose words are indexed for an answer: its \uXXXX escapes decoded, so that
// "Müller" finds an answer that sent "M\u00fcller".
QByteArray DecodedForIndex(QByteArray AText) {
    const auto size = static_cast<std::size_t>(AText.size());
    if (!HasDecodableEscape(std::string_view(AText.constData(), size)))
        return AText;
    char* data = AText.data(); // unshared from here on, so decoded in place
    AText.truncate(static_cast<qsizetype>(DecodeEscapes(std::string_view(data, size), data)));
    return AText;
}

// The text a stored answer went into the word index with.
QByteArray IndexedText(const QByteArray& ABlob, int AIndexed) {
    if (AIndexed == AnswerWaiting || ABlob.isEmpty())
        return QByteArray("");
    QByteArray text = AnswerBlob::Decompress(ABlob);
    return AIndexed == AnswerDecoded ? DecodedForIndex(std::move(text)) : text;
}

sqlite3* HandleOf(const QSqlDatabase& ADatabase) {
    const QVariant handle = ADatabase.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// A stop asked for while a statement runs on the connection interrupts it (SQLITE_INTERRUPT), so
// that a query nobody waits for any more does not go on to its end.
class TStopCheck {
public:
    TStopCheck(const QSqlDatabase& ADatabase, const std::function<bool()>& AStop)
        : FConnection(AStop ? HandleOf(ADatabase) : nullptr), FStop(AStop) {
        if (FConnection)
            sqlite3_progress_handler(FConnection, 1000, &TStopCheck::Asked, this);
    }
    ~TStopCheck() {
        if (FConnection)
            sqlite3_progress_handler(FConnection, 0, nullptr, nullptr);
    }
    TStopCheck(const TStopCheck&) = delete;
    TStopCheck& operator=(const TStopCheck&) = delete;

    // Once stopped, stopped for good: AStop is not asked again.
    bool Stopped() const {
        if (!FStopped && FStop && FStop())
            FStopped = true;
        return FStopped;
    }

private:
    static int Asked(void* ACheck) { return static_cast<TStopCheck*>(ACheck)->Stopped() ? 1 : 0; }

    sqlite3* FConnection;
    std::function<bool()> FStop;
    mutable bool FStopped = false;
};

// The ids of the calls whose words hold every term, ascending. Each term is a statement of its
// own, so that all its memory is given back before the next, a term that finds nothing ends the
// search, and a stop comes between terms (the word index expands a prefix in one step, which a
// stop cannot cut short). Nothing when stopped.
std::optional<std::vector<qint64>> MatchingIds(const QSqlDatabase& ADatabase,
                                               const QStringList& ATerms, const TStopCheck& AStop) {
    std::vector<qint64> ids;
    QSqlQuery match(ADatabase);
    match.setForwardOnly(true);
    for (qsizetype i = 0; i < ATerms.size(); ++i) {
        if (AStop.Stopped())
            return std::nullopt;
        match.prepare(
            QStringLiteral("SELECT rowid FROM calls_fts WHERE calls_fts MATCH ? ORDER BY rowid"));
        match.addBindValue(ATerms[i]);
        Exec(match, "Cannot search the calls");
        std::vector<qint64> found;
        while (match.next())
            found.push_back(match.value(0).toLongLong());
        if (match.lastError().isValid())
            Fail(QStringLiteral("Cannot search the calls"), match.lastError());
        match.finish();
        if (i == 0) {
            ids = std::move(found);
        } else {
            std::vector<qint64> both;
            std::set_intersection(ids.begin(), ids.end(), found.begin(), found.end(),
                                  std::back_inserter(both));
            ids = std::move(both);
        }
        if (ids.empty())
            break;
    }
    return ids;
}

// The list's columns after the URL, as THistoryStore::ListColumns gives them, and the profile's
// column (or a stand-in for it in a file without one).
struct TListColumns {
    QString More;
    QString Profile;
};

// The list's statement for AFilter, run; nothing when stopped. Texts are compared with instr()
// rather than LIKE, whose pattern has a length limit and must be escaped; lower() folds the
// same ASCII letters that LIKE would. The whole text is also looked for inside the command and
// the name of the profile called (which the word index does not hold), as a user types a part of
// either.
std::optional<QSqlQuery> SelectCalls(const QSqlDatabase& ADatabase, bool ASearchable,
                                     const QString& AFilter, bool AForwardOnly,
                                     const TStopCheck& AStop, const TListColumns& AColumns) {
    const THistoryFilter filter(AFilter);
    QSqlQuery query(ADatabase);
    query.setForwardOnly(AForwardOnly);
    const QString columns =
        QStringLiteral("SELECT id, when_utc, command, outcome, status_line, duration_ms, "
                       "answer_size, answer_cut, error, url, %1 FROM calls ")
            .arg(AColumns.More);
    const QString named =
        QStringLiteral("instr(lower(command), lower(?)) > 0 OR instr(lower(%1), lower(?)) > 0")
            .arg(AColumns.Profile);
    if (filter.Text.isEmpty()) {
        query.prepare(columns + QStringLiteral("ORDER BY id DESC"));
    } else if (ASearchable && !filter.Terms.isEmpty()) {
        const std::optional<std::vector<qint64>> ids = MatchingIds(ADatabase, filter.Terms, AStop);
        if (!ids)
            return std::nullopt;
        QJsonArray list;
        for (const qint64 id : *ids)
            list.append(id);
        query.prepare(columns + QStringLiteral("WHERE id IN (SELECT value FROM json_each(?)) OR ") +
                      named + QStringLiteral(" ORDER BY id DESC"));
        query.addBindValue(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
        query.addBindValue(filter.Text);
        query.addBindValue(filter.Text);
    } else {
        // The fields are looked for as the lines they are, not as the JSON that holds them, whose
        // quotes and backslashes are not the user's.
        query.prepare(columns + QStringLiteral("WHERE ") + named +
                      QStringLiteral(" OR EXISTS (SELECT 1 FROM json_each(fields) WHERE "
                                     "instr(lower(value), lower(?)) > 0) OR "
                                     "instr(lower(error), lower(?)) > 0 ORDER BY id DESC"));
        for (int i = 0; i < 4; ++i)
            query.addBindValue(filter.Text);
    }
    Exec(query, "Cannot list the calls");
    return query;
}

// An immediate transaction on a connection: begun as it is made, rolled back as it goes unless it
// was committed, so that a failure anywhere in between leaves the file as it was.
class TTransaction {
public:
    explicit TTransaction(const QSqlDatabase& ADatabase) : FDatabase(ADatabase) {
        Exec(FDatabase, QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~TTransaction() {
        if (!FCommitted)
            QSqlQuery(FDatabase).exec(QStringLiteral("ROLLBACK"));
    }
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    void Commit() {
        Exec(FDatabase, QStringLiteral("COMMIT"));
        FCommitted = true;
    }

private:
    QSqlDatabase FDatabase;
    bool FCommitted = false;
};

// The schema: each version's DDL, as the step from the version before runs it. Every step looks
// at what the file holds and adds only what is missing, so that a file whose version says less
// (or more) than its tables hold, as a migration interrupted or run by two processes at once may
// have left it, is brought to SchemaVersion by running them all. Files of every earlier version
// are kept in tests/data/history.

QStringList CallColumns(const QSqlDatabase& ADatabase) {
    QSqlQuery query(ADatabase);
    Run(query, QStringLiteral("SELECT name FROM pragma_table_info('calls')"));
    QStringList columns;
    while (query.next())
        columns.append(query.value(0).toString());
    return columns;
}

bool HasIndex(const QSqlDatabase& ADatabase, const QString& AName) {
    QSqlQuery query(ADatabase);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?"));
    query.addBindValue(AName);
    Exec(query, "Cannot read the schema");
    return query.next();
}

void AddColumn(const QSqlDatabase& ADatabase, const QString& AName, const QString& ADefinition) {
    if (!CallColumns(ADatabase).contains(AName))
        Exec(ADatabase,
             QStringLiteral("ALTER TABLE calls ADD COLUMN %1 %2").arg(AName, ADefinition));
}

// Version 1: the calls and the word index over their command, fields and answer.
void MigrateTo1(const QSqlDatabase& ADatabase) {
    if (!CallColumns(ADatabase).isEmpty())
        return;
    Exec(ADatabase, QStringLiteral("CREATE TABLE calls ("
                                   "id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                   "when_utc TEXT NOT NULL,"
                                   "url TEXT NOT NULL,"
                                   "command TEXT NOT NULL,"
                                   "fields TEXT NOT NULL,"
                                   "format TEXT NOT NULL,"
                                   "outcome TEXT NOT NULL,"
                                   "error TEXT NOT NULL,"
                                   "status_line TEXT NOT NULL,"
                                   "duration_ms INTEGER NOT NULL,"
                                   "answer_size INTEGER NOT NULL,"
                                   "answer BLOB,"
                                   "answer_cut INTEGER NOT NULL,"
                                   "stored_size INTEGER NOT NULL)"));
    // Made only with the table: a contentless index cannot take in calls kept before it.
    // Without FTS5 in this SQLite the filter falls back to comparing the command and fields.
    QSqlQuery(ADatabase).exec(
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS calls_fts USING fts5(command, fields, "
                       "answer, content='')"));
}

// Version 2: the answer's content type and character set.
void MigrateTo2(const QSqlDatabase& ADatabase) {
    AddColumn(ADatabase, QStringLiteral("content_type"),
              QStringLiteral("TEXT NOT NULL DEFAULT ''"));
    AddColumn(ADatabase, QStringLiteral("charset"), QStringLiteral("TEXT NOT NULL DEFAULT ''"));
}

// Version 3: answers whose words are indexed later. Calls kept before were indexed as they were
// recorded.
void MigrateTo3(const QSqlDatabase& ADatabase) {
    AddColumn(ADatabase, QStringLiteral("answer_indexed"),
              QStringLiteral("INTEGER NOT NULL DEFAULT 1"));
    // The column comes after the answer in the row, so the waiting calls are found through an
    // index of their own rather than by reading every row past its answer.
    Exec(ADatabase, QStringLiteral("CREATE INDEX IF NOT EXISTS calls_unindexed ON calls (id) "
                                   "WHERE answer_indexed = 0"));
}

// Version 4: the sizes come after the answer in the row as well: counting them from the table
// reads every stored answer, so the limits are checked through an index that holds them.
void MigrateTo4(const QSqlDatabase& ADatabase) {
    Exec(ADatabase,
         QStringLiteral("CREATE INDEX IF NOT EXISTS calls_sizes ON calls (id, stored_size)"));
}

// Version 5: answers go into the word index with their escapes decoded (AnswerDecoded). Nothing
// is added: calls indexed before keep their words as they were, and each call says which way it
// went in, so that it can be taken out again. The version keeps earlier programs, which would
// take such a call out with the wrong text and damage the index, away from the file.
void MigrateTo5(const QSqlDatabase& /*ADatabase*/) {}

bool HasTable(const QSqlDatabase& ADatabase, const QString& AName) {
    QSqlQuery query(ADatabase);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    query.addBindValue(AName);
    Exec(query, "Cannot read the schema");
    return query.next();
}

// Version 6: the journal of row runs (RunJournal.cpp), one command sent once per row of a file.
// A row without an entry in run_rows is still pending; call_id is the history entry that stands
// for the whole run.
void MigrateTo6(const QSqlDatabase& ADatabase) {
    Exec(ADatabase, QStringLiteral("CREATE TABLE IF NOT EXISTS runs ("
                                   "id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                   "started_utc TEXT NOT NULL,"
                                   "file TEXT NOT NULL,"
                                   "sha256 TEXT NOT NULL,"
                                   "file_format TEXT NOT NULL,"
                                   "command TEXT NOT NULL,"
                                   "fixed TEXT NOT NULL,"
                                   "url TEXT NOT NULL,"
                                   "format TEXT NOT NULL,"
                                   "row_count INTEGER NOT NULL,"
                                   "call_id INTEGER)"));
    Exec(ADatabase, QStringLiteral("CREATE TABLE IF NOT EXISTS run_rows ("
                                   "run_id INTEGER NOT NULL,"
                                   "row INTEGER NOT NULL,"
                                   "state TEXT NOT NULL,"
                                   "fields TEXT NOT NULL,"
                                   "when_utc TEXT NOT NULL,"
                                   "status INTEGER NOT NULL DEFAULT 0,"
                                   "status_line TEXT NOT NULL DEFAULT '',"
                                   "error TEXT NOT NULL DEFAULT '',"
                                   "duration_ms INTEGER NOT NULL DEFAULT 0,"
                                   "answer TEXT NOT NULL DEFAULT '',"
                                   "answer_cut INTEGER NOT NULL DEFAULT 0,"
                                   "PRIMARY KEY (run_id, row))"));
}

// Version 7: the server profile a call went to, and the entry of the read sent before it to keep
// what the call changed as it was (0 for none). Calls kept before name no profile.
void MigrateTo7(const QSqlDatabase& ADatabase) {
    AddColumn(ADatabase, QStringLiteral("profile"), QStringLiteral("TEXT NOT NULL DEFAULT ''"));
    AddColumn(ADatabase, QStringLiteral("before_copy"),
              QStringLiteral("INTEGER NOT NULL DEFAULT 0"));
}

// Migrations[N] brings a file from version N to N + 1.
constexpr std::array<void (*)(const QSqlDatabase&), THistoryStore::SchemaVersion> Migrations{
    MigrateTo1, MigrateTo2, MigrateTo3, MigrateTo4, MigrateTo5, MigrateTo6, MigrateTo7};

int UserVersion(const QSqlDatabase& ADatabase) {
    QSqlQuery version(ADatabase);
    Run(version, QStringLiteral("PRAGMA user_version"));
    if (!version.next())
        Fail(QStringLiteral("Cannot read the schema's version"), version.lastError());
    return version.value(0).toInt();
}

// Whether the file holds everything the last step adds and says so, read without a lock.
bool SchemaIsComplete(const QSqlDatabase& ADatabase) {
    const QStringList columns = CallColumns(ADatabase);
    return UserVersion(ADatabase) == THistoryStore::SchemaVersion &&
           columns.contains(QLatin1String("content_type")) &&
           columns.contains(QLatin1String("charset")) &&
           columns.contains(QLatin1String("answer_indexed")) &&
           columns.contains(QLatin1String("profile")) &&
           columns.contains(QLatin1String("before_copy")) &&
           HasIndex(ADatabase, QStringLiteral("calls_unindexed")) &&
           HasIndex(ADatabase, QStringLiteral("calls_sizes")) &&
           HasTable(ADatabase, QStringLiteral("runs")) &&
           HasTable(ADatabase, QStringLiteral("run_rows"));
}

bool CreatePrivateFile(const QString& APath, QString& AError) {
    const int fd = ::open(QFile::encodeName(APath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        AError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

// Switches the file to write-ahead logging, which the file then keeps. Two connections switching
// a new file together both read it first; the one then refused the write lock is refused at once,
// without the lock wait (waiting there could deadlock), so the switch is tried again here for as
// long as the connection waits for a lock. Once another process has switched, it is a no-op.
void SwitchToWriteAheadLog(const QSqlDatabase& ADatabase) {
    int waitMs = 0;
    {
        QSqlQuery wait(ADatabase);
        Run(wait, QStringLiteral("PRAGMA busy_timeout"));
        waitMs = wait.next() ? wait.value(0).toInt() : 0;
    }
    const QDeadlineTimer deadline(waitMs);
    for (std::chrono::milliseconds pause(1);;
         pause = std::min(pause * 2, std::chrono::milliseconds(50))) {
        QSqlQuery query(ADatabase);
        if (query.exec(QStringLiteral("PRAGMA journal_mode = WAL")))
            return;
        const QSqlError error = query.lastError();
        if ((error.nativeErrorCode().toInt() & 0xff) != SqliteBusy || deadline.hasExpired())
            Fail(QStringLiteral("PRAGMA journal_mode = WAL"), error);
        std::this_thread::sleep_for(pause);
    }
}

// How long the connection waits for a lock, changed for the while.
class TLockWait {
public:
    TLockWait(const QSqlDatabase& ADatabase, int AMilliseconds) : FDatabase(ADatabase) {
        QSqlQuery query(FDatabase);
        Run(query, QStringLiteral("PRAGMA busy_timeout"));
        FSaved = query.next() ? query.value(0).toInt() : 0;
        Exec(FDatabase, QStringLiteral("PRAGMA busy_timeout = %1").arg(AMilliseconds));
    }
    ~TLockWait() {
        QSqlQuery(FDatabase).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(FSaved));
    }
    TLockWait(const TLockWait&) = delete;
    TLockWait& operator=(const TLockWait&) = delete;

private:
    QSqlDatabase FDatabase;
    int FSaved = 0;
};

// A lock on the history's folder, taken by every process that uses it: shared while a
// connection opens the file and first reads it, exclusive while a damaged file is moved aside.
// SQLite opens the journal and its index by their names at that first read: a file moved aside
// in between would leave the connection on the old file with the new one's journal. Without a
// lock (a file system that has none) the names moved to stay unique all the same.
class TFolderLock {
public:
    TFolderLock(const QString& AFolder, bool AExclusive)
        : FFolder(
              ::open(QFile::encodeName(AFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (FFolder >= 0)
            while (::flock(FFolder, AExclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
            }
    }
    ~TFolderLock() {
        if (FFolder >= 0)
            ::close(FFolder); // and the lock with it
    }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

private:
    int FFolder;
};

// A file told apart from another put in its place under the same name.
struct TFileId {
    quint64 Device = 0;
    quint64 Inode = 0;
    bool operator==(const TFileId&) const = default;
};

std::optional<TFileId> FileIdOf(const QString& APath) {
    struct stat info {};
    if (::stat(QFile::encodeName(APath).constData(), &info) != 0)
        return std::nullopt;
    return TFileId{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

bool Exists(const QString& APath) {
    struct stat info {};
    return ::lstat(QFile::encodeName(APath).constData(), &info) == 0 || errno != ENOENT;
}

// Renames AFrom to ATo unless ATo exists; errno tells why not.
bool RenameWithoutReplacing(const QString& AFrom, const QString& ATo) {
    const QByteArray from = QFile::encodeName(AFrom);
    const QByteArray to = QFile::encodeName(ATo);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without it: the name was found free under the folder's lock.
    if (errno == EINVAL || errno == ENOSYS)
        return ::rename(from.constData(), to.constData()) == 0;
    return false;
}

} // namespace

THistoryStore::THistoryStore(QString AFolder, THistoryLimits ALimits)
    : FFolder(AFolder.isEmpty() ? DefaultFolder() : std::move(AFolder)), FLimits(ALimits) {
    static std::atomic<int> next{0};
    FConnectionName = QStringLiteral("vlhistory-%1").arg(next++);
}

THistoryStore::~THistoryStore() {
    Close();
}

QString THistoryStore::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vlcallbench");
}

QString THistoryStore::FileName() const {
    return FFolder + u'/' + FileBaseName;
}

bool THistoryStore::IsOpen() const {
    return QSqlDatabase::contains(FConnectionName) &&
           QSqlDatabase::database(FConnectionName, false).isOpen();
}

void THistoryStore::Connect(bool AReadOnly, bool ARecording) {
    Close();
    FReadOnly = AReadOnly;
    FTracksIndexing = !AReadOnly;
    FKnowsProfiles = true;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnectionName);
    db.setDatabaseName(FileName());
    // A reader waits little for a writer. The recorder waits longer than a clear of a full history
    // holds the file: nothing waits on it but the end of a call tool whose answer is out already.
    // Other writers wait on a person's behalf.
    db.setConnectOptions(AReadOnly
                             ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=250")
                         : ARecording ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    const TFolderLock lock(FFolder, false);
    const bool opened = db.open();
    const TFileId id = FileIdOf(FileName()).value_or(TFileId{});
    FFileDevice = id.Device;
    FFileInode = id.Inode;
    if (!opened)
        Fail(QStringLiteral("Cannot open %1").arg(FileName()), db.lastError());
    // The first read opens the journal, while no one can move the file.
    QSqlQuery first(db);
    Run(first, QStringLiteral("SELECT count(*) FROM sqlite_master"));
}

bool THistoryStore::StillAtItsName() const {
    return FileIdOf(FileName()) == TFileId{FFileDevice, FFileInode};
}

void THistoryStore::Close() {
    if (!QSqlDatabase::contains(FConnectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(FConnectionName);
}

QString THistoryStore::Open(bool AVerify) {
    if (!QDir().mkpath(FFolder))
        throw EHistoryError(QStringLiteral("Cannot create the folder %1").arg(FFolder), false);
    QFile::setPermissions(FFolder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QString movedTo;
    // A damaged file is moved aside once; another process may have put a new file in its place
    // first, or a damaged one again.
    for (int attempt = 0;; ++attempt) {
        QString error;
        if (!CreatePrivateFile(FileName(), error))
            throw EHistoryError(QStringLiteral("Cannot create %1: %2").arg(FileName(), error),
                                false);
        try {
            Connect(false, true);
            if (AVerify)
                Verify();
            Migrate();
            ApplyFolding();
            return movedTo;
        } catch (const EHistoryError& failure) {
            Close();
            if (!failure.Damaged() || attempt == 2)
                throw;
        }
        if (QString moved = MoveAside(); !moved.isEmpty())
            movedTo = std::move(moved);
    }
}

void THistoryStore::ApplyFolding() {
    if (FFolding != THistoryFolding::OnNextOpen)
        return;
    const QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData()))
            sqlite3_db_config(connection, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // Never waits for a reader or writer; what it cannot fold now, a later connection will.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

void THistoryStore::OpenForReading() {
    if (!QFile::exists(FileName()))
        throw EHistoryError(QStringLiteral("No call history yet"), false);
    Connect(true);
    const QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'calls_fts'")))
        Fail(QStringLiteral("Cannot read %1").arg(FileName()), query.lastError());
    FSearchable = query.next();
    query.finish();
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'runs'")))
        Fail(QStringLiteral("Cannot read %1").arg(FileName()), query.lastError());
    FHasRuns = query.next();
    query.finish();
    // Before the third version every answer was indexed as it was recorded.
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        Fail(QStringLiteral("Cannot read %1").arg(FileName()), query.lastError());
    FTracksIndexing = query.value(0).toInt() >= 3;
    FIndexesDecoded = query.value(0).toInt() >= 5;
    query.finish();
    FKnowsProfiles = CallColumns(db).contains(QLatin1String("before_copy"));
}

QString THistoryStore::ProfileColumns() const {
    // A file of an earlier version read as it is: its calls name no profile and no before copy.
    return FKnowsProfiles ? QStringLiteral("profile, before_copy") : QStringLiteral("'', 0");
}

QString THistoryStore::ProfileColumn() const {
    return FKnowsProfiles ? QStringLiteral("profile") : QStringLiteral("''");
}

QString THistoryStore::ListColumns() const {
    // A file of a version before the runs, read only, has no such table. The calls' before
    // copies are gathered once, not looked for row by row.
    return ProfileColumns() +
           (FHasRuns ? QStringLiteral(", EXISTS (SELECT 1 FROM runs WHERE runs.call_id = calls.id)")
                     : QStringLiteral(", 0")) +
           (FKnowsProfiles ? QStringLiteral(", id IN (SELECT before_copy FROM calls)")
                           : QStringLiteral(", 0"));
}

QString THistoryStore::MoveAside() {
    const TFolderLock lock(FFolder, true);
    // Another process found it damaged too and moved it first.
    if (!StillAtItsName())
        return {};
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const std::array<QLatin1String, 3> journals{QLatin1String("-wal"), QLatin1String("-shm"),
                                                QLatin1String("-journal")};
    // A name of its own, journals included: a file moved aside before is never replaced.
    QString target;
    for (int n = 1;; ++n) {
        target = FileName() + QStringLiteral(".broken-") + stamp +
                 (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        if (!Exists(target) && std::none_of(journals.begin(), journals.end(),
                                            [&](auto ASuffix) { return Exists(target + ASuffix); }))
            break;
    }
    if (!RenameWithoutReplacing(FileName(), target))
        throw EHistoryError(QStringLiteral("Cannot move the damaged %1 aside: %2")
                                .arg(FileName(), QString::fromLocal8Bit(std::strerror(errno))),
                            false);
    // A journal left beside a new file would be replayed into it.
    for (const QLatin1String suffix : journals)
        if (Exists(FileName() + suffix))
            RenameWithoutReplacing(FileName() + suffix, target + suffix);
    return target;
}

// SQLite's check of every page, and the word index's of its own: the index's pages are blobs to
// SQLite, and damage in them is found only as a later write or search reads them.
void THistoryStore::Verify() {
    const QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
        Fail(QStringLiteral("Cannot check %1").arg(FileName()), check.lastError());
    if (check.value(0).toString() != QLatin1String("ok"))
        throw EHistoryError(QStringLiteral("%1 is damaged").arg(FileName()), true);
    check.finish();
    Run(check, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'calls_fts'"));
    if (!check.next())
        return;
    check.finish();
    if (!check.exec(
            QStringLiteral("INSERT INTO calls_fts (calls_fts) VALUES ('integrity-check')"))) {
        const QSqlError error = check.lastError();
        throw EHistoryError(
            QStringLiteral("Cannot check the word index of %1: %2").arg(FileName(), error.text()),
            IsDamage(error));
    }
}

void THistoryStore::Migrate() {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    // Outside any transaction: SQLite changes the journal mode only there.
    SwitchToWriteAheadLog(db);
    Exec(db, QStringLiteral("PRAGMA synchronous = FULL"));
    const auto refuseNewer = [this](int AVersion) {
        if (AVersion > SchemaVersion)
            throw EHistoryError(
                QStringLiteral("%1 was written by a newer version of the program").arg(FileName()),
                false);
    };
    int current = UserVersion(db);
    refuseNewer(current);
    // A negative version is none of ours: nothing is added to it. A complete file, the usual
    // case, is not locked at all.
    if (current >= 0 && !SchemaIsComplete(db)) {
        // Processes opening a new file together take their turns here, each reading again, under
        // the lock, what the one before it left; a failure leaves the file as it was.
        TTransaction transaction(db);
        current = UserVersion(db);
        refuseNewer(current);
        if (current >= 0) {
            for (const auto& migrate : Migrations)
                migrate(db);
            if (current != SchemaVersion)
                Exec(db, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
        }
        transaction.Commit();
    }
    FIndexesDecoded = current >= 0;
    QSqlQuery fts(db);
    if (!fts.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'calls_fts'")))
        Fail(QStringLiteral("Cannot read %1").arg(FileName()), fts.lastError());
    FSearchable = fts.next();
}

QStringList THistoryStore::WithoutPassword(const QStringList& ALines) {
    QStringList lines = ALines;
    for (QString& line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals >= 0 &&
            line.left(equals).compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
            line.truncate(equals + 1);
    }
    return lines;
}

QString THistoryStore::OutcomeName(THistoryOutcome AOutcome) {
    switch (AOutcome) {
    case THistoryOutcome::Answer:
        return QStringLiteral("answer");
    case THistoryOutcome::Error:
        return QStringLiteral("error");
    case THistoryOutcome::Cancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

qint64 THistoryStore::Record(const THistoryCall& ACall, THistoryIndexing AIndexing,
                             qint64 AReplacing) {
    if (!IsOpen())
        throw EHistoryError(QStringLiteral("The call history is not open"), false);
    if (ACall.BeforeCopy) {
        THistoryCall call = ACall;
        call.BeforeCopyId = Record(*ACall.BeforeCopy, AIndexing);
        call.BeforeCopy.reset();
        return Store(call, PrepareAnswer(call, FLimits, FSearchable, AIndexing), AReplacing);
    }
    return Store(ACall, PrepareAnswer(ACall, FLimits, FSearchable, AIndexing), AReplacing);
}

qint64 THistoryStore::Store(const THistoryCall& ACall, const TPreparedAnswer& AAnswer,
                            qint64 AReplacing) {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    const QStringList fields = WithoutPassword(ACall.Fields);
    const int indexed = AAnswer.Deferred  ? AnswerWaiting
                        : FIndexesDecoded ? AnswerDecoded
                                          : AnswerAsStored;
    TTransaction transaction(db);
    if (AReplacing > 0) {
        if (FSearchable)
            Unindex(AReplacing);
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM calls WHERE id = ?"));
        remove.addBindValue(AReplacing);
        Exec(remove, "Cannot replace the call");
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, "
        "status_line, duration_ms, answer_size, answer, answer_cut, stored_size, "
        "content_type, charset, answer_indexed, profile, before_copy) "
        // An empty text may come as no text at all.
        "VALUES (?, coalesce(?, ''), coalesce(?, ''), ?, coalesce(?, ''), ?, coalesce(?, ''), "
        "coalesce(?, ''), ?, ?, ?, ?, ?, coalesce(?, ''), coalesce(?, ''), ?, coalesce(?, ''), "
        "?)"));
    const QDateTime when = ACall.When.isValid() ? ACall.When : QDateTime::currentDateTimeUtc();
    insert.addBindValue(when.toUTC().toString(Qt::ISODateWithMs));
    insert.addBindValue(ACall.URL);
    insert.addBindValue(ACall.Command);
    insert.addBindValue(FieldsJson(fields));
    insert.addBindValue(ACall.Format);
    insert.addBindValue(OutcomeName(ACall.Outcome));
    insert.addBindValue(ACall.ErrorText);
    insert.addBindValue(ACall.StatusLine);
    insert.addBindValue(ACall.DurationMs);
    insert.addBindValue(AAnswer.AnswerSize);
    insert.addBindValue(AAnswer.Blob.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                               : AAnswer.Blob);
    insert.addBindValue(AAnswer.Cut ? 1 : 0);
    insert.addBindValue(static_cast<qint64>(AAnswer.Blob.size()));
    insert.addBindValue(ACall.ContentType);
    insert.addBindValue(ACall.CharSet);
    insert.addBindValue(indexed);
    insert.addBindValue(ACall.Profile);
    insert.addBindValue(ACall.BeforeCopyId);
    Exec(insert, "Cannot record the call");
    const qint64 id = insert.lastInsertId().toLongLong();
    if (FSearchable) {
        QSqlQuery index(db);
        index.prepare(QStringLiteral("INSERT INTO calls_fts (rowid, command, fields, answer) "
                                     "VALUES (?, ?, ?, CAST(? AS TEXT))"));
        index.addBindValue(id);
        index.addBindValue(ACall.Command);
        index.addBindValue(FieldsText(fields));
        // The bytes go in as they are and are read as the database's UTF-8 text, without a
        // copy of the answer in UTF-16 on the way. A deferred answer goes in empty for now.
        index.addBindValue(indexed == AnswerWaiting   ? QByteArray("")
                           : indexed == AnswerDecoded ? DecodedForIndex(AAnswer.Text)
                                                      : AAnswer.Text);
        Exec(index, "Cannot index the call");
    }
    DropOldest(id);
    transaction.Commit();
    return id;
}

void THistoryStore::DropOldest(qint64 AKeepId) {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    QSqlQuery totals(db);
    if (!totals.exec(QStringLiteral(
            "SELECT count(*), total(stored_size) FROM calls INDEXED BY calls_sizes")) ||
        !totals.next())
        Fail(QStringLiteral("Cannot count the calls"), totals.lastError());
    qint64 count = totals.value(0).toLongLong();
    qint64 bytes = static_cast<qint64>(totals.value(1).toDouble());
    totals.finish();
    if (count <= FLimits.MaxCalls && bytes <= FLimits.MaxStoredBytes)
        return;
    QSqlQuery oldest(db);
    oldest.setForwardOnly(true);
    if (!oldest.exec(
            QStringLiteral("SELECT id, stored_size FROM calls INDEXED BY calls_sizes ORDER BY id")))
        Fail(QStringLiteral("Cannot list the calls"), oldest.lastError());
    std::vector<qint64> doomed;
    while ((count > FLimits.MaxCalls || bytes > FLimits.MaxStoredBytes) && oldest.next()) {
        const qint64 id = oldest.value(0).toLongLong();
        if (id == AKeepId)
            break;
        doomed.push_back(id);
        --count;
        bytes -= oldest.value(1).toLongLong();
    }
    oldest.finish();
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("DELETE FROM calls WHERE id = ?"));
    for (const qint64 id : doomed) {
        if (FSearchable)
            Unindex(id);
        remove.addBindValue(id);
        Exec(remove, "Cannot drop an old call");
    }
}

// The word index keeps no copy of the texts, so a call leaves it by being given them again.
void THistoryStore::Unindex(qint64 AId) {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    QSqlQuery read(db);
    read.prepare(
        QStringLiteral("SELECT command, fields, answer, answer_indexed FROM calls WHERE id = ?"));
    read.addBindValue(AId);
    Exec(read, "Cannot read an old call");
    if (!read.next())
        return;
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("INSERT INTO calls_fts (calls_fts, rowid, command, fields, "
                                  "answer) VALUES ('delete', ?, ?, ?, CAST(? AS TEXT))"));
    remove.addBindValue(AId);
    remove.addBindValue(read.value(0).toString());
    remove.addBindValue(FieldsText(FieldsFromJson(read.value(1).toString())));
    remove.addBindValue(IndexedText(read.value(2).toByteArray(), read.value(3).toInt()));
    read.finish();
    Exec(remove, "Cannot unindex an old call");
}

bool THistoryStore::IndexPendingAnswers(int AMax) {
    if (!FSearchable || !FTracksIndexing || !IsOpen())
        return false;
    if (FReadOnly) {
        QSqlQuery pending(QSqlDatabase::database(FConnectionName, false));
        Run(pending, QStringLiteral("SELECT 1 FROM calls WHERE answer_indexed = 0 LIMIT 1"));
        if (!pending.next())
            return false;
        pending.finish();
        THistoryStore writer(FFolder, FLimits);
        writer.Connect(false);
        writer.FSearchable = true;
        writer.FIndexesDecoded = FIndexesDecoded;
        return writer.IndexPendingAnswers(AMax);
    }
    for (int done = 0; AMax < 0 || done < AMax; ++done)
        if (!IndexNextPendingAnswer())
            return false;
    QSqlQuery pending(QSqlDatabase::database(FConnectionName, false));
    Run(pending, QStringLiteral("SELECT 1 FROM calls WHERE answer_indexed = 0 LIMIT 1"));
    return pending.next();
}

// The call's empty answer leaves the word index and its words go in, in one transaction.
bool THistoryStore::IndexNextPendingAnswer() {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    TTransaction transaction(db);
    QSqlQuery read(db);
    Run(read, QStringLiteral("SELECT id, command, fields, answer FROM calls "
                             "WHERE answer_indexed = 0 ORDER BY id LIMIT 1"));
    if (!read.next()) {
        read.finish();
        transaction.Commit();
        return false;
    }
    const qint64 id = read.value(0).toLongLong();
    const QString command = read.value(1).toString();
    const QString fields = FieldsText(FieldsFromJson(read.value(2).toString()));
    const QByteArray blob = read.value(3).toByteArray();
    read.finish();
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("INSERT INTO calls_fts (calls_fts, rowid, command, fields, "
                                  "answer) VALUES ('delete', ?, ?, ?, '')"));
    remove.addBindValue(id);
    remove.addBindValue(command);
    remove.addBindValue(fields);
    Exec(remove, "Cannot index an answer");
    QSqlQuery index(db);
    index.prepare(QStringLiteral("INSERT INTO calls_fts (rowid, command, fields, answer) "
                                 "VALUES (?, ?, ?, CAST(? AS TEXT))"));
    index.addBindValue(id);
    index.addBindValue(command);
    index.addBindValue(fields);
    // A file not brought to version 5 (opened for reading only) is indexed the older way.
    const int indexed = FIndexesDecoded ? AnswerDecoded : AnswerAsStored;
    index.addBindValue(IndexedText(blob, indexed));
    Exec(index, "Cannot index an answer");
    QSqlQuery mark(db);
    mark.prepare(QStringLiteral("UPDATE calls SET answer_indexed = ? WHERE id = ?"));
    mark.addBindValue(indexed);
    mark.addBindValue(id);
    Exec(mark, "Cannot index an answer");
    transaction.Commit();
    return true;
}

void THistoryStore::Clear() {
    if (!IsOpen())
        throw EHistoryError(QStringLiteral("The call history is not open"), false);
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    {
        TTransaction transaction(db);
        Exec(db, QStringLiteral("DELETE FROM calls"));
        // The rows' answers are calls' answers too.
        Exec(db, QStringLiteral("DELETE FROM run_rows"));
        Exec(db, QStringLiteral("DELETE FROM runs"));
        if (FSearchable)
            Exec(db, QStringLiteral("INSERT INTO calls_fts (calls_fts) VALUES ('delete-all')"));
        transaction.Commit();
    }
    Exec(db, QStringLiteral("VACUUM"));
    // The journal still holds the deleted pages until it is folded back and emptied. The fold
    // holds the writers' lock while it waits for a reader still on an older snapshot, so it waits
    // little: what it cannot empty now, a later fold will.
    const TLockWait briefly(db, 250);
    Exec(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

std::optional<THistoryCall> THistoryStore::Load(qint64 AId) const {
    QSqlQuery query(QSqlDatabase::database(FConnectionName, false));
    query.prepare(QStringLiteral(
                      "SELECT when_utc, url, command, fields, format, outcome, error, status_line, "
                      "duration_ms, answer_size, answer, answer_cut, content_type, charset, %1 "
                      "FROM calls WHERE id = ?")
                      .arg(ProfileColumns()));
    query.addBindValue(AId);
    Exec(query, "Cannot read the call");
    if (!query.next())
        return std::nullopt;
    THistoryCall call;
    call.Id = AId;
    call.When = QDateTime::fromString(query.value(0).toString(), Qt::ISODateWithMs);
    call.URL = query.value(1).toString();
    call.Command = query.value(2).toString();
    call.Fields = FieldsFromJson(query.value(3).toString());
    call.Format = query.value(4).toString();
    const QString outcome = query.value(5).toString();
    call.Outcome = outcome == QLatin1String("error")       ? THistoryOutcome::Error
                   : outcome == QLatin1String("cancelled") ? THistoryOutcome::Cancelled
                                                           : THistoryOutcome::Answer;
    call.ErrorText = query.value(6).toString();
    call.StatusLine = query.value(7).toString();
    call.DurationMs = query.value(8).toLongLong();
    call.AnswerSize = query.value(9).toLongLong();
    call.Answer = AnswerFromBlob(query.value(10).toByteArray());
    call.AnswerCut = query.value(11).toBool();
    call.ContentType = query.value(12).toString();
    call.CharSet = query.value(13).toString();
    call.Profile = query.value(14).toString();
    call.BeforeCopyId = query.value(15).toLongLong();
    return call;
}

QSqlQuery THistoryStore::ListQuery(const QString& AFilter) {
    if (FSearchable && !THistoryFilter(AFilter).Terms.isEmpty())
        IndexPendingAnswers();
    const TStopCheck never(QSqlDatabase::database(FConnectionName, false), {});
    return *SelectCalls(QSqlDatabase::database(FConnectionName, false), FSearchable, AFilter, false,
                        never, {ListColumns(), ProfileColumn()});
}

std::optional<std::vector<THistorySummary>>
THistoryStore::List(const QString& AFilter, const std::function<bool()>& AStop) {
    const QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    const TStopCheck watch(db, AStop);
    std::vector<THistorySummary> calls;
    try {
        std::optional<QSqlQuery> query =
            SelectCalls(db, FSearchable, AFilter, true, watch, {ListColumns(), ProfileColumn()});
        if (!query)
            return std::nullopt;
        while (query->next()) {
            THistorySummary call;
            call.Id = query->value(ListId).toLongLong();
            call.When = QDateTime::fromString(query->value(ListWhen).toString(), Qt::ISODateWithMs);
            call.Command = query->value(ListCommand).toString();
            call.Outcome = query->value(ListOutcome).toString();
            call.StatusLine = query->value(ListStatus).toString();
            call.DurationMs = query->value(ListDuration).toLongLong();
            call.AnswerSize = query->value(ListSize).toLongLong();
            call.AnswerCut = query->value(ListCut).toBool();
            call.ErrorText = query->value(ListError).toString();
            call.URL = query->value(ListURL).toString();
            call.Profile = query->value(ListProfile).toString();
            call.BeforeCopyId = query->value(ListBeforeCopy).toLongLong();
            call.Run = query->value(ListRun).toBool();
            call.IsBeforeCopy = query->value(ListIsBeforeCopy).toBool();
            calls.push_back(std::move(call));
        }
        if (query->lastError().isValid())
            Fail(QStringLiteral("Cannot list the calls"), query->lastError());
    } catch (const EHistoryError&) {
        if (watch.Stopped())
            return std::nullopt;
        throw;
    }
    if (watch.Stopped())
        return std::nullopt;
    return calls;
}

qint64 THistoryStore::PendingAnswers() {
    if (!FSearchable || !FTracksIndexing || !IsOpen())
        return 0;
    QSqlQuery pending(QSqlDatabase::database(FConnectionName, false));
    Run(pending, QStringLiteral("SELECT count(*) FROM calls WHERE answer_indexed = 0"));
    if (!pending.next())
        Fail(QStringLiteral("Cannot count the answers to index"), pending.lastError());
    return pending.value(0).toLongLong();
}
