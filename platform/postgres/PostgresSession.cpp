#include "platform/postgres/PostgresSession.h"

#include "platform/PlatformError.h"
#include "platform/postgres/PostgresDatabaseEngine.h"
#include "platform/postgres/PostgresDialect.h"
#include "platform/postgres/PostgresErrors.h"

#include <QByteArrayList>

#include <cerrno>
#include <poll.h>
#include <vector>

namespace postgres_engine {

namespace {

    constexpr int kTimeoutMs = PostgresDatabaseEngine::kTimeoutSeconds * 1000;

} // namespace

QByteArray ConninfoOptions::value(const char* keyword) const
{
    for (PQconninfoOption* o = options; o && o->keyword; ++o) {
        if (qstrcmp(o->keyword, keyword) == 0 && o->val && *o->val)
            return QByteArray(o->val);
    }
    return QByteArray();
}

bool parseConninfo(const QString& text, ConninfoOptions& parsed)
{
    char* error = nullptr;
    parsed.options = PQconninfoParse(text.toUtf8().constData(), &error);
    PQfreemem(error);
    return parsed.options != nullptr;
}

QString serverLabel(const ConninfoOptions& parsed)
{
    ConninfoOptions defaults;
    defaults.options = PQconndefaults();
    auto pick = [&](const char* keyword) {
        const QByteArray v = parsed.value(keyword);
        return v.isEmpty() ? defaults.value(keyword) : v;
    };
    QByteArray host = pick("host");
    if (host.isEmpty())
        host = pick("hostaddr");
    if (host.isEmpty())
        host = "/var/run/postgresql";
    QByteArray port = pick("port");
    if (port.isEmpty())
        port = "5432";
    QByteArray database = pick("dbname");
    if (database.isEmpty())
        database = pick("user");
    return QStringLiteral("データベースサーバー %1:%2 のデータベース %3")
        .arg(QString::fromUtf8(host), QString::fromUtf8(port), QString::fromUtf8(database));
}

Session::Session(QString connectionString, QString label)
    : m_connectionString(std::move(connectionString))
    , m_label(std::move(label))
{
}

Session::~Session()
{
    close();
}

void Session::connect()
{
    close();
    ConninfoOptions parsed;
    if (!parseConninfo(m_connectionString, parsed))
        throw PlatformError(QStringLiteral("%1 に接続できませんでした。\n"
                                           "設定ファイル Fudousan.ini の [Database] Server の書式が正しくありません。")
                                .arg(m_label));
    if (!parsed.value("password").isEmpty())
        throw PlatformError(
            QStringLiteral("%1 に接続しませんでした。\n"
                           "設定ファイル Fudousan.ini の [Database] Server にパスワードが書かれています。"
                           "パスワードは設定に書かず、~/.pgpass などで与えて下さい。")
                .arg(m_label));

    QByteArrayList keywords;
    QByteArrayList values;
    for (PQconninfoOption* o = parsed.options; o->keyword; ++o) {
        if (o->val && *o->val) {
            keywords << o->keyword;
            values << o->val;
        }
    }
    auto setDefault = [&](const char* keyword, const QByteArray& value) {
        if (!keywords.contains(keyword)) {
            keywords << keyword;
            values << value;
        }
    };
    setDefault("connect_timeout", QByteArray::number(PostgresDatabaseEngine::kTimeoutSeconds));
    setDefault("tcp_user_timeout", QByteArray::number(kTimeoutMs));
    setDefault("keepalives_idle", "30");
    setDefault("fallback_application_name", "fudousan");
    // Values travel as UTF-8 whatever the desktop's locale; the server
    // ends a statement that outlives the time-out on its own as well.
    const int at = int(keywords.indexOf("client_encoding"));
    if (at >= 0)
        values[at] = "UTF8";
    else
        setDefault("client_encoding", "UTF8");
    const QByteArray timeout = "-c statement_timeout=" + QByteArray::number(kTimeoutMs);
    const int optionsAt = int(keywords.indexOf("options"));
    if (optionsAt >= 0)
        values[optionsAt] += ' ' + timeout;
    else
        setDefault("options", timeout);

    std::vector<const char*> k;
    std::vector<const char*> v;
    for (int i = 0; i < keywords.size(); ++i) {
        k.push_back(keywords.at(i).constData());
        v.push_back(values.at(i).constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    m_conn = PQconnectdbParams(k.data(), v.data(), 0);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const QString detail = m_conn ? engineText(PQerrorMessage(m_conn)) : QStringLiteral("out of memory");
        close();
        throw PlatformError(describeConnectFailure(m_label, detail));
    }
    // The server's notices are not for the desktop's terminal.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    const char* encoding = PQparameterStatus(m_conn, "server_encoding");
    if (!encoding || qstrcmp(encoding, "UTF8") != 0) {
        const QString found = QString::fromUtf8(encoding ? encoding : "?");
        close();
        throw PlatformError(QStringLiteral("%1 の文字コードが UTF8 ではありません（%2）。"
                                           "UTF8 のデータベースを使って下さい。")
                                .arg(m_label, found));
    }
    keepCommitsDurable();
    loadNames();
}

Result Session::run(const QString& statement, const QStringList& parameters)
{
    const QByteArray sql = translateStatement(statement, int(parameters.size()), m_names);
    QByteArrayList encoded;
    for (const QString& p : parameters) {
        if (p.contains(QChar(0)))
            throw PlatformError(QStringLiteral("値に NUL 文字（\\0）が含まれているため、サーバーには保存できません。"));
        encoded << p.toUtf8();
    }
    std::vector<const char*> values;
    for (const QByteArray& e : encoded)
        values.push_back(e.constData());

    if (m_inTransaction && (!m_conn || PQstatus(m_conn) != CONNECTION_OK))
        lostInTransaction();
    if (!m_inTransaction)
        ensureConnected();
    bool lost = false;
    Result result = send(sql, values, &lost);
    if (lost && isReading(statement) && !m_inTransaction) {
        connect();
        result = send(sql, values, &lost);
    }
    if (lost && m_inTransaction && !m_committing)
        lostInTransaction();
    if (lost) {
        close();
        throw PlatformError(QStringLiteral("%1 との接続が切れました。").arg(m_label)
            + (isReading(statement) && !m_committing
                    ? QString()
                    : QStringLiteral("\nこの処理が済んだかどうかは分かりません。一覧で確かめて下さい。"))
            + QStringLiteral("\nサーバーが戻れば、次の操作はそのまま行えます。"));
    }
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        fail(result.get(), statement);
    return result;
}

void Session::transaction(const std::function<void()>& work)
{
    if (m_inTransaction)
        throw PlatformError(QStringLiteral("トランザクションの中で、別のトランザクションは始められません。"));
    run(QStringLiteral("BEGIN"), {});
    m_inTransaction = true;
    try {
        work();
        m_committing = true;
        run(QStringLiteral("COMMIT"), {});
    } catch (...) {
        m_inTransaction = false;
        m_committing = false;
        // The server rolls back on its own a transaction whose connection
        // is gone.
        if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        throw;
    }
    m_inTransaction = false;
    m_committing = false;
}

// Before the commit, a lost connection has taken the transaction with it:
// nothing of it was done.
void Session::lostInTransaction()
{
    m_inTransaction = false;
    close();
    throw PlatformError(QStringLiteral("%1 との接続が切れました。この処理は行われていません。\n"
                                       "サーバーが戻れば、次の操作はそのまま行えます。")
                            .arg(m_label));
}

void Session::close()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

// A server that restarted while the program sat idle has closed the
// socket; that is found here, before anything is sent, and a new
// connection made.
void Session::ensureConnected()
{
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK) {
        pollfd fd { PQsocket(m_conn), POLLIN, 0 };
        if (::poll(&fd, 1, 0) > 0 && (!PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK))
            close();
        else if (m_conn)
            while (PGresult* stray = PQgetResult(m_conn))
                PQclear(stray);
    } else {
        close();
    }
    if (!m_conn)
        connect();
}

bool Session::waitFor(short events, const QElapsedTimer& clock)
{
    const int left = kTimeoutMs + 1000 - int(clock.elapsed());
    if (left <= 0)
        return false;
    pollfd fd { PQsocket(m_conn), events, 0 };
    int rc;
    do {
        rc = ::poll(&fd, 1, left);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

void Session::timedOut()
{
    close(); // the server ends the statement by its own time-out
    throw PlatformError(QStringLiteral("%1 が %2 秒以内に応答しませんでした。"
                                       "処理が済んだかどうかは分かりません。一覧で確かめて下さい。")
                            .arg(m_label)
                            .arg(PostgresDatabaseEngine::kTimeoutSeconds));
}

Result Session::send(const QByteArray& sql, const std::vector<const char*>& values, bool* lost)
{
    *lost = false;
    QElapsedTimer clock;
    clock.start();
    if (!PQsendQueryParams(m_conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0)) {
        *lost = PQstatus(m_conn) != CONNECTION_OK;
        if (!*lost)
            throw PlatformError(
                QStringLiteral("%1 に文を送れませんでした。\n（%2）").arg(m_label, engineText(PQerrorMessage(m_conn))));
        return nullptr;
    }
    for (;;) {
        const int flushed = PQflush(m_conn);
        if (flushed == 0)
            break;
        if (flushed < 0) {
            *lost = true;
            return nullptr;
        }
        if (!waitFor(POLLOUT | POLLIN, clock))
            timedOut();
        if (!PQconsumeInput(m_conn)) {
            *lost = true;
            return nullptr;
        }
    }
    Result last;
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (!waitFor(POLLIN, clock))
                timedOut();
            if (!PQconsumeInput(m_conn)) {
                *lost = true;
                return nullptr;
            }
        }
        PGresult* next = PQgetResult(m_conn);
        if (!next)
            break;
        // The first error is the one that says why; later results
        // only repeat it.
        if (!last || PQresultStatus(last.get()) == PGRES_TUPLES_OK || PQresultStatus(last.get()) == PGRES_COMMAND_OK)
            last.reset(next);
        else
            PQclear(next);
    }
    if (PQstatus(m_conn) != CONNECTION_OK
        || (last && PQresultStatus(last.get()) == PGRES_FATAL_ERROR
            && !PQresultErrorField(last.get(), PG_DIAG_SQLSTATE))) {
        *lost = true;
        return nullptr;
    }
    if (!last)
        throw PlatformError(QStringLiteral("%1 から結果が返りませんでした。").arg(m_label));
    return last;
}

void Session::fail(PGresult* result, const QString& statement)
{
    const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString detail = engineText(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    if (isConnectionFailure(state))
        close();
    throw PlatformError(describeStatementFailure(state, detail, m_label, statement));
}

// "登録を完了しました。" must mean the row is on the server's disk, as
// with the file: a server or database configured with synchronous_commit
// off is overruled for this session. Stronger settings (remote_apply and
// the like, for a standby) are kept.
void Session::keepCommitsDurable()
{
    Result r(PQexec(m_conn,
        "SELECT set_config('synchronous_commit', 'on', false) "
        "WHERE current_setting('synchronous_commit') = 'off'"));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        fail(r.get(), QString());
}

void Session::loadNames()
{
    m_names.clear();
    Result r(PQexec(m_conn,
        "SELECT c.relname, a.attname FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace "
        "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "WHERE c.relkind IN ('r', 'p', 'v') AND n.nspname = ANY (current_schemas(false))"));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        fail(r.get(), QString());
    QHash<QString, QStringList> byLower;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        for (int col = 0; col < 2; ++col) {
            if (PQgetisnull(r.get(), row, col))
                continue;
            const QString name = QString::fromUtf8(PQgetvalue(r.get(), row, col));
            QStringList& spellings = byLower[name.toLower()];
            if (!spellings.contains(name))
                spellings << name;
        }
    }
    // Only a name with one spelling, not all lower case, needs quoting.
    for (auto it = byLower.cbegin(); it != byLower.cend(); ++it) {
        if (it.value().size() == 1 && it.value().first() != it.key())
            m_names.insert(it.key(), it.value().first());
    }
}

} // namespace postgres_engine
