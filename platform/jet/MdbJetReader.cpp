#include "platform/jet/MdbJetReader.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QtEndian>

// mdbtools.h uses glib's types without including glib.h itself.
#include <glib.h>
#include <mdbtools.h>

#include <cerrno>
#include <cstdlib>
#include <iconv.h>

namespace {

constexpr int kOffsetMask = 0x1fff; // a row's offset on its page, without the flags
constexpr int kDeletedRow = 0x4000; // the flag of a deleted row

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void failWith(const QString& path, const QString& reason)
{
    throw PlatformError(QStringLiteral("Access（Jet）形式のデータベースファイル %1 を読めませんでした。\n%2")
                            .arg(nativePath(path), reason));
}

// decodeJet4Text into `out`, reusing its buffer when it is not shared.
bool decodeJet4Into(const char* bytes, qsizetype size, QString& out)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    if (size >= 2 && b[0] == 0xff && b[1] == 0xfe) {
        out.resize(size); // at most one character per byte
        auto* o = reinterpret_cast<char16_t*>(out.data());
        qsizetype n = 0;
        bool compressed = true;
        for (qsizetype i = 2; i < size;) {
            if (b[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                o[n++] = b[i++];
            } else {
                if (i + 1 >= size)
                    return false;
                o[n++] = char16_t(b[i] | (b[i + 1] << 8));
                i += 2;
            }
        }
        out.truncate(n);
        return true;
    }
    if (size % 2 != 0)
        return false;
    out.resize(size / 2);
    qFromLittleEndian<char16_t>(bytes, size / 2, out.data());
    return true;
}

struct GFree
{
    void operator()(void* p) const { g_free(p); }
};

class MdbTable : public JetTable
{
public:
    MdbTable(QString path, MdbHandle* mdb, MdbTableDef* table)
        : m_path(std::move(path))
        , m_mdb(mdb)
        , m_table(table)
        , m_fields(table->num_cols)
    {
        for (unsigned i = 0; i < m_table->num_cols; ++i) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, i));
            m_names << QString::fromUtf8(column->name);
        }
        mdb_rewind_table(m_table);
    }

    ~MdbTable() override
    {
        mdb_free_tabledef(m_table);
        mdb_close(m_mdb);
    }

    QStringList columnNames() const override { return m_names; }

    bool nextRow(std::vector<std::optional<QString>>& values) override
    {
        // The next live row, its page in pg_buf, taken apart once for its
        // null flags and raw bytes. No column is bound, so libmdb converts no
        // text.
        if (!nextLiveRow()) {
            if (m_rowsRead < m_table->num_rows)
                failWith(m_path,
                    QStringLiteral(
                        "ファイルが途中で切れているか壊れています（表 %1 の %2 行のうち %3 行しか読めませんでした）。")
                        .arg(QString::fromUtf8(m_table->name))
                        .arg(m_table->num_rows)
                        .arg(m_rowsRead));
            return false;
        }
        ++m_rowsRead;

        // The strings already in `values` are written over: a caller that
        // swaps in the strings it is done with saves their allocations.
        values.resize(m_table->num_cols);
        for (unsigned i = 0; i < m_table->num_cols; ++i) {
            const MdbField& field = m_fields[i];
            if (field.colnum < 0 || unsigned(field.colnum) >= m_table->num_cols)
                continue;
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, field.colnum));
            readValue(column, field, values[field.colnum]);
        }
        return true;
    }

