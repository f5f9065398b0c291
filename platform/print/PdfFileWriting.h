#pragma once

// Writing a finished PDF to the disk, for the two PDF printers. Private to
// platform/print/.

#include <QIODevice>
#include <QString>

namespace print_files {

// Copies the whole of `pdf`, part by part, to `fd` and has it reach the
// disk; 0, or the errno of the failure (a nearly full disk takes part of a
// write without error and refuses the rest).
int writeAll(int fd, QIODevice& pdf);

// Why a write failed with `error` (an errno), in Japanese: a full disk is
// said as such.
QString describeWriteError(int error);

} // namespace print_files
