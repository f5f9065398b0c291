#pragma once

#include "model/PropertyRecord.h"

#include <QString>

#include <functional>

// Appends `count` properties, recordAt(0) .. recordAt(count - 1), to the
// prepared database at `path`, straight through SQLite and in one
// transaction, then folds the WAL back into the file. For filling test and
// benchmark databases quickly; the program itself never calls it. Returns
// false and sets `error` on failure, when nothing is appended.
bool insertProperties(
    const QString& path, int count, const std::function<PropertyRecord(int)>& recordAt, QString* error = nullptr);

// The same into the table of deleted properties (kDeletedTable), each row
// deleted at `deletedAt` (as the store writes it: "2026-04-01T00:00:00.000Z").
bool insertDeletedProperties(const QString& path, int count, const std::function<PropertyRecord(int)>& recordAt,
    const QString& deletedAt, QString* error = nullptr);
