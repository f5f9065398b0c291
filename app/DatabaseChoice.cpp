#include "app/DatabaseChoice.h"

#include "platform/postgres/PostgresDatabaseEngine.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"

#include <QSettings>

QString databaseServerSetting(const QString& settingsFile)
{
    if (settingsFile.isEmpty())
        return QString();
    const QSettings settings(settingsFile, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("Database/Server"));
    // An unquoted value with commas (several hosts) is read as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    return value.toString().trimmed();
}

std::unique_ptr<DatabaseEngine> chooseDatabaseEngine(const QString& settingsFile)
{
    const QString server = databaseServerSetting(settingsFile);
    if (server.isEmpty())
        return std::make_unique<SqliteDatabaseEngine>();
    return std::make_unique<PostgresDatabaseEngine>(server);
}
