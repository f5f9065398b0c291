#include "platform/SqliteDatabaseEngine.h"

#include "platform/PlatformError.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QVector>

#include <sqlite3.h>

namespace {

// Owns the sqlite3 handle; row sets keep it alive through a shared_ptr so a
// row set can never outlive the handle it reads from.
struct Handle
{
    sqlite3* db = nullptr;
    QString path;
    ~Handle() { sqlite3_close_v2(db); }
};
using HandlePtr = std::shared_ptr<Handle>;

struct Statement
{
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

QString describeCode(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("データベースが他のプログラムで使用中のため、処理できませんでした。しばらく待ってからやり直して下さい。");
    case SQLITE_READONLY:
        return QStringLiteral("データベースファイルに書き込めません（読み取り専用か、フォルダーに書き込めません）。");
    case SQLITE_CANTOPEN:
        return QStringLiteral("データベースファイルを開けません。");
    case SQLITE_NOTADB:
        return QStringLiteral("データベースファイルではありません。");
    case SQLITE_CORRUPT:
        return QStringLiteral("データベースファイルが壊れています。");
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいのため、書き込めませんでした。");
    case SQLITE_IOERR:
        return QStringLiteral("データベースファイルの読み書きに失敗しました。");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("データベースファイルへのアクセスが許可されていません。");
    case SQLITE_TOOBIG:
        return QStringLiteral("値が大きすぎるため、保存できませんでした。");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("データベースが値を受け付けませんでした。");
    default:
        return QStringLiteral("データベースの処理に失敗しました。");
    }
}

[[noreturn]] void fail(sqlite3* db, int code, const QString& context = QString())
{
    QString text = describeCode(code);
    if (!context.isEmpty())
        text += QLatin1Char('\n') + context;
    const char* engineText = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    text += QStringLiteral("\n（%1）").arg(QString::fromUtf8(engineText));
    throw PlatformError(text);
}

// A statement's whole result, read at once. Holding no statement open keeps
// every later write of the same connection in a transaction of its own: in
// SQLite a pending SELECT would delay the commit of the connection's writes.
class ResultRowSet : public RowSet
{
public:
    ResultRowSet(QStringList names, QVector<QByteArray> cells, QVector<bool> nulls)
        : m_names(std::move(names)), m_width(int(m_names.size())), m_cells(std::move(cells)), m_nulls(std::move(nulls))
    {
        for (int c = 0; c < m_width; ++c)
            m_columns.insert(m_names.at(c).toLower(), c);
    }

    bool atEnd() override { return m_width == 0 || qsizetype(m_row) * m_width >= m_cells.size(); }

    QStringList columnNames() const override { return m_names; }

    std::optional<QString> field(const QString& name) override
    {
        if (atEnd())
            throw PlatformError(QStringLiteral("現在の行がありません（列 %1）。").arg(name));
        const auto it = m_columns.constFind(name.toLower());
        if (it == m_columns.constEnd())
            throw PlatformError(QStringLiteral("列 %1 がありません。").arg(name));
        const qsizetype cell = qsizetype(m_row) * m_width + it.value();
        if (m_nulls.at(cell))
            return std::nullopt;
        return QString::fromUtf8(m_cells.at(cell));
    }

    void moveNext() override
    {
        if (atEnd())
            throw PlatformError(QStringLiteral("これ以上の行はありません。"));
        ++m_row;
    }

