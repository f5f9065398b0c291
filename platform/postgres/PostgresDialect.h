#pragma once

// The store's statements are written for SQLite; the server takes them after
// this translation. A pure function of the text: unit-tested without a server.

#include <QByteArray>
#include <QHash>
#include <QString>

namespace postgres_engine {

// `name` as an SQL identifier in double quotes.
QByteArray quoteIdentifier(const QString& name);

// Whether `statement` only reads (a SELECT), so that it may be sent again on
// a new connection when the first one turned out to be gone.
bool isReading(const QString& statement);

// `statement` as the server takes it. Names are matched regardless of letter
// case, as SQLite does: a bare word that names, in any case, a table or column
// whose real name is not all lower case (`realNames`: lower case -> real name)
// is quoted with its real name. Each "?" outside quotes and comments becomes
// $1, $2, ... in order. Throws PlatformError when the marks are not
// `parameterCount`.
QByteArray translateStatement(const QString& statement, int parameterCount, const QHash<QString, QString>& realNames);

} // namespace postgres_engine
