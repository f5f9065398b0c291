#pragma once

#include "platform/DatabaseEngine.h"

// DatabaseEngine on a PostgreSQL server, through libpq, for an office whose
// desktops share one property list. The connection setting is a libpq
// connection string or URI; it must not hold a password (libpq's own means
// supply one: ~/.pgpass, a service file, peer or certificate authentication),
// and no message ever shows one.
//
// Connections ignore the file path they are given and reach the configured
// server. Statements are written as for SQLite: "?" marks a bound value, and
// names are matched regardless of letter case (a bare Fudousan finds the
// table "Fudousan"). Every statement is its own transaction; an appended row
// is on the server's disk when update() returns (a database set to
// synchronous_commit = off is overruled for the program's sessions).
//
// No action waits more than kTimeoutSeconds for a server that does not
// answer: a statement, with the connection it may need, is given up after 9
// of them, and in the moments after that a statement of the same action (a
// refill after a failed deletion) waits only the one second left. The server
// itself ends a statement after 7 s, so that a statement that merely runs
// long is refused with a certain answer first. A connection that the server
// closed while the program was idle is made again before the next statement.
// A write whose connection is lost or whose answer does not come may have
// been done all the same: its PlatformError says first that the outcome is
// unknown (PlatformError::Outcome::Unknown); the next call connects again.
class PostgresDatabaseEngine : public DatabaseEngine
{
public:
    static constexpr int kTimeoutSeconds = 10;

    explicit PostgresDatabaseEngine(QString connectionString);

    std::unique_ptr<Connection> createConnection() override;

    // "データベースサーバー HOST:PORT のデータベース NAME", never the password.
    QString describeDatabase(const QString& path) const override;
    bool usesFile() const override { return false; }

    // The server and database that `connectionString` names, as above; a
    // string that cannot be read is said to be so, without repeating it.
    static QString describeServer(const QString& connectionString);

private:
    QString m_connectionString;
};
