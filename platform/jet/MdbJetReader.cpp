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

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void failWith(const QString& path, const QString& reason)
{
    throw PlatformError(QStringLiteral("Access（Jet）形式のデータベースファイル %1 を読めませんでした。\n%2")
                            .arg(nativePath(path), reason));
}

// decodeJet4Text into `out`, reusing its buffer when it is not shared. A
// half of a surrogate pair alone is no text (it could not even be stored).
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
        return QStringView(out).isValidUtf16();
    }
    if (size % 2 != 0)
        return false;
    out.resize(size / 2);
    qFromLittleEndian<char16_t>(bytes, size / 2, out.data());
    return QStringView(out).isValidUtf16();
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
        m_notes.declaredRows = m_table->num_rows;
        m_notes.cutShort.assign(m_table->num_cols, 0);
        m_notes.unreadable.assign(m_table->num_cols, 0);
        m_notes.doubtfulDefinition.assign(m_table->num_cols, false);
        // Each column has its own bit in a row's null flags and, if its
        // length varies, its own place in the row's offsets: two columns
        // sharing one read each other's values.
        for (unsigned i = 0; i < m_table->num_cols; ++i) {
            for (unsigned j = 0; j < m_table->num_cols; ++j) {
                const MdbColumn* a = column(i);
                const MdbColumn* b = column(j);
                if (i != j
                    && (a->col_num == b->col_num || (!a->is_fixed && !b->is_fixed && a->var_col_num == b->var_col_num)))
                    m_notes.doubtfulDefinition[i] = true;
            }
        }
        mdb_rewind_table(m_table);
    }

    ~MdbTable() override
    {
        mdb_free_tabledef(m_table);
        mdb_close(m_mdb);
    }

    QStringList columnNames() const override { return m_names; }
    JetReadNotes notes() const override { return m_notes; }

    bool nextRow(std::vector<std::optional<QString>>& values) override
    {
        // The table's pages are walked here rather than with mdb_fetch_row,
        // which passes over a row entry it cannot take apart without a word.
        // A row is taken apart with libmdb (mdb_crack_row) for its null flags
        // and raw bytes; no column is bound, so libmdb converts no text.
        int entry = 0;
        while (nextEntry(entry)) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(m_mdb, entry, &start, &size) != 0) {
                ++m_notes.unreadableRows;
                continue;
            }
            if (start & kDeletedFlag)
                continue;
            const int rowStart = start & kOffsetMask;
            if (size == 0 || mdb_crack_row(m_table, rowStart, size, m_fields.data()) < 0) {
                ++m_notes.unreadableRows;
                continue;
            }
            ++m_rowsRead;
            readRow(rowStart, int(size), values);
            return true;
        }
        m_done = true;
        if (m_rowsRead + unsigned(m_notes.unreadableRows) < m_table->num_rows)
            failWith(m_path,
                QStringLiteral(
                    "ファイルが途中で切れているか壊れています（表 %1 の %2 行のうち %3 行しか読めませんでした）。")
                    .arg(QString::fromUtf8(m_table->name))
                    .arg(m_table->num_rows)
                    .arg(m_rowsRead));
        return false;
    }

