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

    // An action's whole wait for a server that does not answer.
    constexpr int kTimeoutMs = PostgresDatabaseEngine::kTimeoutSeconds * 1000;

    // A statement, with the connection it may need, waits for most of it. In
    // the moments after the server was given up on (the rest of the same
    // action: the refill after a failed deletion), a statement gets only the
    // rest, so that an action waits once.
    constexpr int kSecondTryMs = 1000;
    constexpr int kStatementWaitMs = kTimeoutMs - kSecondTryMs;
    constexpr int kMomentsAfterMs = 2000;

    // The server's own limit on a statement, within the desktop's wait: a
    // statement that merely runs long is ended by the server, with a certain
    // answer (nothing was done), before the desktop gives up not knowing.
    constexpr int kStatementTimeoutMs = kStatementWaitMs - 2000;

    const QString kCannotTell = QStringLiteral("この処理が済んだかどうかは分かりません。");

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

Session::Deadline::Deadline(int ms)
    : m_ms(ms)
{
    m_clock.start();
}

int Session::Deadline::leftMs() const
{
    return int(qMax<qint64>(0, m_ms - m_clock.elapsed()));
}

void Session::connect()
{
    connect(Deadline(kStatementWaitMs));
}

void Session::connect(const Deadline& deadline)
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
    setDefault("tcp_user_timeout", QByteArray::number(kTimeoutMs));
    setDefault("keepalives_idle", "30");
    setDefault("fallback_application_name", "fudousan");
    // Values travel as UTF-8 whatever the desktop's locale; the server
    // ends a statement that outlives its time-out on its own as well.
    const int at = int(keywords.indexOf("client_encoding"));
    if (at >= 0)
        values[at] = "UTF8";
    else
        setDefault("client_encoding", "UTF8");
    const QByteArray timeout = "-c statement_timeout=" + QByteArray::number(kStatementTimeoutMs);
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
    // Connected without blocking, so that the deadline holds for every host
    // the setting names and every step (libpq's connect_timeout applies to
    // each host on its own, and not at all here).
    m_conn = PQconnectStartParams(k.data(), v.data(), 0);
    if (!m_conn)
        throw PlatformError(QStringLiteral("%1 に接続できませんでした（メモリが足りません）。").arg(m_label));
    PostgresPollingStatusType polling
        = PQstatus(m_conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK) {
        if (polling == PGRES_POLLING_FAILED)
            giveUp(describeConnectFailure(m_label, engineText(PQerrorMessage(m_conn))), false);
        if (!waitFor(polling == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline))
            giveUp(describeConnectFailure(m_label, QStringLiteral("timeout expired")), false);
        polling = PQconnectPoll(m_conn);
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
    keepCommitsDurable(deadline);
    loadNames(deadline);
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

    // Inside a transaction a lost connection has taken the transaction with
    // it: nothing of it was done, and nothing is sent again on a new one. Its
    // outcome is unknown only when the commit itself was cut off.
    const bool writing = m_inTransaction ? m_committing : !isReading(statement);
    if (m_inTransaction && (!m_conn || PQstatus(m_conn) != CONNECTION_OK))
        lostInTransaction();

    const bool momentsAfter = m_gaveUp.isValid() && m_gaveUp.elapsed() < kMomentsAfterMs;
    const Deadline deadline(momentsAfter ? kSecondTryMs : kStatementWaitMs);
    if (!m_inTransaction)
        ensureConnected(deadline);
    bool lost = false;
    Result result = send(sql, values, deadline, writing, &lost);
    if (lost && !writing && !m_inTransaction) {
        connect(deadline);
        result = send(sql, values, deadline, writing, &lost);
    }
    if (lost && m_inTransaction && !m_committing)
        lostInTransaction();
    if (lost)
        giveUp(writing ? kCannotTell
                    + QStringLiteral("%1 との接続が途中で切れました。一覧で確かめて下さい。\n"
                                     "サーバーが戻れば、次の操作はそのまま行えます。")
                          .arg(m_label)
                       : QStringLiteral("%1 との接続が切れました。\nサーバーが戻れば、次の操作はそのまま行えます。")
                             .arg(m_label),
            writing);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        fail(result.get(), statement, writing);
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
    m_gaveUp.start();
    throw PlatformError(QStringLiteral("%1 との接続が切れました。この処理は行われていません。\n"
                                       "サーバーが戻れば、次の操作はそのまま行えます。")
                            .arg(m_label),
        PlatformError::Outcome::NotDone);
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
void Session::ensureConnected(const Deadline& deadline)
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
        connect(deadline);
}

