-- The third schema (the first, then the steps to versions 2 and 3), with the calls it wrote: the
-- last one's answer left for its words to be indexed later.
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
BEGIN IMMEDIATE;
ALTER TABLE calls ADD COLUMN answer_indexed INTEGER NOT NULL DEFAULT 1;
CREATE INDEX calls_unindexed ON calls (id) WHERE answer_indexed = 0;
PRAGMA user_version = 3;
COMMIT;
INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, status_line, duration_ms, answer_size, answer, answer_cut, stored_size) VALUES ('2026-01-02T03:04:05.678Z', 'http://127.0.0.1:8087/api', 'AccountsList', '["Command=AccountsList","Password=","JSON=Yes"]', 'JSON', 'answer', '', 'HTTP/1.1 200 OK', 42, 26, x'0000001a789cab56724c4ece2fcd2b2956b28a568a4a2dc8a82ccacc4b558aad05007d210971', 0, 38);
INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (1, 'AccountsList', replace('Command=AccountsList|Password=|JSON=Yes', '|', char(10)), '{"Accounts":["Zephyrine"]}');
INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, status_line, duration_ms, answer_size, answer, answer_cut, stored_size) VALUES ('2026-01-02T03:05:00.000Z', 'http://127.0.0.1:8087/api', 'LogsEvent', '["Command=LogsEvent","Password=","Date=2026-01-02"]', 'Legacy', 'error', 'Socket Error # 10061' || char(13) || char(10) || 'Connection refused.', '', 7, 0, NULL, 0, 0);
INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (2, 'LogsEvent', replace('Command=LogsEvent|Password=|Date=2026-01-02', '|', char(10)), NULL);
INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, status_line, duration_ms, answer_size, answer, answer_cut, stored_size, content_type, charset, answer_indexed) VALUES ('2026-01-02T03:07:00.000Z', 'http://127.0.0.1:8087/api', 'SystemStats', '["Command=SystemStats","Password=","JSON=Yes"]', 'JSON', 'answer', '', 'HTTP/1.1 200 OK', 11, 38, x'00000026789cab560a4a2d2ecd2951b252f2cf56d2510acf2f4a290672024b534baa127392f3134b72946a01f2150cea', 0, 48, 'application/json', 'utf-8', 0);
INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (3, 'SystemStats', replace('Command=SystemStats|Password=|JSON=Yes', '|', char(10)), '');
