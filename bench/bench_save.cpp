// How long registering one property takes on a table that already holds
// 30,000 rows: Save_Property through the store and the SQLite engine, beside
// a bare sqlite3 insert of the same 29 values with the same durability (WAL,
// synchronous=FULL) in the same run, without and with the fold of the log
// into the file that ends every save. Prints medians; asserts nothing.
//
//   bench_save [saves]      (default 300 of each, interleaved)
#include "bench/BenchReport.h"
#include "platform/sqlite/EmptyDatabase.h"
#include "tests/support/FlyerSample.h"

#include "model/EntryView.h"
#include "model/PropertyRecord.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "store/PropertyStore.h"
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/RecordingMessageBox.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const int kRowsBefore = bench::size(30000, 1000);

PropertyRecord sampleProperty(int n)
{
    const char* values[kColumnCount]
        = { "3,480", "神奈川県横浜市青葉区美しが丘一丁目%1番", "東急田園都市線「たまプラーザ」駅 徒歩8分", "165.30",
              "50.00", "", "", "宅地", "宅地", "", "", "第一種低層住居専用地域", "50%", "100%", "公道", "南東", "6.0m",
              "12.5m", "公営", "東京電力", "公共下水", "都市ガス", "相談", "建築条件なし", "専任媒介", "規定", "No.%1",
              "株式会社サンプル不動産 TEL 045-000-0000", "/home/agent/maps/%1.jpg" };
    PropertyRecord record;
    for (int i = 0; i < kColumnCount; ++i) {
        QString v = QString::fromUtf8(values[i]);
        record[i] = v.contains(QLatin1String("%1")) ? v.arg(n) : v;
    }
    return record;
}

[[noreturn]] void die(const char* what, sqlite3* db)
{
    std::fprintf(stderr, "%s: %s\n", what, db ? sqlite3_errmsg(db) : "");
    std::exit(1);
}

sqlite3* openBare(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        die("open", db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    return db;
}

QByteArray insertStatement()
{
    QStringList names;
    QStringList marks;
    for (const char* c : kPropertyColumns) {
        names << QString::fromLatin1(c);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO Fudousan (%1) VALUES (%2)")
        .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
        .toUtf8();
}

// One committed row per step, each in its own transaction.
void insertRow(sqlite3* db, sqlite3_stmt* stmt, const PropertyRecord& record)
{
    std::vector<QByteArray> keep;
    keep.reserve(kColumnCount);
    for (int i = 0; i < kColumnCount; ++i) {
        keep.push_back(record[i].toUtf8());
        sqlite3_bind_text(stmt, i + 1, keep.back().constData(), int(keep.back().size()), SQLITE_STATIC);
    }
    if (sqlite3_step(stmt) != SQLITE_DONE)
        die("insert", db);
    sqlite3_reset(stmt);
}

void fill(const QString& path)
{
    sqlite3* db = openBare(path);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = insertStatement();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        die("prepare", db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int n = 0; n < kRowsBefore; ++n)
        insertRow(db, stmt, sampleProperty(n));
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    const int saves = bench::smoke() ? 5 : argc > 1 ? std::atoi(argv[1]) : 300;

    QTemporaryDir storeDir;
    QTemporaryDir bareDir;
    const QString storePath = QDir(storeDir.path()).filePath(QStringLiteral("Fudousan.mdb"));
    const QString barePath = QDir(bareDir.path()).filePath(QStringLiteral("Fudousan.mdb"));
    QString error;
    if (!createEmptyDatabase(storePath, &error) || !createEmptyDatabase(barePath, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    fill(storePath);
    fill(barePath);

    SqliteDatabaseEngine engine;
    FakeAppEnvironment folder(storeDir.path());
    RecordingMessageBox messages; // answers the completion message at once, as OK would
    QtPictureLoader pictures;
    PropertyStore store(engine, folder, messages, pictures);
    if (!store.Open_Database()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.openFailure()));
        return 1;
    }
    // The day's backup, as at the first start of a day: it runs before the
    // menu answers, so its time is time the agent waits.
    QElapsedTimer backupTimer;
    backupTimer.start();
    store.Backup_If_Due();
    const double backupMs = double(backupTimer.nsecsElapsed()) / 1e6;
    const qint64 backupBytes
        = QFileInfo(QDir(store.backupFolder())
                        .filePath(QStringLiteral("Fudousan-%1.mdb").arg(QDate::currentDate().toString(Qt::ISODate))))
              .size();

    sqlite3* bare = openBare(barePath);
    sqlite3_stmt* insert = nullptr;
    const QByteArray sql = insertStatement();
    if (sqlite3_prepare_v2(bare, sql.constData(), -1, &insert, nullptr) != SQLITE_OK)
        die("prepare", bare);

    std::vector<double> storeMs;
    std::vector<double> bareMs;
    std::vector<double> bareFoldedMs;
    QElapsedTimer timer;
    // Interleaved, so that both meet the same disk and cache conditions.
    for (int n = 0; n < saves; ++n) {
        const PropertyRecord record = sampleProperty(kRowsBefore + n);
        const SampleEntryView screen(record);
        store.setMapImagePath(record[kMadoriIndex]);

        timer.start();
        store.Save_Property(screen);
        storeMs.push_back(double(timer.nsecsElapsed()) / 1e6);

        timer.start();
        insertRow(bare, insert, record);
        bareMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        // The same file rule as the store: the log folded into the file.
        sqlite3_wal_checkpoint_v2(bare, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        bareFoldedMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    sqlite3_finalize(insert);
    sqlite3_close_v2(bare);

    if (messages.shown.size() != saves) {
        std::fprintf(stderr, "expected %d completion messages, saw %d\n", saves, int(messages.shown.size()));
        return 1;
    }
    const double s = median(storeMs);
    const double b = median(bareMs);
    std::printf("rows before: %d, saves: %d each (WAL, synchronous=FULL)\n", kRowsBefore, saves);
    std::printf("Save_Property       median %.3f ms   p90 %.3f ms\n", s, percentile(storeMs, 0.9));
    std::printf("bare sqlite3 insert median %.3f ms   p90 %.3f ms\n", b, percentile(bareMs, 0.9));
    const double bf = median(bareFoldedMs);
    std::printf(
        "bare insert + wal_checkpoint(TRUNCATE) median %.3f ms   p90 %.3f ms\n", bf, percentile(bareFoldedMs, 0.9));
    std::printf("ratio %.2fx to the bare insert, %.2fx to the bare insert with the same fold\n", s / b, s / bf);
    bench::target("save", s, bf, "1.3x");
    std::printf("daily backup of %d rows (VACUUM INTO, integrity_check, sync): %.1f ms, %.1f MB\n", kRowsBefore,
        backupMs, backupBytes / 1e6);
    return 0;
}
