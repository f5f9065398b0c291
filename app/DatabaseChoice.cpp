#include "app/DatabaseChoice.h"

#include "platform/PostgresDatabaseEngine.h"
#include "platform/SqliteDatabaseEngine.h"

#include <QDir>
#include <QSettings>

QString databaseServerSetting(const QString& settingsFolder)
{
    const QSettings settings(QDir(settingsFolder).filePath(QStringLiteral("Fudousan.ini")), QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("Database/Server"));
    // An unquoted value with commas (several hosts) is read as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    return value.toString().trimmed();
}

std::unique_ptr<DatabaseEngine> chooseDatabaseEngine(const QString& settingsFolder)
{
    const QString server = databaseServerSetting(settingsFolder);
    if (server.isEmpty())
        return std::make_unique<SqliteDatabaseEngine>();
    return std::make_unique<PostgresDatabaseEngine>(server);
}
