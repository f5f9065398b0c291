#pragma once

#include <QString>
#include <stdexcept>

// A PlatformError is how a failing platform operation (database, grid,
// printer, picture loader, dialog) reports itself. It carries a Japanese
// description fit to be shown to the user.
//
// Routines that must swallow failures silently catch it where they stand;
// everywhere else it stops the screen handler that ran the operation, and the
// handler's failure boundary (screens/FailureBoundary.h) shows the description
// and returns to the screen.
class PlatformError : public std::runtime_error
{
public:
    explicit PlatformError(const QString& description)
        : std::runtime_error(description.toStdString())
        , m_description(description)
    {
    }

    const QString& description() const { return m_description; }

private:
    QString m_description;
};