private:
    // What mdb_fetch_row does on a table scan without bound columns or
    // conditions, less its own taking apart of each row, which mdb_fetch_row
    // does only to bind columns and throws away: the rows of each data page
    // in turn, deleted ones skipped, the live one taken apart into m_fields.
    bool nextLiveRow()
    {
        if (m_table->num_rows == 0)
            return false;
        if (!m_started) {
            m_started = true;
            m_table->cur_pg_num = 1;
            m_table->cur_row = 0;
            if (!mdb_read_next_dpg(m_table))
                return false;
        }
        for (;;) {
            const unsigned rows = unsigned(mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset));
            if (m_table->cur_row >= rows) {
                m_table->cur_row = 0;
                if (!mdb_read_next_dpg(m_table))
                    return false;
                continue;
            }
            const unsigned row = m_table->cur_row++;
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(m_mdb, int(row), &start, &size) != 0)
                failWith(m_path, QStringLiteral("%1 行目の位置が壊れています。").arg(m_rowsRead + 1));
            if (start & kDeletedRow)
                continue;
            if (mdb_crack_row(m_table, start & kOffsetMask, size, m_fields.data()) >= 0)
                return true;
        }
    }

    void readValue(MdbColumn* column, const MdbField& field, std::optional<QString>& value)
    {
        if (column->col_type == MDB_TEXT && !field.is_null && !IS_JET3(m_mdb)) {
            if (!value)
                value.emplace();
            if (!decodeJet4Into(static_cast<const char*>(field.value), field.siz, *value))
                failWith(m_path,
                    QStringLiteral("%1 行目の列 %2 の値を文字として読めませんでした。")
                        .arg(m_rowsRead)
                        .arg(QString::fromUtf8(column->name)));
            return;
        }
        value = valueOf(column, field);
    }

    std::optional<QString> valueOf(MdbColumn* column, const MdbField& field)
    {
        if (column->col_type == MDB_BOOL) // stored in the null flag itself
            return field.is_null ? QStringLiteral("0") : QStringLiteral("1");
        if (field.is_null)
            return std::nullopt;
        if (column->col_type == MDB_TEXT)
            return decoded(column, static_cast<const char*>(field.value), field.siz);
        if (column->col_type == MDB_MEMO) {
            const std::optional<QByteArray> memo = memoBytes(field);
            if (!memo)
                failWith(m_path,
                    QStringLiteral("%1 行目の列 %2 の長い文字列（メモ型）を読めませんでした。")
                        .arg(m_rowsRead)
                        .arg(QString::fromUtf8(column->name)));
            return decoded(column, memo->constData(), memo->size());
        }
        // Numbers and dates hold no text of their own: libmdb's rendering.
        std::unique_ptr<char, GFree> text(
            mdb_col_to_string(m_mdb, m_mdb->pg_buf, field.start, column->col_type, field.siz));
        return QString::fromUtf8(text ? text.get() : "");
    }

    // The stored bytes of a memo value: a 12-byte header on the row (length
    // and flags, then the page and row of the first part), the text inline
    // after it, on one other page, or in a chain of pages, each part then
    // starting with the page and row of the next. libmdb's own reading of it
    // converts the text (and needs a bound buffer), so the parts are
    // gathered here with mdb_find_pg_row.
    std::optional<QByteArray> memoBytes(const MdbField& field)
    {
        const auto* head = static_cast<const char*>(field.value);
        if (field.siz < MDB_MEMO_OVERHEAD)
            return QByteArray();
        const quint32 length = qFromLittleEndian<quint32>(head);
        const qint32 first = qFromLittleEndian<qint32>(head + 4);
        if (length & 0x80000000u)
            return QByteArray(head + MDB_MEMO_OVERHEAD, field.siz - MDB_MEMO_OVERHEAD);
        void* page = nullptr;
        int start = 0;
        size_t size = 0;
        if (length & 0x40000000u) {
            if (mdb_find_pg_row(m_mdb, first, &page, &start, &size) != 0)
                return std::nullopt;
            return QByteArray(static_cast<const char*>(page) + start, qsizetype(size));
        }
        if (length & 0xff000000u)
            return std::nullopt; // flags of no known kind
        QByteArray bytes;
        qint32 next = first;
        while (next != 0) {
            if (mdb_find_pg_row(m_mdb, next, &page, &start, &size) != 0 || size < 4)
                return std::nullopt;
            const char* part = static_cast<const char*>(page) + start;
            if (bytes.size() + qsizetype(size) - 4 > qsizetype(length))
                return std::nullopt; // a chain longer than the value: damaged
            bytes.append(part + 4, qsizetype(size) - 4);
            next = qFromLittleEndian<qint32>(part);
        }
        if (bytes.size() != qsizetype(length))
            return std::nullopt;
        return bytes;
    }

    QString decoded(MdbColumn* column, const char* bytes, qsizetype size)
    {
        if (size == 0)
            return QString(QLatin1String(""));
        const std::optional<QString> text = IS_JET3(m_mdb) ? decodeJet3Text(bytes, size) : decodeJet4Text(bytes, size);
        if (!text)
            failWith(m_path,
                QStringLiteral("%1 行目の列 %2 の値を文字として読めませんでした。")
                    .arg(m_rowsRead)
                    .arg(QString::fromUtf8(column->name)));
        return *text;
    }

    QString m_path;
    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    std::vector<MdbField> m_fields;
    QStringList m_names;
    unsigned m_rowsRead = 0;
    bool m_started = false;
};

} // namespace

