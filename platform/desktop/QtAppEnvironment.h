#pragma once

#include "platform/AppEnvironment.h"
#include "platform/desktop/DatabaseLocation.h"

#include <optional>

// AppEnvironment of the running Qt application.
class QtAppEnvironment : public AppEnvironment
{
public:
    QString applicationDirectory() const override;
    // Decided at the first call; an installed program's first start places
    // the prepared database in the per-user data folder then.
    QString databaseDirectory() override;
    QString databasePlacementFailure() const override;
    QString settingsFile() const override;
    void endApplication() override;

private:
    std::optional<DatabaseLocation> m_database;
};
