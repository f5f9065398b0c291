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
    // Gives up after the engine's time-out.
    void connect();

    // Runs one statement in a transaction of its own. Connecting again when
    // the connection is gone, sending, and waiting for the answer share one
    // deadline of the engine's time-out. A read whose connection turns out
    // to be gone is run once more on a new one; a write is not, since it may
    // have been committed before the connection broke, and its failure then
    // says the outcome is unknown (PlatformError::Outcome::Unknown). Once the
    // server has been given up on, statements of the moment after (the rest
    // of the same action) fail at once rather than wait again.
    Result run(const QString& statement, const QStringList& parameters);

    // Runs `work`, whose statements (run) then form one transaction,
    // committed when it returns and rolled back when it throws. Inside it
    // no statement is sent again on a new connection: a connection lost
    // before the commit has taken the whole transaction with it.
    void transaction(const std::function<void()>& work);

private:
    // The one wait a statement (with the connection it may need) is allowed.
    class Deadline
    {
    public:
        explicit Deadline(int ms);
        int leftMs() const;

    private:
        int m_ms;
        QElapsedTimer m_clock;
    };

    void connect(const Deadline& deadline);
    void close();
    [[noreturn]] void lostInTransaction();
    void ensureConnected(const Deadline& deadline);
    bool waitFor(short events, const Deadline& deadline);
    [[noreturn]] void giveUp(const QString& description, bool writing);
    Result send(const QByteArray& sql, const std::vector<const char*>& values, const Deadline& deadline, bool writing,
        bool* lost);
    Result query(const char* sql, const Deadline& deadline);
    [[noreturn]] void fail(PGresult* result, const QString& statement, bool writing);
    void keepCommitsDurable(const Deadline& deadline);
    void loadNames(const Deadline& deadline);

    QString m_connectionString;
    QString m_label;
    PGconn* m_conn = nullptr;
    QHash<QString, QString> m_names; // lower case -> real name
    bool m_inTransaction = false;
    bool m_committing = false;
    QElapsedTimer m_gaveUp; // since the server was last given up on
};

using SessionPtr = std::shared_ptr<Session>;

} // namespace postgres_engine
