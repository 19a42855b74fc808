-- The second schema (the first, then the step to version 2), with the calls it wrote.
PRAGMA journal_mode = WAL;
PRAGMA synchronous = FULL;
BEGIN IMMEDIATE;
CREATE TABLE IF NOT EXISTS calls (id INTEGER PRIMARY KEY AUTOINCREMENT,when_utc TEXT NOT NULL,url TEXT NOT NULL,command TEXT NOT NULL,fields TEXT NOT NULL,format TEXT NOT NULL,outcome TEXT NOT NULL,error TEXT NOT NULL,status_line TEXT NOT NULL,duration_ms INTEGER NOT NULL,answer_size INTEGER NOT NULL,answer BLOB,answer_cut INTEGER NOT NULL,stored_size INTEGER NOT NULL);
CREATE VIRTUAL TABLE IF NOT EXISTS calls_fts USING fts5(command, fields, answer, content='');
PRAGMA user_version = 1;
COMMIT;
BEGIN IMMEDIATE;
ALTER TABLE calls ADD COLUMN content_type TEXT NOT NULL DEFAULT '';
ALTER TABLE calls ADD COLUMN charset TEXT NOT NULL DEFAULT '';
PRAGMA user_version = 2;
COMMIT;
INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, status_line, duration_ms, answer_size, answer, answer_cut, stored_size) VALUES ('2026-01-02T03:04:05.678Z', 'http://127.0.0.1:8087/api', 'AccountsList', '["Command=AccountsList","Password=","JSON=Yes"]', 'JSON', 'answer', '', 'HTTP/1.1 200 OK', 42, 26, x'0000001a789cab56724c4ece2fcd2b2956b28a568a4a2dc8a82ccacc4b558aad05007d210971', 0, 38);
INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (1, 'AccountsList', replace('Command=AccountsList|Password=|JSON=Yes', '|', char(10)), '{"Accounts":["Zephyrine"]}');
INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, status_line, duration_ms, answer_size, answer, answer_cut, stored_size) VALUES ('2026-01-02T03:05:00.000Z', 'http://127.0.0.1:8087/api', 'LogsEvent', '["Command=LogsEvent","Password=","Date=2026-01-02"]', 'Legacy', 'error', 'Socket Error # 10061' || char(13) || char(10) || 'Connection refused.', '', 7, 0, NULL, 0, 0);
INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (2, 'LogsEvent', replace('Command=LogsEvent|Password=|Date=2026-01-02', '|', char(10)), NULL);
INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, status_line, duration_ms, answer_size, answer, answer_cut, stored_size, content_type, charset) VALUES ('2026-01-02T03:06:00.000Z', 'http://127.0.0.1:8087/api', 'AccountsGet', '["Command=AccountsGet","Password=","JSON=No","Player=Quintessa"]', 'Legacy', 'answer', '', 'HTTP/1.1 200 OK', 9, 27, x'0000001b789c0b4a2d2ecd29b1f5cfe6e50ac849ac4c2db20d2ccdcc2b492d2e4e040086cb09f5', 0, 39, 'text/plain', 'windows-1252');
INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (3, 'AccountsGet', replace('Command=AccountsGet|Password=|JSON=No|Player=Quintessa', '|', char(10)), 'Result=Ok' || char(13) || char(10) || 'Player=Quintessa');