std::optional<QString> decodeJet4Text(const char* bytes, qsizetype size)
{
    QString text;
    if (!decodeJet4Into(bytes, size, text))
        return std::nullopt;
    return text;
}

std::optional<QString> decodeJet3Text(const char* bytes, qsizetype size)
{
    // One converter per thread, opened once: a table has many values.
    static thread_local const iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == iconv_t(-1))
        return std::nullopt;
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    QByteArray out(size * 4 + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes);
    size_t inLeft = size_t(size);
    char* outPtr = out.data();
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    if (rc == size_t(-1) || inLeft != 0)
        return std::nullopt;
    const qsizetype produced = out.size() - qsizetype(outLeft);
    return QString(reinterpret_cast<const QChar*>(out.constData()), produced / 2);
}

bool MdbJetReader::isJetFile(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) && head.mid(4, 15) == "Standard Jet DB";
}

std::unique_ptr<JetTable> MdbJetReader::openTable(const QString& path, const QString& tableName)
{
    const QFileInfo info(path);
    if (!info.isFile())
        failWith(path, QStringLiteral("ファイルがありません。"));
    if (!QFileInfo(path).isReadable() || !QFile(path).open(QIODevice::ReadOnly))
        failWith(path, QStringLiteral("ファイルを読む権限がありません。"));
    if (!isJetFile(path))
        failWith(path, QStringLiteral("Access（Jet 3 / Jet 4）形式のファイルではありません。"));

    // Names of tables and columns in a Jet 3 file are in the Windows code
    // page of a Japanese Access; libmdb reads this before it opens a file.
    ::setenv("MDB_JET3_CHARSET", "CP932", 1);
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        failWith(path, QStringLiteral("ファイルの見出しが壊れているか、対応していない版です。"));
    auto closeOnFailure = qScopeGuard([&] {
        if (mdb)
            mdb_close(mdb);
    });
    if (mdb->f->jet_version != MDB_VER_JET3 && mdb->f->jet_version != MDB_VER_JET4)
        failWith(path, QStringLiteral("Access 2007 以降（ACCDB）の形式には対応していません。"));
    if (info.size() % mdb->fmt->pg_size != 0)
        failWith(path,
            QStringLiteral("ファイルが途中で切れています（%1 バイトはページの大きさ %2 バイトの倍数ではありません）。")
                .arg(info.size())
                .arg(mdb->fmt->pg_size));
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        failWith(path, QStringLiteral("表の一覧（カタログ）を読めませんでした。ファイルが壊れています。"));

    QStringList tables;
    MdbCatalogEntry* found = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE)
            continue;
        const QString name = QString::fromUtf8(entry->object_name);
        if (name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive))
            continue; // Access's own system tables
        tables << name;
        if (!found && name.compare(tableName, Qt::CaseInsensitive) == 0)
            found = entry;
    }
    if (tables.isEmpty())
        failWith(path, QStringLiteral("表がひとつも見つかりません。ファイルが途中で切れているか壊れています。"));
    if (!found)
        failWith(path,
            QStringLiteral("表 %1 がありません（このファイルにある表: %2）。")
                .arg(tableName, tables.isEmpty() ? QStringLiteral("なし") : tables.join(QStringLiteral("、"))));
    MdbTableDef* table = mdb_read_table(found);
    if (!table || !mdb_read_columns(table)) {
        if (table)
            mdb_free_tabledef(table);
        failWith(path, QStringLiteral("表 %1 の定義を読めませんでした。ファイルが壊れています。").arg(tableName));
    }
    MdbHandle* owned = mdb;
    mdb = nullptr;
    return std::make_unique<MdbTable>(path, owned, table);
}
