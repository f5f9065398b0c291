// Start-up benchmark: process start to main menu shown, beside a bare Qt
// window built the same way, both on the offscreen platform; and, for
// reading the figures, the bare window with the menu's four captions.
//
//   build/bin/bench_startup [runs]      (default 20 runs of each, alternating)
//
// Prints the median and fastest wall time from spawn to exit (each child
// leaves as soon as its window is shown) and the peak resident memory of the
// children. Nothing is asserted; people compare the figures.
#include "app/Application.h"
#include "bench/BenchReport.h"
#include "platform/Fonts.h"
#include "platform/sqlite/EmptyDatabase.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// The floor, and with `texts` the floor with the menu's captions drawn in
// the menu's face: what showing any text costs a process (fontconfig's
// set-up, the face, its fallbacks), which no bare window pays.
int runBareWindow(int& argc, char** argv, bool texts)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quintaveli"));
    window.setFixedSize(1016, 734); // the menu's client area at 96 DPI
    if (texts) {
        registerFontSubstitutions();
        QFont face(kFontPop);
        face.setPointSizeF(21.75);
        int top = 40;
        for (const char* caption : { "Quintaveli", "物件登録一覧", "物件印刷・登録", "終了" }) {
            auto* label = new QLabel(QString::fromUtf8(caption), &window);
            label->setFont(face);
            label->setGeometry(400, top, 400, 60);
            top += 120;
        }
    }
    window.show();
    QTimer::singleShot(0, &window, [] { QCoreApplication::exit(0); });
    return app.exec();
}

struct Run
{
    double ms;
    long peakKiB;
};

Run spawnChild(const char* self, const char* mode)
{
    char* args[] = { const_cast<char*>(self), const_cast<char*>(mode), nullptr };
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, self, nullptr, nullptr, args, environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s run failed (status %d)\n", mode, status);
        std::exit(1);
    }
    return { ms, usage.ru_maxrss };
}

// Prints the figures of `runs` and returns their median.
double report(const char* name, std::vector<Run> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
    long peak = 0;
    for (const Run& r : runs)
        peak = std::max(peak, r.peakKiB);
    const double median = runs[runs.size() / 2].ms;
    std::printf("%-12s %10.1f %10.1f %12.1f\n", name, median, runs.front().ms, peak / 1024.0);
    return median;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "menu") == 0)
        return runApplication(argc, argv, [](QWidget*) { QCoreApplication::exit(0); });
    if (argc == 2 && std::strcmp(argv[1], "bare") == 0)
        return runBareWindow(argc, argv, false);
    if (argc == 2 && std::strcmp(argv[1], "texts") == 0)
        return runBareWindow(argc, argv, true);

    const int runs = bench::smoke() ? 1 : argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt warns on every start without a runtime folder; give the children one.
    QTemporaryDir runtimeDir;
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        QFile::setPermissions(
            runtimeDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        setenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit().constData(), 1);
    }

    // The menu must find a database, or it would stop at its start-up message.
    const QString self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    const QString database = QDir(QFileInfo(self).path()).filePath(QStringLiteral("Fudousan.mdb"));
    if (!QFileInfo::exists(database) && !createEmptyDatabase(database)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(database));
        return 1;
    }

    const QByteArray selfPath = self.toLocal8Bit();
    std::vector<Run> menu;
    std::vector<Run> bare;
    std::vector<Run> texts;
    spawnChild(selfPath.constData(), "menu"); // warm the file cache
    spawnChild(selfPath.constData(), "bare");
    spawnChild(selfPath.constData(), "texts");
    for (int i = 0; i < runs; ++i) {
        menu.push_back(spawnChild(selfPath.constData(), "menu"));
        bare.push_back(spawnChild(selfPath.constData(), "bare"));
        texts.push_back(spawnChild(selfPath.constData(), "texts"));
    }
    std::printf("%-12s %10s %10s %12s   (%d runs each)\n", "start-up", "median ms", "min ms", "peak MB", runs);
    const double menuMs = report("main menu", menu);
    const double bareMs = report("bare window", bare);
    report("+ captions", texts); // the bare window with the menu's four captions in its face
    bench::target("start-up", menuMs, bareMs, "1.25x");
    return 0;
}
