#pragma once

#include "platform/DatabaseEngine.h"

#include <functional>

// DatabaseEngine on SQLite. The database file keeps the name Fudousan.mdb but
// is an SQLite 3 file in WAL mode. Every connection uses synchronous=FULL, so
// a row is on disk when update() returns, and waits up to kBusyTimeoutMs for a
// lock held by another process before it reports the database as busy.
//
// Opening reads the whole file once (a quick check) and refuses a file that
// is empty, cut short, damaged, not SQLite, or an Access/Jet file, saying
// which. A file not yet in WAL mode is switched at its first write, so a
// file that is refused or only read is left byte for byte as it was.
// Failures of the file name it; a read-only file and a folder in which the
// WAL file cannot be created are told apart from each other.
class SqliteDatabaseEngine : public DatabaseEngine
{
public:
    static constexpr int kBusyTimeoutMs = 3000;

    // Called with the path of each copy that copyTo() has written, before the
    // copy is checked: lets a test spoil a copy to see the check refuse it.
    using CopyWritten = std::function<void(const QString& path)>;

    SqliteDatabaseEngine() = default;
    explicit SqliteDatabaseEngine(CopyWritten copyWritten)
        : m_copyWritten(std::move(copyWritten))
    {
    }

    std::unique_ptr<Connection> createConnection() override;

private:
    CopyWritten m_copyWritten;
};
