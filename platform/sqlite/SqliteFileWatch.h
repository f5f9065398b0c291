#pragma once

// The file under the program's feet: before every statement, the path must
// still name the file that was opened, with no other change made to it while
// no connection of it worked.

#include "platform/sqlite/SqliteHandle.h"

#include <QString>

namespace sqlite_engine {

// The file's identity, times and header, and the head of its shared-memory
// index, as they are now at the handle's path.
FileMark markOf(Handle& handle);

// Makes the handle refuse every further operation with `reason`, and throws
// PlatformError(reason). Closing it then folds nothing into whatever file
// now has the path.
[[noreturn]] void lose(Handle& handle, const QString& reason);

// Checks, before an operation, that the path still names the file that was
// opened, and remembers afterwards what this connection left there. A watch
// inside another (the statements of one save) leaves both to the outer one.
//
// Another file at the path (moved, deleted, renamed over): the rows written
// so far are folded into the opened file, wherever it is now, so that its
// log beside the path is empty and cannot spill into a file put there. The
// same file changed while no connection of it worked (copied over with cp):
// SQLite would mix its cached pages of the old content into the new one, so
// nothing more is done with it.
//
// Inside a transaction of several statements the path is checked once
// before it begins and once before it commits, not around each statement:
// the transaction's write lock keeps every other connection out meanwhile.
class PathWatch
{
public:
    explicit PathWatch(Handle& handle);
    ~PathWatch();
    PathWatch(const PathWatch&) = delete;
    PathWatch& operator=(const PathWatch&) = delete;

private:
    Handle& m_handle;
    bool m_counted = false; // counted in the handle's watchDepth
    bool m_outermost = false;
};

} // namespace sqlite_engine
