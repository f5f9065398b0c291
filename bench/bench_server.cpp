// The store on a PostgreSQL server over a Unix socket (a private server
// started for the run, fsync and synchronous_commit on): the list grid filled
// from 32,766 rows beside a bare libpq read of the same values, and one
// Save_Property beside a bare libpq insert of the same 29 values. Prints
// figures; asserts nothing.
//
//   bench_server [saves]
#include "bench/BenchReport.h"
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/FaultRecord.h"
#include "tests/support/PgTestServer.h"

#include "platform/desktop/QtPictureLoader.h"
#include "platform/grid/QtGrid.h"
#include "platform/postgres/PostgresDatabaseEngine.h"
#include "store/PropertyStore.h"

#include <QApplication>
#include <QElapsedTimer>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const int kListRows = bench::size(32766, 1000);

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

PGresult* run(PGconn* c, const char* sql, const std::vector<const char*>& values = {})
{
    PGresult* r = PQexecParams(c, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK)
        qFatal("%s: %s", sql, PQerrorMessage(c));
    return r;
}

QByteArray insertSql()
{
    QByteArrayList names, marks;
    for (int i = 0; i < kColumnCount; ++i) {
        names << QByteArray("\"") + kPropertyColumns[i] + "\"";
        marks << "$" + QByteArray::number(i + 1);
    }
    return "INSERT INTO \"Fudousan\" (" + names.join(",") + ") VALUES (" + marks.join(",") + ")";
}

void insertRecord(PGconn* c, const QByteArray& sql, const PropertyRecord& record)
{
    QByteArrayList values;
    std::vector<const char*> pointers;
    for (int i = 0; i < kColumnCount; ++i)
        values << record[i].toUtf8();
    for (const QByteArray& v : values)
        pointers.push_back(v.constData());
    PQclear(run(c, sql.constData(), pointers));
}

// The floor: the row keys and locations in table order through libpq, each
// made a QString as any list would need it.
double bareReadMs(PGconn* c, int* count)
{
    QElapsedTimer t;
    t.start();
    PGresult* r = run(c, "SELECT rowid, \"Syozai\" FROM \"Fudousan\" ORDER BY rowid");
    std::vector<std::pair<QString, QString>> lines;
    const int n = PQntuples(r);
    lines.reserve(n);
    for (int i = 0; i < n; ++i)
        lines.emplace_back(QString::fromUtf8(PQgetvalue(r, i, 0), PQgetlength(r, i, 0)),
            QString::fromUtf8(PQgetvalue(r, i, 1), PQgetlength(r, i, 1)));
    PQclear(r);
    *count = int(lines.size());
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int saves = bench::smoke() ? 10 : argc > 1 ? std::max(10, atoi(argv[1])) : 200;

    PgTestServer server(PgTestServer::Options { false, false, true });
    if (!server.isRunning()) {
        std::printf("no private PostgreSQL server: %s\n", qPrintable(server.skipReason()));
        return 0;
    }
    PGconn* bare = PQconnectdb(server.conninfo().toUtf8().constData());
    const QByteArray insert = insertSql();
    PQclear(run(bare, "BEGIN"));
    for (int i = 0; i < kListRows; ++i)
        insertRecord(bare, insert, faultRecord(i));
    PQclear(run(bare, "COMMIT"));
    PQclear(run(bare, "VACUUM ANALYZE \"Fudousan\""));
    PGresult* sc = run(bare, "SHOW synchronous_commit");
    std::printf("server: PostgreSQL over a Unix socket, fsync on, synchronous_commit %s\n", PQgetvalue(sc, 0, 0));
    PQclear(sc);

    PostgresDatabaseEngine engine(server.conninfo(QStringLiteral("fudousan_desktop")));
    FakeAppEnvironment environment(QDir::tempPath());
    RecordingMessageBox messages;
    QtPictureLoader pictures;
    PropertyStore store(engine, environment, messages, pictures);
    if (!store.Open_Database())
        qFatal("%s", qPrintable(store.openFailure()));

    QtGrid grid({ QStringLiteral("No."), QStringLiteral("物件所在地") });
    std::vector<double> fills, floors;
    int floorRows = 0;
    const int fillRuns = bench::size(7, 1);
    for (int run = 0; run < fillRuns; ++run) {
        floors.push_back(bareReadMs(bare, &floorRows));
        QElapsedTimer t;
        t.start();
        store.Fill_Property_List(grid);
        fills.push_back(t.nsecsElapsed() / 1e6);
    }
    const double fill = median(fills), floor = median(floors);
    std::printf(
        "fill %d rows: %7.1f ms (median of %d)  bare libpq read: %6.1f ms  ratio %.2fx (target 2x)  lines %d / %d\n",
        kListRows, fill, fillRuns, floor, fill / floor, grid.rowCount() - 1, floorRows);
    bench::target("server-list-fill", fill, floor, "2x");

    std::vector<double> storeMs, bareMs;
    for (int i = 0; i < saves; ++i) {
        const PropertyRecord record = faultRecord(100000 + i);
        QElapsedTimer t;
        t.start();
        insertRecord(bare, insert, record);
        bareMs.push_back(t.nsecsElapsed() / 1e6);

        store.setMapImagePath(record[kMadoriIndex]);
        t.restart();
        store.Save_Property(SampleEntryView(record));
        storeMs.push_back(t.nsecsElapsed() / 1e6);
    }
    const double s = median(storeMs), b = median(bareMs);
    std::printf(
        "Save_Property median %.3f ms   bare libpq insert median %.3f ms   ratio %.2fx (target 2x), %d saves each\n", s,
        b, s / b, saves);
    bench::target("server-save", s, b, "2x");
    PQfinish(bare);
    return 0;
}
