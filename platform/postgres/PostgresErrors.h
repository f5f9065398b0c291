#pragma once

// How the server engine words a failure for the agent. `label` names the
// server and database ("データベースサーバー HOST:PORT のデータベース NAME"),
// never a password.

#include <QByteArray>
#include <QString>

namespace postgres_engine {

// The first line of a libpq or server message, without its level prefix.
QString engineText(const char* message);

// Why connecting to `label` failed, from libpq's `detail`.
QString describeConnectFailure(const QString& label, const QString& detail);

// Whether the SQLSTATE `state` says the server went away or is stopping.
bool isConnectionFailure(const QByteArray& state);

// Why `statement` failed on `label`, from the SQLSTATE `state` and the
// server's primary message `detail`.
QString describeStatementFailure(
    const QByteArray& state, const QString& detail, const QString& label, const QString& statement);

} // namespace postgres_engine
