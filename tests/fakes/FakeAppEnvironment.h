#pragma once

#include "platform/AppEnvironment.h"

// An AppEnvironment whose application directory is a test folder and whose
// end of the application is only counted.
class FakeAppEnvironment : public AppEnvironment
{
public:
    explicit FakeAppEnvironment(QString directory = QString())
        : directory(std::move(directory))
    {
    }

    QString applicationDirectory() const override { return directory; }
    void endApplication() override { ++endCount; }
    QString databasePlacementFailure() const override { return placementFailure; }

    QString directory;
    int endCount = 0;
    QString placementFailure;
};
