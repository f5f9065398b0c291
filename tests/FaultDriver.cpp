// fudousan_fault_driver: drives the real property store from a separate
// process, for tests that kill it, lock the database against it or run it as
// another user. Prints one line per finished step and flushes it at once.
//
//   save FOLDER FIRST [LAST]    registers properties FIRST, FIRST+1, ... until
//                               killed (or LAST is saved); "ready" once the
//                               database is open, then "saved N" after each
//                               save returned
//
// With FUDOUSAN_TEST_SERVER set (a connection string), the store works on
// that PostgreSQL server instead of FOLDER's file.
//   delete FOLDER FIRST LAST    deletes them through the list, three
//                               lines at a time (one 削除 each); "ready",
//                               then "deleted N N+1 N+2" after each 削除
//                               returned
//   restore FOLDER FIRST LAST   brings deleted properties FIRST .. LAST back
//                               through the window of deleted properties,
//                               two at a time; "ready", then "restored N N+1"
//                               after each restore returned
//   open-save FOLDER            opens the database and registers one property;
//                               "open ok" / "open failed<TAB>why",
//                               "save ok" / "save failed<TAB>why"
//   idle FOLDER COUNT DELETED   registers properties 0 .. COUNT-1, deletes
//                               the first DELETED of them through the list,
//                               prints "idle" and waits until stdin closes
//   exit FOLDER COUNT           registers properties 0 .. COUNT-1, then ends
//                               the way 終了 does: "exiting", then gone
//   hold-lock FOLDER            takes the write lock of FOLDER/Fudousan.mdb,
//                               prints "locked" and holds it until stdin closes
#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeGrid.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/FaultRecord.h"

#include "platform/PlatformError.h"
#include "platform/desktop/QtAppEnvironment.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "store/PropertyStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <sqlite3.h>

