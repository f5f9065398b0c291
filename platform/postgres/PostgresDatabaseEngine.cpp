#include "platform/postgres/PostgresDatabaseEngine.h"

#include "platform/AppendingRowSet.h"
#include "platform/PlatformError.h"
#include "platform/WholeResultRowSet.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QStringDecoder>
#include <QVector>

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>

namespace {

constexpr int kTimeoutMs = PostgresDatabaseEngine::kTimeoutSeconds * 1000;

struct ConninfoOptions
{
    PQconninfoOption* options = nullptr;
    ~ConninfoOptions() { PQconninfoFree(options); }
    QByteArray value(const char* keyword) const
    {
        for (PQconninfoOption* o = options; o && o->keyword; ++o) {
            if (qstrcmp(o->keyword, keyword) == 0 && o->val && *o->val)
                return QByteArray(o->val);
        }
        return QByteArray();
    }
};

// Parses a connection string without ever echoing it: libpq's parse errors
// quote the text, which might hold a password.
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

// The first line of a libpq or server message, without its level prefix.
QString engineText(const char* message)
{
    QString text = QString::fromUtf8(message ? message : "").trimmed();
    text = text.section(QLatin1Char('\n'), 0, 0);
    for (const char* prefix : { "FATAL:  ", "ERROR:  " })
        if (text.startsWith(QLatin1String(prefix)))
            text = text.mid(int(qstrlen(prefix)));
    return text;
}

QString describeConnectFailure(const QString& label, const QString& detail)
{
    QString why;
    if (detail.contains(QLatin1String("does not match host name")))
        why = QStringLiteral("サーバーの証明書が接続先の名前と一致しないため、接続を拒否しました。"
                             "接続先の名前か、サーバーの証明書を確かめて下さい。");
    else if (detail.contains(QLatin1String("certificate")) || detail.contains(QLatin1String("SSL"))
        || detail.contains(QLatin1String("root cert")))
        why = QStringLiteral("サーバーの証明書を確かめられないため、接続を拒否しました。"
                             "事務所の証明書（CA）の設定を確かめて下さい。");
    else if (detail.contains(QLatin1String("timeout")))
        why = QStringLiteral("%1 秒待ちましたが、サーバーが応答しませんでした。")
                  .arg(PostgresDatabaseEngine::kTimeoutSeconds);
    else if (detail.contains(QLatin1String("password")) || detail.contains(QLatin1String("authentication")))
        why = QStringLiteral("サーバーが利用者を認めませんでした（パスワードか証明書の設定を確かめて下さい）。");
    else if (detail.contains(QLatin1String("does not exist")))
        why = QStringLiteral("サーバーにそのデータベースか利用者がありません。");
    else if (detail.contains(QLatin1String("shutting down")) || detail.contains(QLatin1String("starting up")))
        why = QStringLiteral("サーバーが停止中か起動中です。しばらく待ってからやり直して下さい。");
    else
        why = QStringLiteral(
            "サーバーに接続できません。サーバーが動いているか、ネットワークと接続先の設定を確かめて下さい。");
    return QStringLiteral("%1 に接続できませんでした。\n%2\n（%3）").arg(label, why, detail);
}

struct ResultDeleter
{
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

QStringList resultColumnNames(const PGresult* result)
{
    QStringList names;
    for (int c = 0; result && c < PQnfields(result); ++c)
        names << QString::fromUtf8(PQfname(result, c));
    return names;
}

// A statement's whole result, kept as libpq delivered it; values are decoded
// only when read.
class ResultRowSet : public WholeResultRowSet
{
public:
    explicit ResultRowSet(Result result)
        : WholeResultRowSet(resultColumnNames(result.get()))
        , m_result(std::move(result))
        , m_rows(m_result ? PQntuples(m_result.get()) : 0)
    {
    }

protected:
    int rowCount() const override { return m_rows; }
    bool isNull(int row, int column) const override { return PQgetisnull(m_result.get(), row, column); }
    QByteArrayView cell(int row, int column) const override
    {
        return QByteArrayView(PQgetvalue(m_result.get(), row, column), PQgetlength(m_result.get(), row, column));
    }

private:
    Result m_result;
    int m_rows;
};

QByteArray quoteIdentifier(const QString& name)
{
    QByteArray quoted = name.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

bool isReading(const QString& statement)
{
    return statement.trimmed().startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive);
}

// The live server connection and what is known about it. Row sets never hold
// it: each result is complete when it is handed over.
class Session
{
public:
    Session(QString connectionString, QString label)
        : m_connectionString(std::move(connectionString))
        , m_label(std::move(label))
    {
    }
    ~Session() { close(); }

