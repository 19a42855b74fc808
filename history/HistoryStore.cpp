#include "HistoryStore.h"

#include "AnswerBlob.h"
#include "PreparedAnswer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
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
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;

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

// Every word of the filter as a prefix, all of them required; words without a letter or digit
// cannot be searched by word and are left to the plain comparison of the command name.
QString MatchExpression(const QString& AFilter) {
    QStringList terms;
    for (const QString& word :
         AFilter.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (std::none_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            continue;
        QString quoted = word;
        quoted.replace(u'"', QStringLiteral("\"\""));
        terms.append(u'"' + quoted + QStringLiteral("\"*"));
    }
    return terms.join(u' ');
}

QString LikePattern(const QString& AText) {
    QString escaped = AText;
    escaped.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("\\%"))
        .replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
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

// The schema: each version's DDL, as the step from the version before runs it. A file is brought
// to SchemaVersion by running, in order, the steps from its own version on, each in a transaction
// of its own that also sets the file's user_version. Files of every earlier version are kept in
// tests/data/history.

// Version 1: the calls and the word index over their command, fields and answer.
void MigrateTo1(const QSqlDatabase& ADatabase) {
    Exec(ADatabase, QStringLiteral("CREATE TABLE IF NOT EXISTS calls ("
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
    // Without FTS5 in this SQLite the filter falls back to comparing the command and fields.
    QSqlQuery(ADatabase).exec(
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS calls_fts USING fts5(command, fields, "
                       "answer, content='')"));
}

// Version 2: the answer's content type and character set.
void MigrateTo2(const QSqlDatabase& ADatabase) {
    Exec(ADatabase,
         QStringLiteral("ALTER TABLE calls ADD COLUMN content_type TEXT NOT NULL DEFAULT ''"));
    Exec(ADatabase,
         QStringLiteral("ALTER TABLE calls ADD COLUMN charset TEXT NOT NULL DEFAULT ''"));
}

// Version 3: answers whose words are indexed later. Calls kept before were indexed as they were
// recorded.
void MigrateTo3(const QSqlDatabase& ADatabase) {
    Exec(ADatabase,
         QStringLiteral("ALTER TABLE calls ADD COLUMN answer_indexed INTEGER NOT NULL DEFAULT 1"));
    // The column comes after the answer in the row, so the waiting calls are found through an
    // index of their own rather than by reading every row past its answer.
    Exec(ADatabase,
         QStringLiteral("CREATE INDEX calls_unindexed ON calls (id) WHERE answer_indexed = 0"));
}

// Version 4: the sizes come after the answer in the row as well: counting them from the table
// reads every stored answer, so the limits are checked through an index that holds them.
void MigrateTo4(const QSqlDatabase& ADatabase) {
    Exec(ADatabase, QStringLiteral("CREATE INDEX calls_sizes ON calls (id, stored_size)"));
}

// Migrations[N] brings a file from version N to N + 1.
constexpr std::array<void (*)(const QSqlDatabase&), THistoryStore::SchemaVersion> Migrations{
    MigrateTo1, MigrateTo2, MigrateTo3, MigrateTo4};

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

void THistoryStore::Connect(bool AReadOnly) {
    Close();
    FReadOnly = AReadOnly;
    FTracksIndexing = !AReadOnly;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnectionName);
    db.setDatabaseName(FileName());
    // A reader waits little for a writer; the recorder may wait longer, as no one waits on it.
    db.setConnectOptions(AReadOnly
                             ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=250")
                             : QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    if (!db.open())
        Fail(QStringLiteral("Cannot open %1").arg(FileName()), db.lastError());
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
    QString error;
    if (!CreatePrivateFile(FileName(), error))
        throw EHistoryError(QStringLiteral("Cannot create %1: %2").arg(FileName(), error), false);
    try {
        Connect(false);
        if (AVerify)
            Verify();
        Migrate();
        ApplyFolding();
        return {};
    } catch (const EHistoryError& failure) {
        Close();
        if (!failure.Damaged())
            throw;
    }
    QString movedTo = MoveAside();
    if (!CreatePrivateFile(FileName(), error))
        throw EHistoryError(QStringLiteral("Cannot create %1: %2").arg(FileName(), error), false);
    Connect(false);
    Migrate();
    ApplyFolding();
    return movedTo;
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
    // Before the third version every answer was indexed as it was recorded.
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        Fail(QStringLiteral("Cannot read %1").arg(FileName()), query.lastError());
    FTracksIndexing = query.value(0).toInt() >= 3;
}

QString THistoryStore::MoveAside() {
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = FileName() + QStringLiteral(".broken-") + stamp;
    if (::rename(QFile::encodeName(FileName()).constData(),
                 QFile::encodeName(target).constData()) != 0)
        throw EHistoryError(QStringLiteral("Cannot move the damaged %1 aside: %2")
                                .arg(FileName(), QString::fromLocal8Bit(std::strerror(errno))),
                            false);
    // A journal left beside a new file would be replayed into it.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const QString journal = FileName() + QLatin1String(suffix);
        if (QFile::exists(journal))
            ::rename(QFile::encodeName(journal).constData(),
                     QFile::encodeName(target + QLatin1String(suffix)).constData());
    }
    return target;
}

void THistoryStore::Verify() {
    QSqlQuery check(QSqlDatabase::database(FConnectionName, false));
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
        Fail(QStringLiteral("Cannot check %1").arg(FileName()), check.lastError());
    if (check.value(0).toString() != QLatin1String("ok"))
        throw EHistoryError(QStringLiteral("%1 is damaged").arg(FileName()), true);
}

void THistoryStore::Migrate() {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    Exec(db, QStringLiteral("PRAGMA journal_mode = WAL"));
    Exec(db, QStringLiteral("PRAGMA synchronous = FULL"));
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        Fail(QStringLiteral("Cannot read %1").arg(FileName()), version.lastError());
    int current = version.value(0).toInt();
    version.finish();
    if (current > SchemaVersion)
        throw EHistoryError(
            QStringLiteral("%1 was written by a newer version of the program").arg(FileName()),
            false);
    // A negative version is none of ours: nothing is added to it.
    for (; current >= 0 && current < SchemaVersion; ++current) {
        TTransaction transaction(db);
        Migrations[static_cast<std::size_t>(current)](db);
        Exec(db, QStringLiteral("PRAGMA user_version = %1").arg(current + 1));
        transaction.Commit();
    }
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

qint64 THistoryStore::Record(const THistoryCall& ACall, THistoryIndexing AIndexing) {
    if (!IsOpen())
        throw EHistoryError(QStringLiteral("The call history is not open"), false);
    return Store(ACall, PrepareAnswer(ACall, FLimits, FSearchable, AIndexing));
}

qint64 THistoryStore::Store(const THistoryCall& ACall, const TPreparedAnswer& AAnswer) {
    QSqlDatabase db = QSqlDatabase::database(FConnectionName, false);
    const QStringList fields = WithoutPassword(ACall.Fields);
    TTransaction transaction(db);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, "
        "status_line, duration_ms, answer_size, answer, answer_cut, stored_size, "
        "content_type, charset, answer_indexed) "
        // An empty text may come as no text at all.
        "VALUES (?, coalesce(?, ''), coalesce(?, ''), ?, coalesce(?, ''), ?, coalesce(?, ''), "
        "coalesce(?, ''), ?, ?, ?, ?, ?, coalesce(?, ''), coalesce(?, ''), ?)"));
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
    insert.addBindValue(AAnswer.Deferred ? 0 : 1);
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
        index.addBindValue(AAnswer.Deferred ? QByteArray("") : AAnswer.Text);
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
                                  "answer) VALUES ('delete', ?, ?, ?, ?)"));
    remove.addBindValue(AId);
    remove.addBindValue(read.value(0).toString());
    remove.addBindValue(FieldsText(FieldsFromJson(read.value(1).toString())));
    // An answer not indexed yet went in empty.
    remove.addBindValue(read.value(3).toBool() ? AnswerFromBlob(read.value(2).toByteArray())
                                               : QStringLiteral(""));
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
    index.addBindValue(blob.isEmpty() ? QByteArray("") : AnswerBlob::Decompress(blob));
    Exec(index, "Cannot index an answer");
    QSqlQuery mark(db);
    mark.prepare(QStringLiteral("UPDATE calls SET answer_indexed = 1 WHERE id = ?"));
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
        if (FSearchable)
            Exec(db, QStringLiteral("INSERT INTO calls_fts (calls_fts) VALUES ('delete-all')"));
        transaction.Commit();
    }
    Exec(db, QStringLiteral("VACUUM"));
    // The journal still holds the deleted pages until it is folded back and emptied.
    Exec(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

std::optional<THistoryCall> THistoryStore::Load(qint64 AId) const {
    QSqlQuery query(QSqlDatabase::database(FConnectionName, false));
    query.prepare(QStringLiteral(
        "SELECT when_utc, url, command, fields, format, outcome, error, status_line, "
        "duration_ms, answer_size, answer, answer_cut, content_type, charset FROM calls "
        "WHERE id = ?"));
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
    return call;
}

QSqlQuery THistoryStore::ListQuery(const QString& AFilter) {
    const QString filter = AFilter.trimmed();
    const QString match = MatchExpression(filter);
    if (!filter.isEmpty() && FSearchable && !match.isEmpty())
        IndexPendingAnswers();
    QSqlQuery query(QSqlDatabase::database(FConnectionName, false));
    query.setForwardOnly(false);
    const QString columns = QStringLiteral(
        "SELECT id, when_utc, command, outcome, status_line, duration_ms, answer_size, "
        "answer_cut, error FROM calls ");
    if (filter.isEmpty()) {
        query.prepare(columns + QStringLiteral("ORDER BY id DESC"));
    } else if (FSearchable && !match.isEmpty()) {
        query.prepare(columns + QStringLiteral("WHERE id IN (SELECT rowid FROM calls_fts WHERE "
                                               "calls_fts MATCH ?) OR command LIKE ? ESCAPE '\\' "
                                               "ORDER BY id DESC"));
        query.addBindValue(match);
        query.addBindValue(LikePattern(filter));
    } else {
        query.prepare(columns + QStringLiteral("WHERE command LIKE ? ESCAPE '\\' OR fields LIKE ? "
                                               "ESCAPE '\\' OR error LIKE ? ESCAPE '\\' "
                                               "ORDER BY id DESC"));
        for (int i = 0; i < 3; ++i)
            query.addBindValue(LikePattern(filter));
    }
    Exec(query, "Cannot list the calls");
    return query;
}
