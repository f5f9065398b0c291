#include "platform/sqlite/SqliteDatabaseEngine.h"

#include "platform/PlatformError.h"
#include "platform/sqlite/SqliteErrors.h"
#include "platform/sqlite/SqliteFileWatch.h"
#include "platform/sqlite/SqliteHandle.h"
#include "platform/sqlite/SqliteSideFiles.h"
#include "platform/sqlite/SqliteStatements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace sqlite_engine;

namespace {

class SqliteConnection : public Connection
{
public:
    explicit SqliteConnection(SqliteDatabaseEngine::CopyWritten copyWritten)
        : m_copyWritten(std::move(copyWritten))
    {
    }

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

        removeSideFilesThatCannotBeWritten(path);
        auto handle = std::make_shared<Handle>();
        handle->path = path;
        // READWRITE without CREATE: a missing file stays missing.
        const int rc = sqlite3_open_v2(
            QFile::encodeName(path).constData(), &handle->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK)
            fail(handle->db, rc, path);
        handle->readOnly = sqlite3_db_readonly(handle->db, "main") == 1;
        sqlite3_extended_result_codes(handle->db, 0);
        sqlite3_busy_timeout(handle->db, SqliteDatabaseEngine::kBusyTimeoutMs);

        // Reading the schema is the first real read of the file: it finds
        // files that only look like databases. The quick check then reads
        // every page once, so a damaged file is refused now and never
        // written to. None of these statements writes to the file.
        handle->walReady = true;
        handle->markRaised = true; // opening writes nothing
        runToEnd(handle, QStringLiteral("SELECT count(*) FROM sqlite_master"), {});
        auto check = runToEnd(handle, QStringLiteral("PRAGMA quick_check(1)"), {});
        const QString verdict
            = check->atEnd() ? QString() : check->field(QStringLiteral("quick_check")).value_or(QString());
        if (verdict != QLatin1String("ok"))
            throw PlatformError(QStringLiteral("データベースファイル %1 が壊れています。\n（%2）")
                                    .arg(QDir::toNativeSeparators(path), verdict));
        auto mode = runToEnd(handle, QStringLiteral("PRAGMA journal_mode"), {});
        handle->walReady = sqlite3_db_readonly(handle->db, "main")
            || (!mode->atEnd()
                && mode->field(QStringLiteral("journal_mode")).value_or(QString()) == QLatin1String("wal"));
        runToEnd(handle, QStringLiteral("PRAGMA synchronous=FULL"), {});
        handle->markRaised = false;
        handle->opened = markOf(*handle);
        handle->seen = handle->opened;
        handle->watching = handle->opened.present;
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
        const CachedStatement statement(h, "SELECT * FROM " + quoteIdentifier(table) + " LIMIT 0");
        QStringList names;
        for (int c = 0; c < sqlite3_column_count(statement.stmt); ++c)
            names << QString::fromUtf8(sqlite3_column_name(statement.stmt, c));
        return openTableRows(h, table, names);
    }

    void transaction(const std::function<void()>& work) override { runTransaction(handle(), work); }

    std::optional<QString> moveRow(const QString& from, const QString& key, const QString& to,
        const QStringList& columns, const QMap<QString, QString>& stamps) override
    {
        return sqlite_engine::moveRow(handle(), from, key, to, columns, stamps);
    }

    bool hasTable(const QString& table) override
    {
        return !runToEnd(handle(),
            QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"), { table })
                    ->atEnd();
    }

    void createTable(const QString& table, const QStringList& columns) override
    {
        QByteArrayList definitions;
        for (const QString& column : columns)
            definitions << quoteIdentifier(column) + " TEXT";
        runToEnd(handle(),
            QString::fromUtf8(
                "CREATE TABLE IF NOT EXISTS " + quoteIdentifier(table) + " (" + definitions.join(", ") + ")"),
            {});
    }

    // The log is folded in and cut to nothing: a -wal beside an idle file
    // holds no data, so a file copied away is complete and a backup copied
    // back is never overlaid with another file's pages.
    bool checkpoint() override
    {
        const HandlePtr& h = handle();
        PathWatch watch(*h);
        const int rc = sqlite3_wal_checkpoint_v2(h->db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            return false;
        if (rc != SQLITE_OK)
            fail(h->db, rc, h->path);
        return true;
    }

    void copyTo(const QString& path) override
    {
        const HandlePtr& h = handle();
        PathWatch watch(*h);
        const QByteArray file = QFile::encodeName(path);
        const auto failed = [&](const QString& why) {
            ::unlink(file.constData());
            throw PlatformError(QStringLiteral("%1 にデータベースの写しを書けませんでした。%2")
                                    .arg(QDir::toNativeSeparators(path), why));
        };
        {
            // VACUUM INTO only reads the database; it is no write of this
            // connection, so none of the write preparations run.
            Statement statement;
            prepare(h, "VACUUM INTO ?", statement);
            const QByteArray target = path.toUtf8();
            sqlite3_bind_text(statement.stmt, 1, target.constData(), int(target.size()), SQLITE_TRANSIENT);
            const int rc = sqlite3_step(statement.stmt);
            if (rc != SQLITE_DONE)
                failed((rc & 0xff) == SQLITE_FULL || diskFull(path)
                        ? QStringLiteral("ディスクがいっぱいです。")
                        : QStringLiteral("（%1）").arg(QString::fromUtf8(sqlite3_errmsg(h->db))));
        }
        if (m_copyWritten)
            m_copyWritten(path);
        // The copy is checked on its own connection, then made durable:
        // VACUUM INTO does not sync what it wrote.
        sqlite3* copy = nullptr;
        QString verdict;
        if (sqlite3_open_v2(file.constData(), &copy, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* check = nullptr;
            if (sqlite3_prepare_v2(copy, "PRAGMA integrity_check(1)", -1, &check, nullptr) == SQLITE_OK
                && sqlite3_step(check) == SQLITE_ROW)
                verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
            sqlite3_finalize(check);
        }
        sqlite3_close_v2(copy);
        if (verdict != QLatin1String("ok"))
            failed(QStringLiteral("写しの検査に通りませんでした。（%1）").arg(verdict));
        const int fd = ::open(file.constData(), O_RDONLY);
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!synced)
            failed(QStringLiteral("書き込みを確定できませんでした。"));
    }

    QString rowKeyColumn() const override { return QStringLiteral("rowid"); }

private:
    const HandlePtr& handle() const
    {
        if (!m_handle)
            throw PlatformError(QStringLiteral("データベースに接続されていません。"));
        return m_handle;
    }

    HandlePtr m_handle;
    SqliteDatabaseEngine::CopyWritten m_copyWritten;
};

} // namespace

namespace sqlite_engine {

Handle::~Handle()
{
    for (sqlite3_stmt* statement : std::as_const(prepared))
        sqlite3_finalize(statement);
    for (sqlite3_stmt* statement : std::as_const(cache.statements))
        sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    // Only now: SQLite holds no lock of this process on the files any more.
    if (fileFd >= 0)
        ::close(fileFd);
    if (indexFd >= 0)
        ::close(indexFd);
    // Nothing is removed beside a path that no longer names the opened file.
    if (readOnly && lost.isEmpty())
        removeIdleSideFiles(path);
}

} // namespace sqlite_engine

std::unique_ptr<Connection> SqliteDatabaseEngine::createConnection()
{
    return std::make_unique<SqliteConnection>(m_copyWritten);
}