    void addNew() override { throw PlatformError(QStringLiteral("この行セットには行を追加できません。")); }
    void setField(const QString&, const QString&) override { addNew(); }
    void update() override { addNew(); }

protected:
    QStringList m_names;
    QHash<QString, int> m_columns; // lower-cased name -> column index
    int m_width;
    QVector<QByteArray> m_cells; // row-major
    QVector<bool> m_nulls;
    int m_row = 0;
};

QByteArray quoteIdentifier(const QString& name)
{
    QByteArray quoted = name.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

void prepare(const HandlePtr& handle, const QByteArray& sql, Statement& statement)
{
    const int rc = sqlite3_prepare_v2(handle->db, sql.constData(), int(sql.size()), &statement.stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(handle->db, rc);
}

std::unique_ptr<RowSet> runToEnd(const HandlePtr& handle, const QString& sql, const QStringList& parameters)
{
    Statement statement;
    prepare(handle, sql.toUtf8(), statement);
    if (sqlite3_bind_parameter_count(statement.stmt) != parameters.size())
        throw PlatformError(QStringLiteral("SQL文の引数の数が合いません。"));
    for (int i = 0; i < parameters.size(); ++i) {
        const QByteArray value = parameters.at(i).toUtf8();
        const int rc = sqlite3_bind_text(statement.stmt, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            fail(handle->db, rc);
    }

    const int width = sqlite3_column_count(statement.stmt);
    QStringList names;
    for (int c = 0; c < width; ++c)
        names << QString::fromUtf8(sqlite3_column_name(statement.stmt, c));

    QVector<QByteArray> cells;
    QVector<bool> nulls;
    for (;;) {
        const int rc = sqlite3_step(statement.stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            fail(handle->db, rc);
        for (int c = 0; c < width; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.stmt, c));
            nulls.append(text == nullptr);
            cells.append(text ? QByteArray(text, sqlite3_column_bytes(statement.stmt, c)) : QByteArray());
        }
    }
    return std::make_unique<ResultRowSet>(std::move(names), std::move(cells), std::move(nulls));
}

// An updatable cursor over one table. Its rows are read only if a caller asks
// for them; appending needs only the table's column names.
class TableRowSet : public RowSet
{
public:
    TableRowSet(HandlePtr handle, QString table, QStringList columnNames)
        : m_handle(std::move(handle)), m_table(std::move(table)), m_columnNames(std::move(columnNames))
    {
    }

    bool atEnd() override { return rows().atEnd(); }
    QStringList columnNames() const override { return m_columnNames; }
    std::optional<QString> field(const QString& name) override { return rows().field(name); }
    void moveNext() override { rows().moveNext(); }

    void addNew() override
    {
        m_newRow.clear();
        m_adding = true;
    }

    void setField(const QString& name, const QString& value) override
    {
        if (!m_adding)
            throw PlatformError(QStringLiteral("新しい行が開始されていません。"));
        const auto known = std::find_if(m_columnNames.cbegin(), m_columnNames.cend(),
                                        [&](const QString& c) { return c.compare(name, Qt::CaseInsensitive) == 0; });
        if (known == m_columnNames.cend())
            throw PlatformError(QStringLiteral("表 %1 に列 %2 がありません。").arg(m_table, name));
        m_newRow.insert(*known, value);
    }

    void update() override
    {
        if (!m_adding)
            throw PlatformError(QStringLiteral("新しい行が開始されていません。"));
        QByteArray sql = "INSERT INTO " + quoteIdentifier(m_table);
        QStringList values;
        if (m_newRow.isEmpty()) {
            sql += " DEFAULT VALUES";
        } else {
            QByteArrayList names;
            QByteArrayList marks;
            for (auto it = m_newRow.cbegin(); it != m_newRow.cend(); ++it) {
                names << quoteIdentifier(it.key());
                marks << "?";
                values << it.value();
            }
            sql += " (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")";
        }
        runToEnd(m_handle, QString::fromUtf8(sql), values);
        m_adding = false;
        m_newRow.clear();
        m_rows.reset(); // the cursor now covers the new row too
    }

private:
    RowSet& rows()
    {
        if (!m_rows)
            m_rows = runToEnd(m_handle, QStringLiteral("SELECT * FROM ") + QString::fromUtf8(quoteIdentifier(m_table)), {});
        return *m_rows;
    }

    HandlePtr m_handle;
    QString m_table;
    QStringList m_columnNames;
    QMap<QString, QString> m_newRow;
    bool m_adding = false;
    std::unique_ptr<RowSet> m_rows;
};

// Reads the first bytes of a file to tell what kind of file it is, so that the
// user learns more than "not a database".
QString describeForeignFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(64);
    if (head.isEmpty())
        return QStringLiteral("データベースファイルが空です（0バイト）。");
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard Jet DB")
        return QStringLiteral("このファイルは Access（Jet）形式のデータベースです。このプログラムはそのままでは開けません。"
                              "SQLite 形式のデータベースに移し替えて下さい。");
    if (head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard ACE DB")
        return QStringLiteral("このファイルは Access（ACE）形式のデータベースです。このプログラムはそのままでは開けません。"
                              "SQLite 形式のデータベースに移し替えて下さい。");
    if (!head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return QStringLiteral("データベースファイルではありません。");
    if (head.size() < 64 || QFileInfo(path).size() < 512)
        return QStringLiteral("データベースファイルが途中で切れています。");
    return QString();
}

class SqliteConnection : public Connection
{
public:
    void open(const QString& path) override
    {
        m_handle.reset();
        const QFileInfo info(path);
        if (!info.exists())
            throw PlatformError(QStringLiteral("データベースファイルがありません。"));
        if (!info.isFile())
            throw PlatformError(QStringLiteral("データベースファイルの場所にフォルダーがあります。"));
        const QString foreign = describeForeignFile(path);
        if (!foreign.isEmpty())
            throw PlatformError(foreign);

        auto handle = std::make_shared<Handle>();
        handle->path = path;
        // READWRITE without CREATE: a missing file stays missing.
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle->db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK)
            fail(handle->db, rc);
        sqlite3_extended_result_codes(handle->db, 0);
        sqlite3_busy_timeout(handle->db, SqliteDatabaseEngine::kBusyTimeoutMs);

        // Reading the schema is the first real read of the file: it finds
        // files that only look like databases.
        runToEnd(handle, QStringLiteral("SELECT count(*) FROM sqlite_master"), {});
        if (!sqlite3_db_readonly(handle->db, "main")) {
            // WAL with synchronous=FULL: each committed row is on disk when
            // the commit returns, and readers never block the writer.
            runToEnd(handle, QStringLiteral("PRAGMA journal_mode=WAL"), {});
        }
        runToEnd(handle, QStringLiteral("PRAGMA synchronous=FULL"), {});
        m_handle = std::move(handle);
    }

    bool isOpen() const override { return m_handle != nullptr; }

    std::unique_ptr<RowSet> execute(const QString& statement, const QStringList& parameters) override
    {
        return runToEnd(handle(), statement, parameters);
    }

    std::unique_ptr<RowSet> openTable(const QString& table) override
    {
        const HandlePtr& h = handle();
        Statement statement;
        prepare(h, "SELECT * FROM " + quoteIdentifier(table) + " LIMIT 0", statement);
        QStringList names;
        for (int c = 0; c < sqlite3_column_count(statement.stmt); ++c)
            names << QString::fromUtf8(sqlite3_column_name(statement.stmt, c));
        return std::make_unique<TableRowSet>(h, table, names);
    }

private:
    const HandlePtr& handle() const
    {
        if (!m_handle)
            throw PlatformError(QStringLiteral("データベースに接続されていません。"));
        return m_handle;
    }

    HandlePtr m_handle;
};

} // namespace

std::unique_ptr<Connection> SqliteDatabaseEngine::createConnection()
{
    return std::make_unique<SqliteConnection>();
}
