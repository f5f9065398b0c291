#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The few file operations that moving a database into place needs, each made
// durable (the folder is synced) before it returns. Failures throw
// PlatformError naming the file and the reason.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    virtual bool exists(const QString& path) const = 0;

    // True when `a` and `b` are the same file (one is a hard link of the other).
    virtual bool sameFile(const QString& a, const QString& b) const = 0;

    // Makes `copy` a second name of the file `original` (a hard link; a byte
    // copy where the file system has none). Returns false, doing nothing,
    // when `copy` exists already.
    virtual bool keepAs(const QString& original, const QString& copy) = 0;

    // Moves `from` to `to` in one step; with `replace` an existing `to` is
    // replaced, otherwise the move is refused when `to` exists.
    virtual void move(const QString& from, const QString& to, bool replace) = 0;

    // Removes the file; a missing file is no failure.
    virtual void remove(const QString& path) = 0;

    // Files in `folder` whose names start with `prefix`.
    virtual QStringList list(const QString& folder, const QString& prefix) const = 0;

    // True while the process with id `pid` runs.
    virtual bool processRuns(qint64 pid) const = 0;

    // This process's id.
    virtual qint64 processId() const = 0;
};
