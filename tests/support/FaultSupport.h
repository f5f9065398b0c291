#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// Helpers of the fault tests: the driver executable and direct looks at a
// database file that bypass the code under test.

// The path of fudousan_fault_driver in the build tree.
QString faultDriverPath();

// The single-column result of `pragma` (for example "PRAGMA integrity_check")
// run directly on the file at `path`, lines joined with "\n".
QString pragmaOnFile(const QString& path, const QString& pragma);

// The whole content of the file at `path` (empty when it cannot be read).
QByteArray fileBytes(const QString& path);

// The random moments of a kill loop. The generator's start value is printed,
// and FUDOUSAN_KILL_MOMENTS=<value> starts it there again, so that a failing
// series of kills can be replayed exactly.
QRandomGenerator killMoments(const char* loop);
