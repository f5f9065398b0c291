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
