// The conversion of a 30,000-row Access (Jet 4) Fudousan.mdb (read, write,
// read back and compare, move into place) beside the floor of reading the same
// table with libmdb alone (every column bound, as mdb-export reads). The file
// is unpacked from bench/fudousan-jet4-30000.mdb.gz into a temporary folder
// (TMPDIR chooses its disk).
//
//   bench_jet [runs]
#include "bench/BenchReport.h"
#include "conversion/JetConversion.h"
#include "platform/desktop/PosixFileSystem.h"
#include "platform/jet/MdbJetReader.h"
#include "platform/sqlite/SqliteDatabaseBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <glib.h>
#include <mdbtools.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// CPU time of this process in ms: on a shared machine the wall time also
// holds the waits for a core.
double cpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long peakKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// libmdb alone: every column bound to a buffer, every row fetched.
int readWithLibmdb(const QString& path)
{
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return -1;
    MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<gchar*>("Fudousan"), MDB_TABLE);
    mdb_read_columns(table);
    mdb_rewind_table(table);
    std::vector<std::vector<char>> values(table->num_cols, std::vector<char>(mdb->bind_size));
    std::vector<int> lengths(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i)
        mdb_bind_column(table, int(i) + 1, values[i].data(), &lengths[i]);
    int rows = 0;
    while (mdb_fetch_row(table))
        ++rows;
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return rows;
}

int readWithOurReader(const QString& path)
{
    MdbJetReader reader;
    auto table = reader.openTable(path, QStringLiteral("Fudousan"));
    std::vector<std::optional<QString>> row;
    int rows = 0;
    while (table->nextRow(row))
        ++rows;
    return rows;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = bench::smoke() ? 1 : argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir folder;
    const QString jet = folder.filePath(QStringLiteral("Fudousan-jet.mdb"));
    QProcess gunzip;
    gunzip.setStandardOutputFile(jet);
    gunzip.start(QStringLiteral("gzip"), { QStringLiteral("-dc"), QStringLiteral(FUDOUSAN_BENCH_JET_GZ) });
    if (!gunzip.waitForFinished(60000) || gunzip.exitCode() != 0) {
        std::fprintf(stderr, "cannot unpack %s\n", FUDOUSAN_BENCH_JET_GZ);
        return 1;
    }

    MdbJetReader reader;
    SqliteDatabaseBuilder builder;
    PosixFileSystem files;
    JetConversion conversion(reader, builder, files);
    std::vector<double> convert;
    std::vector<double> convertCpu;
    int rows = 0;
    const long baseKb = peakKb();
    for (int run = 0; run < runs; ++run) {
        const QString target = folder.filePath(QStringLiteral("new-%1.mdb").arg(run));
        QElapsedTimer clock;
        clock.start();
        const double cpu = cpuMs();
        rows = conversion.convertTo(jet, target).rows;
        convert.push_back(clock.nsecsElapsed() / 1e6);
        convertCpu.push_back(cpuMs() - cpu);
        QFile::remove(target);
    }
    const long convertKb = peakKb();

    std::vector<double> floor;
    std::vector<double> ours;
    std::vector<double> floorCpu;
    std::vector<double> oursCpu;
    int floorRows = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        double cpu = cpuMs();
        floorRows = readWithLibmdb(jet);
        floor.push_back(clock.nsecsElapsed() / 1e6);
        floorCpu.push_back(cpuMs() - cpu);
        clock.restart();
        cpu = cpuMs();
        readWithOurReader(jet);
        ours.push_back(clock.nsecsElapsed() / 1e6);
        oursCpu.push_back(cpuMs() - cpu);
    }

    const double c = medianOf(convert);
    const double f = medianOf(floor);
    std::printf(
        "Jet 4 Fudousan.mdb, %d rows (%.1f MB), median of %d runs\n", rows, QFile(jet).size() / 1048576.0, runs);
    const double cf = medianOf(floorCpu);
    const double cc = medianOf(convertCpu);
    std::printf("  %-46s %8s %8s\n", "", "wall", "CPU");
    std::printf("  %-46s %5.0f ms %5.0f ms\n", "floor: libmdb fetch, all columns bound", f, cf);
    std::printf("  %-46s %5.0f ms %5.0f ms\n", "reading alone with MdbJetReader", medianOf(ours), medianOf(oursCpu));
    std::printf("  %-46s %5.0f ms %5.0f ms  (%.2fx / %.2fx the floor)\n", "whole conversion (read, write, check, move)",
        c, cc, c / f, cc / cf);
    std::printf("  %-46s %8.1f MB  (%.1f MB before the first conversion)\n", "peak memory after the conversions",
        convertKb / 1024.0, baseKb / 1024.0);
    bench::target("jet-conversion", c, f, "2x");
    if (floorRows != rows)
        std::printf("  note: libmdb alone fetched %d rows\n", floorRows);
    return 0;
}
