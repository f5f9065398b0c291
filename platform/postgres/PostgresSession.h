#pragma once

// The live connection to the office's server and the running of one
// statement on it, within the engine's time-out. Private to
// platform/postgres/.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <libpq-fe.h>
#include <memory>
#include <vector>

namespace postgres_engine {

// A parsed connection string; freed with it.
struct ConninfoOptions
{
    PQconninfoOption* options = nullptr;
    ~ConninfoOptions() { PQconninfoFree(options); }
    // The value set for `keyword`, or empty.
    QByteArray value(const char* keyword) const;
};

// Parses a connection string without ever echoing it: libpq's parse errors
// quote the text, which might hold a password.
bool parseConninfo(const QString& text, ConninfoOptions& parsed);

// "データベースサーバー HOST:PORT のデータベース NAME", with libpq's defaults
// for what the string leaves out.
QString serverLabel(const ConninfoOptions& parsed);

struct ResultDeleter
{
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// The live server connection and what is known about it. Row sets never hold
// it: each result is complete when it is handed over.
class Session
{
public:
    Session(QString connectionString, QString label);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const QString& label() const { return m_label; }

    // The table or column name that a bare `name` in a statement stands for.
    QString realName(const QString& name) const { return m_names.value(name.toLower(), name); }

    // Connects (again), refusing a setting that holds a password, and
    // checks the database's encoding; throws PlatformError on failure.
    void connect();

    // Runs one statement in a transaction of its own. A read whose
    // connection turns out to be gone is run once more on a new one; a write
    // is not, since it may have been committed before the connection broke.
    Result run(const QString& statement, const QStringList& parameters);

    // Runs `work`, whose statements (run) then form one transaction,
    // committed when it returns and rolled back when it throws. Inside it
    // no statement is sent again on a new connection: a connection lost
    // before the commit has taken the whole transaction with it.
    void transaction(const std::function<void()>& work);

private:
    void close();
    [[noreturn]] void lostInTransaction();
    void ensureConnected();
    bool waitFor(short events, const QElapsedTimer& clock);
    [[noreturn]] void timedOut();
    Result send(const QByteArray& sql, const std::vector<const char*>& values, bool* lost);
    [[noreturn]] void fail(PGresult* result, const QString& statement);
    void keepCommitsDurable();
    void loadNames();

    QString m_connectionString;
    QString m_label;
    PGconn* m_conn = nullptr;
    QHash<QString, QString> m_names; // lower case -> real name
    bool m_inTransaction = false;
    bool m_committing = false;
};

using SessionPtr = std::shared_ptr<Session>;

} // namespace postgres_engine
