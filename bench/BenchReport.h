#pragma once

// What every benchmark shares: the smoke run, and one line per target that
// scripts/bench.sh collects into its summary.

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace bench {

// FUDOUSAN_BENCH_SMOKE set (and not "0"): the benchmark runs once with its
// smallest sizes, to show that it still works; its figures mean little.
inline bool smoke()
{
    const char* value = std::getenv("FUDOUSAN_BENCH_SMOKE");
    return value && *value && std::strcmp(value, "0") != 0;
}

// `normal`, or `small` in a smoke run.
inline int size(int normal, int small)
{
    return smoke() ? small : normal;
}

// One target, for scripts/bench.sh:
//   TARGET <name> <measured> <floor> <target> <unit>
// `target` is a ratio to the floor measured in the same run ("1.3x"), or a
// limit on the measured figure itself ("<150"); `floor` is negative when
// there is none. Names carry no spaces.
inline void target(const char* name, double measured, double floor, const char* target, const char* unit = "ms")
{
    if (floor < 0)
        std::printf("TARGET %s %.3f - %s %s\n", name, measured, target, unit);
    else
        std::printf("TARGET %s %.3f %.3f %s %s\n", name, measured, floor, target, unit);
    std::fflush(stdout);
}

// Resident memory in KiB, after handing freed heap memory back to the
// system, so that the figure counts live memory only; -1 when unknown.
inline long rssKiB()
{
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace bench
