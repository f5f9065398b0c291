#pragma once

#include "platform/DatabaseBuilder.h"

// DatabaseBuilder on SQLite: the file is made by createEmptyDatabase
// (platform/sqlite/fudousan_schema.sql), filled in one transaction with
// synchronous=FULL, and its WAL folded back into it at commit.
class SqliteDatabaseBuilder : public DatabaseBuilder
{
public:
    std::unique_ptr<NewDatabase> create(const QString& path, const QString& table, const QStringList& columns) override;
    void removeWithCompanions(const QString& path) override;
};