bool Session::waitFor(short events, const Deadline& deadline)
{
    for (;;) {
        const int left = deadline.leftMs();
        if (left <= 0)
            return false;
        pollfd fd { PQsocket(m_conn), events, 0 };
        const int rc = ::poll(&fd, 1, left);
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

// The server is given up on: the connection goes (the server ends a
// statement it still runs by its own time-out), and the statements of the
// moment after fail at once.
void Session::giveUp(const QString& description, bool writing)
{
    close();
    m_gaveUp.start();
    throw PlatformError(description, writing ? PlatformError::Outcome::Unknown : PlatformError::Outcome::NotDone);
}

Result Session::send(
    const QByteArray& sql, const std::vector<const char*>& values, const Deadline& deadline, bool writing, bool* lost)
{
    *lost = false;
    const auto timedOut = [&] {
        const QString silent = QStringLiteral("%1 が応答しませんでした（%2 秒待って応答がなければ、あきらめます）。")
                                   .arg(m_label)
                                   .arg(PostgresDatabaseEngine::kTimeoutSeconds);
        giveUp(writing ? kCannotTell + silent + QStringLiteral("一覧で確かめて下さい。")
                       : silent + QStringLiteral("しばらく待ってからやり直して下さい。"),
            writing);
    };
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
        if (!waitFor(POLLOUT | POLLIN, deadline))
            timedOut();
        if (!PQconsumeInput(m_conn)) {
            *lost = true;
            return nullptr;
        }
    }
    Result last;
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (!waitFor(POLLIN, deadline))
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

Result Session::query(const char* sql, const Deadline& deadline)
{
    bool lost = false;
    Result result = send(QByteArray(sql), {}, deadline, false, &lost);
    if (lost)
        giveUp(QStringLiteral("%1 との接続が切れました。").arg(m_label), false);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        fail(result.get(), QString(), false);
    return result;
}

void Session::fail(PGresult* result, const QString& statement, bool writing)
{
    const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString detail = engineText(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    if (!isConnectionFailure(state))
        throw PlatformError(describeStatementFailure(state, detail, m_label, statement));
    // The server ended the connection during the statement: a write may
    // have been committed before the end came.
    const QString description = describeStatementFailure(state, detail, m_label, statement);
    giveUp(writing ? kCannotTell + description + QStringLiteral("\n一覧で確かめて下さい。") : description, writing);
}

// "登録を完了しました。" must mean the row is on the server's disk, as
// with the file: a server or database configured with synchronous_commit
// off is overruled for this session. Stronger settings (remote_apply and
// the like, for a standby) are kept.
void Session::keepCommitsDurable(const Deadline& deadline)
{
    query("SELECT set_config('synchronous_commit', 'on', false) "
          "WHERE current_setting('synchronous_commit') = 'off'",
        deadline);
}

void Session::loadNames(const Deadline& deadline)
{
    m_names.clear();
    const Result r = query("SELECT c.relname, a.attname FROM pg_class c "
                           "JOIN pg_namespace n ON n.oid = c.relnamespace "
                           "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
                           "WHERE c.relkind IN ('r', 'p', 'v') AND n.nspname = ANY (current_schemas(false))",
        deadline);
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
