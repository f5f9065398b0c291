#pragma once

#include <QString>

// Creates the prepared, empty database (table Fudousan and its index, WAL
// mode) at `path`. Refuses to touch an existing file. Returns false and sets
// `error` on failure; a half-made file is removed.
bool createEmptyDatabase(const QString& path, QString* error = nullptr);
