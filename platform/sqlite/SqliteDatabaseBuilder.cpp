#include "platform/sqlite/SqliteDatabaseBuilder.h"

#include "platform/PlatformError.h"
#include "platform/sqlite/EmptyDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

QString describe(int code, const QString& path, const char* engineText)
{
    const QString file = QDir::toNativeSeparators(path);
    QString reason;
    switch (code & 0xff) {
    case SQLITE_FULL:
        reason = QStringLiteral("ディスクがいっぱいのため、%1 に書き込めませんでした。").arg(file);
        break;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        reason = QStringLiteral("%1 を作れないか、書き込めません。").arg(file);
        break;
    case SQLITE_IOERR:
        reason
            = QStringLiteral("%1 の読み書きに失敗しました（ディスクがいっぱいか、書き込めない場所です）。").arg(file);
        break;
    default:
        reason = QStringLiteral("%1 への書き込みに失敗しました。").arg(file);
        break;
    }
    return reason + QStringLiteral("\n（%1）").arg(QString::fromUtf8(engineText));
}

// UTF-16 to UTF-8 for text without surrogates (as good as all of it), the
// bytes written from `out` on; -1 when the text has a surrogate, which
// Qt's encoder is left to. A conversion of 30,000 rows writes and reads
// back 870,000 values, and Qt's converters keep a state for every one.
qsizetype encodePlain(QStringView text, char* out)
{
    auto* o = reinterpret_cast<unsigned char*>(out);
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80) {
            *o++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<unsigned char>(0xc0 | (c >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3f));
        } else if (c >= 0xd800 && c < 0xe000) {
            return -1;
        } else {
            *o++ = static_cast<unsigned char>(0xe0 | (c >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3f));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3f));
        }
    }
    return reinterpret_cast<char*>(o) - out;
}

// UTF-8 to UTF-16 for well-formed sequences of one to three bytes (no
// surrogate code points), the characters written from `out` on; -1 for
// anything else, which Qt's decoder is left to.
qsizetype decodePlain(QByteArrayView bytes, char16_t* out)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = b + bytes.size();
    char16_t* o = out;
    while (b < end) {
        const unsigned char c = *b;
        if (c < 0x80) {
            *o++ = c;
            ++b;
        } else if (c >= 0xc2 && c < 0xe0 && end - b >= 2 && (b[1] & 0xc0) == 0x80) {
            *o++ = char16_t(((c & 0x1f) << 6) | (b[1] & 0x3f));
            b += 2;
        } else if (c >= 0xe0 && c < 0xf0 && end - b >= 3 && (b[1] & 0xc0) == 0x80 && (b[2] & 0xc0) == 0x80) {
            const char16_t u = char16_t(((c & 0x0f) << 12) | ((b[1] & 0x3f) << 6) | (b[2] & 0x3f));
            if (u < 0x800 || (u >= 0xd800 && u < 0xe000))
                return -1; // overlong, or a surrogate
            *o++ = u;
            b += 3;
        } else {
            return -1;
        }
    }
    return o - out;
}

class SqliteNewDatabase : public NewDatabase
{
public:
    SqliteNewDatabase(QString path, const QString& table, const QStringList& columns)
        : m_path(std::move(path))
        , m_width(int(columns.size()))
    {
        try {
            start(table, columns);
        } catch (...) {
            closeQuietly();
            throw;
        }
    }

    void start(const QString& table, const QStringList& columns)
    {
        check(sqlite3_open_v2(
            QFile::encodeName(m_path).constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr));
        // The prepared file's journal mode is put back at commit. Until then
        // the file has no journal: it is a temporary file that is removed,
        // never used, when anything fails before it is complete.
        sqlite3_stmt* mode = nullptr;
        check(sqlite3_prepare_v2(m_db, "PRAGMA journal_mode", -1, &mode, nullptr));
        if (sqlite3_step(mode) == SQLITE_ROW)
            m_journalMode = reinterpret_cast<const char*>(sqlite3_column_text(mode, 0));
        sqlite3_finalize(mode);
        check(sqlite3_exec(m_db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=FULL; BEGIN", nullptr, nullptr, nullptr));
        QByteArrayList names;
        QByteArrayList marks;
        for (const QString& column : columns) {
            names << quote(column);
            marks << "?";
        }
        m_insertSql = "INSERT INTO " + quote(table) + " (" + names.join(',') + ") VALUES (" + marks.join(',') + ")";
        m_selectSql = "SELECT " + names.join(',') + " FROM " + quote(table) + " ORDER BY rowid";
        check(sqlite3_prepare_v2(m_db, m_insertSql.constData(), -1, &m_insert, nullptr));
    }

    ~SqliteNewDatabase() override { closeQuietly(); }

    void append(const DatabaseRow& values) override
    {
        for (int i = 0; i < m_width; ++i) {
            const std::optional<QString>& value = values.at(i);
            // Qt's UTF-8 encoder is faster than the engine's own conversion.
            if (value) {
                QByteArray& utf8 = m_utf8[i];
                const qsizetype room = value->size() * 3;
                if (utf8.size() < room)
                    utf8.resize(room);
                qsizetype size = encodePlain(*value, utf8.data());
                if (size < 0)
                    size = m_encode.appendToBuffer(utf8.data(), *value) - utf8.constData();
                check(sqlite3_bind_text(m_insert, i + 1, utf8.constData(), int(size), SQLITE_STATIC));
            } else
                check(sqlite3_bind_null(m_insert, i + 1));
        }
        const int rc = sqlite3_step(m_insert);
        if (rc != SQLITE_DONE)
            check(rc);
        check(sqlite3_reset(m_insert));
    }

    void commit() override
    {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        check(sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr));
        if (!m_journalMode.isEmpty() && m_journalMode != "off")
            check(sqlite3_exec(m_db, ("PRAGMA journal_mode=" + m_journalMode).constData(), nullptr, nullptr, nullptr));
        // Every page into the main file, so that moving that one file moves
        // the whole database.
        int logFrames = 0;
        int checkpointed = 0;
        check(sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames, &checkpointed));
    }

