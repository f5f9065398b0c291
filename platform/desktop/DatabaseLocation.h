#pragma once

#include <QString>
#include <QStringList>

// Where Fudousan.mdb is, decided once per run:
//
// - Fudousan.mdb beside the executable (a build folder, a copied portable
//   folder) wins: the executable's folder.
// - Otherwise, when the installation ships a prepared database, the program is
//   installed and its own folder is not the user's to write: the per-user data
//   folder. On the very first start, when that folder does not exist yet, it is
//   created holding a copy of the prepared file. A folder that exists is never
//   touched, so a database lost from it is reported, not silently replaced by
//   an empty one.
// - Otherwise the executable's folder, where the missing file is reported.
struct DatabaseLocation
{
    QString directory; // the folder of Fudousan.mdb, without a trailing separator
    bool installed = false;
    bool placed = false; // this call created `directory` with the prepared copy
    QString failure; // why the prepared copy could not be placed; empty otherwise
};

DatabaseLocation locateDatabase(
    const QString& applicationDirectory, const QString& preparedDatabase, const QString& userDirectory);

// Which Fudousan.ini the program reads, by the same rule: the file beside the
// executable when there is one (a portable folder keeps its own settings);
// otherwise, for an installed program, the first that exists of
// `configDirectories` (the per-user configuration folder first, then the
// system's, where an office's administrator can set one server for every user
// of a desktop). A path that does not exist, or an empty one, means no
// settings.
QString locateSettings(
    const QString& applicationDirectory, const QString& preparedDatabase, const QStringList& configDirectories);
