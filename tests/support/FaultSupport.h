#pragma once

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
