#pragma once

#include "platform/DatabaseEngine.h"

#include <QString>

#include <memory>

// The database engine that the settings file chooses. The settings file
// (Fudousan.ini, AppEnvironment::settingsFile()) may name a PostgreSQL server
// under [Database] Server, as a libpq connection string or URI (quoted when it
// holds ';' or ','); with no such setting the program keeps its SQLite file
// Fudousan.mdb.
std::unique_ptr<DatabaseEngine> chooseDatabaseEngine(const QString& settingsFile);

// The [Database] Server setting of `settingsFile`, empty when there is none
// (or no such file).
QString databaseServerSetting(const QString& settingsFile);