    void readBack(const std::function<bool(const DatabaseRow&)>& visit) override
    {
        sqlite3_stmt* select = nullptr;
        check(sqlite3_prepare_v2(m_db, m_selectSql.constData(), -1, &select, nullptr));
        DatabaseRow row(m_width);
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
            for (int i = 0; i < m_width; ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, i));
                if (text) {
                    // Into the string of the row before, without a new allocation.
                    const int bytes = sqlite3_column_bytes(select, i);
                    if (!row[i])
                        row[i].emplace();
                    QString& value = *row[i];
                    const QByteArrayView utf8(text, bytes);
                    if (m_utf16.size() < size_t(bytes))
                        m_utf16.resize(size_t(bytes));
                    const qsizetype plain = decodePlain(utf8, m_utf16.data());
                    if (plain >= 0) {
                        value.resize(plain);
                        std::copy_n(m_utf16.data(), plain, reinterpret_cast<char16_t*>(value.data()));
                    } else {
                        value.resize(bytes);
                        QChar* end = m_decode.appendToBuffer(value.data(), utf8);
                        value.truncate(end - value.constData());
                    }
                } else
                    row[i] = std::nullopt;
            }
            if (!visit(row)) {
                rc = SQLITE_DONE;
                break;
            }
        }
        sqlite3_finalize(select);
        if (rc != SQLITE_DONE)
            check(rc);
    }

    void close() override
    {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        const int rc = sqlite3_close(m_db);
        m_db = nullptr;
        if (rc != SQLITE_OK)
            throw PlatformError(describe(rc, m_path, sqlite3_errstr(rc)));
    }

private:
    static QByteArray quote(const QString& name)
    {
        QByteArray quoted = name.toUtf8();
        quoted.replace('"', "\"\"");
        return '"' + quoted + '"';
    }

    void check(int rc)
    {
        if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW)
            return;
        const QString text = describe(rc, m_path, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        throw PlatformError(text);
    }

    void closeQuietly()
    {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

    QString m_path;
    int m_width;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QByteArray m_journalMode;
    std::vector<QByteArray> m_utf8 = std::vector<QByteArray>(size_t(m_width)); // the bound values of one row
    std::vector<char16_t> m_utf16; // a value read back, before it goes into its string
    // A leading byte-order mark is part of a value, not a marker to drop.
    QStringEncoder m_encode { QStringConverter::Utf8, QStringConverter::Flag::Stateless };
    QStringDecoder m_decode { QStringConverter::Utf8,
        QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless };
    QByteArray m_insertSql;
    QByteArray m_selectSql;
};

} // namespace

std::unique_ptr<NewDatabase> SqliteDatabaseBuilder::create(
    const QString& path, const QString& table, const QStringList& columns)
{
    QString error;
    if (!createEmptyDatabase(path, &error)) {
        const QString folder = QFileInfo(path).absolutePath();
        if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
            throw PlatformError(
                QStringLiteral("フォルダー %1 に書き込めないため、新しいデータベースファイルを作れません。")
                    .arg(QDir::toNativeSeparators(folder)));
        throw PlatformError(QStringLiteral("新しいデータベースファイル %1 を作れませんでした。\n（%2）")
                                .arg(QDir::toNativeSeparators(path), error));
    }
    return std::make_unique<SqliteNewDatabase>(path, table, columns);
}

void SqliteDatabaseBuilder::removeWithCompanions(const QString& path)
{
    for (const char* suffix : { "", "-wal", "-shm", "-journal" })
        QFile::remove(path + QLatin1String(suffix));
}
