#include "platform/desktop/QtAppEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

QString QtAppEnvironment::applicationDirectory() const
{
    return QCoreApplication::applicationDirPath();
}

namespace {
// Off unless asked for (QT_LOGGING_RULES="fudousan.database.info=true").
Q_LOGGING_CATEGORY(lcDatabase, "fudousan.database", QtWarningMsg)

// The installation keeps the prepared database in its share folder, found
// from the executable's folder so that an unpacked copy of the installation
// behaves as the installed one.
QString preparedDatabase(const QString& applicationDirectory)
{
    return QDir::cleanPath(QDir(applicationDirectory).filePath(QStringLiteral(FUDOUSAN_PREPARED_DATABASE)));
}
} // namespace

QString QtAppEnvironment::databaseDirectory()
{
    if (!m_database) {
        m_database = locateDatabase(applicationDirectory(), preparedDatabase(applicationDirectory()),
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        if (!m_database->failure.isEmpty())
            qCWarning(lcDatabase).noquote() << m_database->failure;
        qCInfo(lcDatabase).noquote() << QStringLiteral("%1%2: %3")
                                            .arg(m_database->installed ? QStringLiteral("installed")
                                                                       : QStringLiteral("portable"),
                                                m_database->placed ? QStringLiteral(", placed") : QString(),
                                                m_database->directory);
    }
    return m_database->directory;
}

QString QtAppEnvironment::databasePlacementFailure() const
{
    return m_database ? m_database->failure : QString();
}

QString QtAppEnvironment::settingsFile() const
{
    // ~/.config/Quintaveli/Fudousan first, then the system's folders
    // (/etc/xdg/Quintaveli/Fudousan).
    return locateSettings(applicationDirectory(), preparedDatabase(applicationDirectory()),
        QStandardPaths::standardLocations(QStandardPaths::AppConfigLocation));
}

void QtAppEnvironment::endApplication()
{
    // Every stored row was committed by its own statement, so nothing is
    // pending: leave without running any further handler.
    std::fflush(nullptr);
    std::_Exit(0);
}
