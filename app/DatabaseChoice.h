#pragma once

#include "platform/DatabaseEngine.h"

#include <QString>

#include <memory>

// The database engine that the settings file chooses. Fudousan.ini in
// `settingsFolder` may name a PostgreSQL server under [Database] Server, as a
// libpq connection string or URI (quoted when it holds ';' or ','); with no
// such setting the program keeps its SQLite file Fudousan.mdb.
std::unique_ptr<DatabaseEngine> chooseDatabaseEngine(const QString& settingsFolder);

// The [Database] Server setting of Fudousan.ini in `settingsFolder`, empty
// when there is none.
QString databaseServerSetting(const QString& settingsFolder);