    const QString& label() const { return m_label; }

    // The table or column name that a bare `name` in a statement stands for.
    QString realName(const QString& name) const { return m_names.value(name.toLower(), name); }

    void connect()
    {
        close();
        ConninfoOptions parsed;
        if (!parseConninfo(m_connectionString, parsed))
            throw PlatformError(
                QStringLiteral("%1 に接続できませんでした。\n"
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

    // Runs one statement in a transaction of its own. A read whose connection
    // turns out to be gone is run once more on a new one; a write is not,
    // since it may have been committed before the connection broke.
    Result run(const QString& statement, const QStringList& parameters)
    {
        const QByteArray sql = translate(statement, int(parameters.size()));
        QByteArrayList encoded;
        for (const QString& p : parameters) {
            if (p.contains(QChar(0)))
                throw PlatformError(
                    QStringLiteral("値に NUL 文字（\\0）が含まれているため、サーバーには保存できません。"));
            encoded << p.toUtf8();
        }
        std::vector<const char*> values;
        for (const QByteArray& e : encoded)
            values.push_back(e.constData());

        ensureConnected();
        bool lost = false;
        Result result = send(sql, values, &lost);
        if (lost && isReading(statement)) {
            connect();
            result = send(sql, values, &lost);
        }
        if (lost) {
            close();
            throw PlatformError(QStringLiteral("%1 との接続が切れました。").arg(m_label)
                + (isReading(statement)
                        ? QString()
                        : QStringLiteral("\nこの処理が済んだかどうかは分かりません。一覧で確かめて下さい。"))
                + QStringLiteral("\nサーバーが戻れば、次の操作はそのまま行えます。"));
        }
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            fail(result.get(), statement);
        return result;
    }

private:
    void close()
    {
        if (m_conn)
            PQfinish(m_conn);
        m_conn = nullptr;
    }

    // A server that restarted while the program sat idle has closed the
    // socket; that is found here, before anything is sent, and a new
    // connection made.
    void ensureConnected()
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

    bool waitFor(short events, const QElapsedTimer& clock)
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

    [[noreturn]] void timedOut()
    {
        close(); // the server ends the statement by its own time-out
        throw PlatformError(QStringLiteral("%1 が %2 秒以内に応答しませんでした。"
                                           "処理が済んだかどうかは分かりません。一覧で確かめて下さい。")
                                .arg(m_label)
                                .arg(PostgresDatabaseEngine::kTimeoutSeconds));
    }

    Result send(const QByteArray& sql, const std::vector<const char*>& values, bool* lost)
    {
        *lost = false;
        QElapsedTimer clock;
        clock.start();
        if (!PQsendQueryParams(
                m_conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0)) {
            *lost = PQstatus(m_conn) != CONNECTION_OK;
            if (!*lost)
                throw PlatformError(QStringLiteral("%1 に文を送れませんでした。\n（%2）")
                                        .arg(m_label, engineText(PQerrorMessage(m_conn))));
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
            if (!last || PQresultStatus(last.get()) == PGRES_TUPLES_OK
                || PQresultStatus(last.get()) == PGRES_COMMAND_OK)
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

    [[noreturn]] void fail(PGresult* result, const QString& statement)
    {
        const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
        const QString detail = engineText(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
        QString text;
        if (state == "42P01") {
            // The server names the table folded to lower case; say it as the
            // statement wrote it.
            QString table = detail.section(QLatin1Char('"'), 1, 1);
            const int at = int(statement.indexOf(table, 0, Qt::CaseInsensitive));
            if (at >= 0)
                table = statement.mid(at, table.size());
            text = QStringLiteral("%1 には表 %2 がありません。").arg(m_label, table);
        } else if (state == "42703") {
            text = QStringLiteral("%1 の表に、文の使う列がありません。").arg(m_label);
        } else if (state == "42501") {
            text = QStringLiteral("%1 で、この操作をする権限がありません。").arg(m_label);
        } else if (state == "57014") {
            text = QStringLiteral("%1 が %2 秒以内に処理を終えませんでした。しばらく待ってからやり直して下さい。")
                       .arg(m_label)
                       .arg(PostgresDatabaseEngine::kTimeoutSeconds);
        } else if (state == "25006") {
            text = QStringLiteral("%1 は読み取り専用のため、書き込めません。").arg(m_label);
        } else if (state == "53100") {
            text = QStringLiteral("%1 のディスクがいっぱいのため、書き込めませんでした。").arg(m_label);
        } else if (state.startsWith("57P") || state.startsWith("08")) {
            text = QStringLiteral("%1 が停止中か、接続が切れました。しばらく待ってからやり直して下さい。").arg(m_label);
            close();
        } else if (state.startsWith("23")) {
            text = QStringLiteral("データベースが値を受け付けませんでした。");
        } else if (state.startsWith("22")) {
            text = QStringLiteral("サーバーが値を受け付けませんでした（保存できない文字か、大きすぎる値です）。");
        } else {
            text = QStringLiteral("データベースの処理に失敗しました（%1）。").arg(m_label);
        }
        throw PlatformError(text + QStringLiteral("\n（%1）").arg(detail));
    }

    // Names are matched regardless of letter case, as SQLite does: a bare
    // word that names, in any case, a table or column whose real name is not
    // all lower case is quoted with its real name. Each "?" becomes $1, $2...
    QByteArray translate(const QString& statement, int parameterCount) const
    {
        QString out;
        out.reserve(statement.size() + 32);
        int marks = 0;
        const int n = int(statement.size());
        for (int i = 0; i < n;) {
            const QChar c = statement.at(i);
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                int j = i + 1;
                for (; j < n; ++j) {
                    if (statement.at(j) == c) {
                        if (j + 1 < n && statement.at(j + 1) == c)
                            ++j;
                        else
                            break;
                    }
                }
                out += statement.mid(i, j + 1 - i);
                i = j + 1;
            } else if (c == QLatin1Char('-') && i + 1 < n && statement.at(i + 1) == QLatin1Char('-')) {
                int j = int(statement.indexOf(QLatin1Char('\n'), i));
                j = j < 0 ? n : j;
                out += statement.mid(i, j - i);
                i = j;
            } else if (c == QLatin1Char('?')) {
                out += QLatin1Char('$') + QString::number(++marks);
                ++i;
            } else if ((c.isLetter() && c.unicode() < 128) || c == QLatin1Char('_')) {
                int j = i + 1;
                while (j < n && statement.at(j).unicode() < 128
                    && (statement.at(j).isLetterOrNumber() || statement.at(j) == QLatin1Char('_')
                        || statement.at(j) == QLatin1Char('$')))
                    ++j;
                const QString word = statement.mid(i, j - i);
                const auto real = m_names.constFind(word.toLower());
                out += real == m_names.constEnd() ? word : QString::fromUtf8(quoteIdentifier(real.value()));
                i = j;
            } else {
                out += c;
                ++i;
            }
        }
        if (marks != parameterCount)
            throw PlatformError(QStringLiteral("SQL文の引数の数が合いません。"));
        return out.toUtf8();
    }

    // "登録を完了しました。" must mean the row is on the server's disk, as
    // with the file: a server or database configured with synchronous_commit
    // off is overruled for this session. Stronger settings (remote_apply and
    // the like, for a standby) are kept.
    void keepCommitsDurable()
    {
        Result r(PQexec(m_conn,
            "SELECT set_config('synchronous_commit', 'on', false) "
            "WHERE current_setting('synchronous_commit') = 'off'"));
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
            fail(r.get(), QString());
    }

    void loadNames()
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

    QString m_connectionString;
    QString m_label;
    PGconn* m_conn = nullptr;
    QHash<QString, QString> m_names; // lower case -> real name
};

using SessionPtr = std::shared_ptr<Session>;

class TableRowSet : public AppendingRowSet
{
public:
    TableRowSet(SessionPtr session, QString table, QStringList columnNames)
        : AppendingRowSet(std::move(table), std::move(columnNames))
        , m_session(std::move(session))
    {
    }

private:
    std::unique_ptr<RowSet> readRows() override
    {
        return std::make_unique<ResultRowSet>(
            m_session->run(QStringLiteral("SELECT * FROM ") + QString::fromUtf8(quoteIdentifier(table())), {}));
    }

    void insertRow(const QMap<QString, QString>& row) override
    {
        QString sql = QStringLiteral("INSERT INTO ") + QString::fromUtf8(quoteIdentifier(table()));
        QStringList values;
        if (row.isEmpty()) {
            sql += QStringLiteral(" DEFAULT VALUES");
        } else {
            QStringList names;
            QStringList marks;
            for (auto it = row.cbegin(); it != row.cend(); ++it) {
                names << QString::fromUtf8(quoteIdentifier(it.key()));
                marks << QStringLiteral("?");
                values << it.value();
            }
            sql += QStringLiteral(" (%1) VALUES (%2)")
                       .arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        }
        m_session->run(sql, values);
    }

    SessionPtr m_session;
};

class PostgresConnection : public Connection
{
public:
    PostgresConnection(QString connectionString, QString label)
        : m_connectionString(std::move(connectionString))
        , m_label(std::move(label))
    {
    }

    // The path names the desktop's file; this engine reaches its server.
    void open(const QString&) override
    {
        m_session.reset();
        auto session = std::make_shared<Session>(m_connectionString, m_label);
        session->connect();
        m_session = std::move(session);
    }

    bool isOpen() const override { return m_session != nullptr; }

    std::unique_ptr<RowSet> execute(const QString& statement, const QStringList& parameters) override
    {
        return std::make_unique<ResultRowSet>(session()->run(statement, parameters));
    }

    std::unique_ptr<RowSet> openTable(const QString& table) override
    {
        const SessionPtr& s = session();
        // Resolved like any bare name in a statement, then quoted as found.
        ResultRowSet probe(s->run(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(table), {}));
        const QStringList names = probe.columnNames();
        return std::make_unique<TableRowSet>(s, s->realName(table), names);
    }

    // Every commit is the server's: there is no file beside the program to
    // complete.
    bool checkpoint() override { return true; }

    // The server's backups are made on the server (pg_dump), not by desktops.
    bool keepsDailyCopies() const override { return false; }
    void copyTo(const QString&) override
    {
        throw PlatformError(QStringLiteral("サーバーのデータベースの控えは、サーバーで pg_dump により取って下さい。"));
    }

    // The identity column of the server's table (platform/postgres/fudousan_postgresql.sql).
    QString rowKeyColumn() const override { return QStringLiteral("rowid"); }

private:
    const SessionPtr& session() const
    {
        if (!m_session)
            throw PlatformError(QStringLiteral("データベースに接続されていません。"));
        return m_session;
    }

    QString m_connectionString;
    QString m_label;
    SessionPtr m_session;
};

} // namespace

PostgresDatabaseEngine::PostgresDatabaseEngine(QString connectionString)
    : m_connectionString(std::move(connectionString))
{
}

std::unique_ptr<Connection> PostgresDatabaseEngine::createConnection()
{
    return std::make_unique<PostgresConnection>(m_connectionString, describeServer(m_connectionString));
}

QString PostgresDatabaseEngine::describeDatabase(const QString&) const
{
    return describeServer(m_connectionString);
}

QString PostgresDatabaseEngine::describeServer(const QString& connectionString)
{
    ConninfoOptions parsed;
    if (!parseConninfo(connectionString, parsed))
        return QStringLiteral("データベースサーバー（接続設定の書式が正しくありません）");
    return serverLabel(parsed);
}
