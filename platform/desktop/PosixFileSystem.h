#pragma once

#include "platform/FileSystem.h"

// FileSystem on POSIX calls: hard links, rename(2) and renameat2's
// RENAME_NOREPLACE, each followed by an fsync of the folder.
class PosixFileSystem : public FileSystem
{
public:
    bool exists(const QString& path) const override;
    bool sameFile(const QString& a, const QString& b) const override;
    bool keepAs(const QString& original, const QString& copy) override;
    void move(const QString& from, const QString& to, bool replace) override;
    void remove(const QString& path) override;
    QStringList list(const QString& folder, const QString& prefix) const override;
    bool processRuns(qint64 pid) const override;
    qint64 processId() const override;
};