namespace {

void say(const QString& line)
{
    QString flat = line;
    flat.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    std::fputs(flat.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

using Store = StoreFixture;

// " FIRST FIRST+1 ... LAST": one line per 削除 or restore, so that a kill
// never cuts its report in part.
QString numbers(int first, int last)
{
    QString text;
    for (int n = first; n <= last; ++n)
        text += QLatin1Char(' ') + QString::number(n);
    return text;
}

void saveOne(PropertyStore& store, int seq)
{
    const PropertyRecord record = faultRecord(seq);
    store.setMapImagePath(record[kMadoriIndex]);
    store.Save_Property(SampleEntryView(record));
}

int saveLoop(const QString& folder, int first, int last)
{
    Store s(folder);
    if (!s.store.Open_Database()) {
        say(QStringLiteral("open failed\t") + s.store.openFailure());
        return 3;
    }
    say(QStringLiteral("ready"));
    for (int seq = first; last < 0 || seq <= last; ++seq) {
        try {
            saveOne(s.store, seq);
        } catch (const PlatformError& error) {
            say(QStringLiteral("save failed %1\t").arg(seq) + error.description());
            return 4;
        }
        say(QStringLiteral("saved %1").arg(seq));
    }
    return 0;
}

int deleteLoop(const QString& folder, int first, int last)
{
    Store s(folder);
    if (!s.store.Open_Database()) {
        say(QStringLiteral("open failed\t") + s.store.openFailure());
        return 3;
    }
    // Deleting goes the way the list screen goes: select the property's
    // line, then Delete_Property, which deletes, refills and confirms.
    FakeGrid grid;
    s.store.Fill_Property_List(grid);
    say(QStringLiteral("ready"));
    for (int seq = first; seq <= last; seq += kFaultDeletedAtOnce) {
        const int end = qMin(last, seq + kFaultDeletedAtOnce - 1);
        grid.selection.clear();
        for (int n = seq; n <= end; ++n) {
            int line = 1;
            while (line < grid.rowCount() && grid.cellText(line, 1) != faultKey(n))
                ++line;
            if (line == grid.rowCount()) {
                say(QStringLiteral("delete failed %1: not listed").arg(n));
                return 4;
            }
            grid.selection.push_back(line);
        }
        try {
            s.store.Delete_Property(grid);
        } catch (const PlatformError& error) {
            say(QStringLiteral("delete failed %1\t").arg(seq) + error.description());
            return 4;
        }
        say(QStringLiteral("deleted") + numbers(seq, end));
    }
    return 0;
}

int restoreLoop(const QString& folder, int first, int last)
{
    Store s(folder);
    if (!s.store.Open_Database()) {
        say(QStringLiteral("open failed\t") + s.store.openFailure());
        return 3;
    }
    FakeGrid grid;
    s.store.Fill_Property_List(grid);
    say(QStringLiteral("ready"));
    for (int seq = first; seq <= last; seq += kFaultRestoredAtOnce) {
        const int end = qMin(last, seq + kFaultRestoredAtOnce - 1);
        QStringList keys;
        try {
            // As the window of deleted properties lists them, each time anew.
            for (const DeletedProperty& kept : s.store.Deleted_Properties()) {
                const int n = faultSequence(kept.location.value_or(QString()));
                if (n >= seq && n <= end)
                    keys << kept.key;
            }
            if (keys.size() != end - seq + 1) {
                say(QStringLiteral("restore failed %1: not among the deleted").arg(seq));
                return 4;
            }
            s.store.Restore_Properties(keys, grid);
        } catch (const PlatformError& error) {
            say(QStringLiteral("restore failed %1\t").arg(seq) + error.description());
            return 4;
        }
        say(QStringLiteral("restored") + numbers(seq, end));
    }
    return 0;
}

// Registers properties [0, count) and deletes the first `deleted` of them,
// each by the handler a user would run.
bool saveThenDelete(PropertyStore& store, int count, int deleted)
{
    try {
        for (int seq = 0; seq < count; ++seq)
            saveOne(store, seq);
        FakeGrid grid;
        store.Fill_Property_List(grid);
        for (int line = 1; line <= deleted; ++line)
            grid.selection.push_back(line);
        if (deleted > 0)
            store.Delete_Property(grid);
        return true;
    } catch (const PlatformError& error) {
        say(QStringLiteral("failed\t") + error.description());
        return false;
    }
}

int idle(const QString& folder, int count, int deleted)
{
    Store s(folder);
    if (!s.store.Open_Database() || !saveThenDelete(s.store, count, deleted))
        return 3;
    say(QStringLiteral("idle"));
    while (std::fgetc(stdin) != EOF) { }
    return 0;
}

int saveAndExit(const QString& folder, int count)
{
    Store s(folder);
    if (!s.store.Open_Database() || !saveThenDelete(s.store, count, 0))
        return 3;
    say(QStringLiteral("exiting"));
    // What 終了 does: close the database, then leave at once.
    s.store.Close_Database();
    QtAppEnvironment().endApplication();
    return 0;
}

int openAndSave(const QString& folder)
{
    Store s(folder);
    if (s.store.Open_Database())
        say(QStringLiteral("open ok"));
    else
        say(QStringLiteral("open failed\t") + s.store.openFailure());
    try {
        saveOne(s.store, 999999);
        say(QStringLiteral("save ok"));
    } catch (const PlatformError& error) {
        say(QStringLiteral("save failed\t") + error.description());
    }
    return 0;
}

int holdLock(const QString& folder)
{
    sqlite3* db = nullptr;
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("Fudousan.mdb")));
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
        || sqlite3_exec(
               db, "BEGIN EXCLUSIVE; INSERT INTO Fudousan (Syozai) VALUES ('lock holder');", nullptr, nullptr, nullptr)
            != SQLITE_OK) {
        say(QStringLiteral("lock failed\t") + QString::fromUtf8(sqlite3_errmsg(db)));
        return 5;
    }
    say(QStringLiteral("locked"));
    while (std::fgetc(stdin) != EOF) { }
    sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const QString folder = args.value(1);
    if (mode == QLatin1String("save") && (args.size() == 3 || args.size() == 4))
        return saveLoop(folder, args.at(2).toInt(), args.size() == 4 ? args.at(3).toInt() : -1);
    if (mode == QLatin1String("delete") && args.size() == 4)
        return deleteLoop(folder, args.at(2).toInt(), args.at(3).toInt());
    if (mode == QLatin1String("restore") && args.size() == 4)
        return restoreLoop(folder, args.at(2).toInt(), args.at(3).toInt());
    if (mode == QLatin1String("open-save") && args.size() == 2)
        return openAndSave(folder);
    if (mode == QLatin1String("idle") && args.size() == 4)
        return idle(folder, args.at(2).toInt(), args.at(3).toInt());
    if (mode == QLatin1String("exit") && args.size() == 3)
        return saveAndExit(folder, args.at(2).toInt());
    if (mode == QLatin1String("hold-lock") && args.size() == 2)
        return holdLock(folder);
    std::fprintf(stderr,
        "usage: fudousan_fault_driver save|delete|restore|idle|exit|open-save|hold-lock FOLDER [FIRST [LAST]]\n");
    return 2;
}