private:
    static constexpr int kDeletedFlag = 0x4000;

    // The next row entry of the table's data pages, in their order; false
    // after the last page.
    bool nextEntry(int& entry)
    {
        if (m_done)
            return false;
        if (!m_started) {
            m_started = true;
            if (!mdb_read_next_dpg(m_table))
                return false;
            m_entry = 0;
        }
        while (m_entry >= mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset)) {
            if (!mdb_read_next_dpg(m_table))
                return false;
            m_entry = 0;
        }
        entry = m_entry++;
        return true;
    }

    MdbColumn* column(unsigned i) const { return static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, i)); }

    void readRow(int rowStart, int rowSize, std::vector<std::optional<QString>>& values)
    {
        // A row written before a column was added has no null flag for it.
        const int rowColumns = IS_JET3(m_mdb) ? m_mdb->pg_buf[rowStart] : mdb_get_int16(m_mdb->pg_buf, rowStart);
        // The strings already in `values` are written over: a caller that
        // swaps in the strings it is done with saves their allocations.
        values.resize(m_table->num_cols);
        for (unsigned i = 0; i < m_table->num_cols; ++i) {
            MdbField& field = m_fields[i];
            if (field.colnum < 0 || unsigned(field.colnum) >= m_table->num_cols)
                continue;
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, field.colnum));
            std::optional<QString>& value = values[field.colnum];
            if (column->col_num >= rowColumns && column->col_type != MDB_BOOL) {
                value.reset();
                continue;
            }
            if (column->col_type == MDB_BOOL) { // stored in the null flag itself
                value = field.is_null ? QStringLiteral("0") : QStringLiteral("1");
                continue;
            }
            if (field.is_null) {
                value.reset();
                continue;
            }
            // A value must lie in its own row: a damaged offset or length
            // would point into other rows or past the page.
            const int end = rowStart + rowSize;
            Read read = Read::Unreadable;
            if (field.start >= rowStart && field.start <= end && field.siz >= 0 && isKnownType(column->col_type)) {
                const bool pastTheRow = field.start + field.siz > end;
                if (pastTheRow)
                    field.siz = end - field.start;
                read = readValue(column, field, value, pastTheRow);
            }
            if (read == Read::Unreadable) {
                ++m_notes.unreadable[field.colnum];
                value.reset();
            } else if (read == Read::Cut) {
                ++m_notes.cutShort[field.colnum];
            }
        }
    }

    static bool isKnownType(int type)
    {
        switch (type) {
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_DATETIME:
        case MDB_BINARY:
        case MDB_TEXT:
        case MDB_MEMO:
        case MDB_REPID:
        case MDB_NUMERIC:
        case MDB_COMPLEX:
            return true;
        default:
            return false; // OLE objects, and type codes no Access writes
        }
    }

    enum class Read { Whole, Cut, Unreadable };

    // Reads one value that is not NULL into `value`. Text whose bytes end
    // in the middle of a character is cut before it.
    Read readValue(MdbColumn* column, const MdbField& field, std::optional<QString>& value, bool pastTheRow)
    {
        const auto* bytes = static_cast<const char*>(field.value);
        if (column->col_type == MDB_TEXT) {
            const Read read = readText(bytes, field.siz, value);
            return read == Read::Whole && pastTheRow ? Read::Cut : read;
        }
        if (pastTheRow)
            return Read::Unreadable; // a memo's header, a number or a date cut short is none
        if (column->col_type == MDB_MEMO) {
            bool whole = true;
            const std::optional<QByteArray> memo = memoBytes(field, &whole);
            if (!memo)
                return Read::Unreadable;
            const Read read = readText(memo->constData(), memo->size(), value);
            return read == Read::Whole && !whole ? Read::Cut : read;
        }
        // Numbers and dates hold no text of their own: libmdb's rendering.
        std::unique_ptr<char, GFree> text(
            mdb_col_to_string(m_mdb, m_mdb->pg_buf, field.start, column->col_type, field.siz));
        value = QString::fromUtf8(text ? text.get() : "");
        return Read::Whole;
    }

    Read readText(const char* bytes, qsizetype size, std::optional<QString>& value)
    {
        if (!value)
            value.emplace();
        for (qsizetype drop = 0; drop <= 1 && drop < size; ++drop) {
            if (IS_JET3(m_mdb)) {
                std::optional<QString> text = decodeJet3Text(bytes, size - drop);
                if (text)
                    *value = std::move(*text);
                else
                    continue;
            } else if (!decodeJet4Into(bytes, size - drop, *value)) {
                continue;
            }
            return drop == 0 ? Read::Whole : Read::Cut;
        }
        if (size == 0) {
            *value = QString(QLatin1String(""));
            return Read::Whole;
        }
        return Read::Unreadable;
    }

    // The stored bytes of a memo value: a 12-byte header on the row (length
    // and flags, then the page and row of the first part), the text inline
    // after it, on one other page, or in a chain of pages, each part then
    // starting with the page and row of the next. libmdb's own reading of it
    // converts the text (and needs a bound buffer), so the parts are
    // gathered here with mdb_find_pg_row.
    // A chain that ends before the value's length gives the part found,
    // with *whole false.
    std::optional<QByteArray> memoBytes(const MdbField& field, bool* whole)
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
        *whole = bytes.size() == qsizetype(length);
        return bytes;
    }

    QString m_path;
    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    std::vector<MdbField> m_fields;
    QStringList m_names;
    JetReadNotes m_notes;
    unsigned m_rowsRead = 0;
    int m_entry = 0; // the next row entry on the current page
    bool m_started = false;
    bool m_done = false;
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
    // libmdb walks the table's pages through its usage map and reads the
    // map's first byte unchecked: a map it could not find is refused here.
    if (!table || !table->usage_map || table->map_sz == 0 || !mdb_read_columns(table)) {
        if (table)
            mdb_free_tabledef(table);
        failWith(path, QStringLiteral("表 %1 の定義を読めませんでした。ファイルが壊れています。").arg(tableName));
    }
    MdbHandle* owned = mdb;
    mdb = nullptr;
    return std::make_unique<MdbTable>(path, owned, table);
}
