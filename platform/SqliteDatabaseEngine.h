#pragma once

#include "platform/DatabaseEngine.h"

// DatabaseEngine on SQLite. The database file keeps the name Fudousan.mdb but
// is an SQLite 3 file in WAL mode. Every connection uses synchronous=FULL, so
// a row is on disk when update() returns, and waits up to kBusyTimeoutMs for a
// lock held by another process before it reports the database as busy.
class SqliteDatabaseEngine : public DatabaseEngine
{
public:
    static constexpr int kBusyTimeoutMs = 3000;

    std::unique_ptr<Connection> createConnection() override;
};
