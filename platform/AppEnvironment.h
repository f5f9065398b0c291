#pragma once

#include <QString>

// AppEnvironment answers questions about the running process.
class AppEnvironment
{
public:
    virtual ~AppEnvironment() = default;

    // The directory that holds the executable, without a trailing separator.
    // Never the current working directory.
    virtual QString applicationDirectory() const = 0;

    // The folder that holds Fudousan.mdb, without a trailing separator: the
    // application directory, unless the program is installed
    // (platform/DatabaseLocation.h).
    virtual QString databaseDirectory() { return applicationDirectory(); }

    // Why the first start of an installed program could not place the
    // prepared database in databaseDirectory(); empty otherwise.
    virtual QString databasePlacementFailure() const { return QString(); }

    // The settings file Fudousan.ini to read, beside the executable unless the
    // program is installed (platform/DatabaseLocation.h); it need not exist.
    virtual QString settingsFile() const { return applicationDirectory() + QStringLiteral("/Fudousan.ini"); }

    // Ends the process at once: no further handler of any window runs.
    virtual void endApplication() = 0;
};
