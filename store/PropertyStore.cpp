#include "store/PropertyStore.h"

#include "model/PropertyRecord.h"
#include "platform/AppEnvironment.h"
#include "platform/Clock.h"
#include "platform/PlatformError.h"

#include <QDir>

namespace {

// Reads no row; its column names show whether the table is complete. Written
// so that every engine takes it (a bare WHERE 0 is not a condition for all).
const QString kColumnsProbe = QStringLiteral("SELECT * FROM Fudousan LIMIT 0");

// The row set that stands in while none is current: like a closed recordset,
// it fails every operation.
class ClosedRowSet : public RowSet
{
public:
    bool atEnd() override { closed(); }
    QStringList columnNames() const override { closed(); }
    std::optional<QString> field(const QString&) override { closed(); }
    void moveNext() override { closed(); }
    void addNew() override { closed(); }
    void setField(const QString&, const QString&) override { closed(); }
    void update() override { closed(); }

private:
    [[noreturn]] static void closed()
    {
        throw PlatformError(QStringLiteral("データベースの行セットが開かれていません。"));
    }
};

} // namespace

PropertyStore::PropertyStore(
    DatabaseEngine& engine, AppEnvironment& environment, MessageBox& messages, PictureLoader& pictures)
    : m_engine(engine)
    , m_environment(environment)
    , m_messages(messages)
    , m_pictures(pictures)
    , m_clock(&Clock::system())
{
}

PropertyStore::~PropertyStore() = default;

QString PropertyStore::databasePath() const
{
    return QDir(m_environment.databaseDirectory()).filePath(QStringLiteral("Fudousan.mdb"));
}

QString PropertyStore::databaseLocation() const
{
    return m_engine.describeDatabase(enginePath());
}

QString PropertyStore::enginePath() const
{
    // Asking a server engine for no path keeps databasePath() from placing a
    // prepared file that would never be used.
    return usesFile() ? databasePath() : QString();
}

bool PropertyStore::Open_Database()
{
    try {
        Db_Recordset.reset();
        Db_Connection = m_engine.createConnection();
        Db_Connection->open(enginePath());

        // The application never creates the table or a column: a file that
        // lacks them is a failed open, found now rather than at the first save.
        const std::unique_ptr<RowSet> probe = Db_Connection->execute(kColumnsProbe);
        const QStringList present = probe->columnNames();
        QStringList missing;
        for (const char* column : kPropertyColumns) {
            if (!present.contains(QString::fromLatin1(column), Qt::CaseInsensitive))
                missing << QString::fromLatin1(column);
        }
        if (!missing.isEmpty())
            throw PlatformError(
                QStringLiteral("表 Fudousan に列 %1 がありません。").arg(missing.join(QStringLiteral("、"))));
        m_openFailure.clear();
        return true;
    } catch (const PlatformError& error) {
        m_openFailure = error.description();
    } catch (const std::exception& error) {
        m_openFailure = QString::fromLocal8Bit(error.what());
    }
    // A missing file is explained by a first start that could not place it.
    const QString placement = m_environment.databasePlacementFailure();
    if (!placement.isEmpty())
        m_openFailure += QLatin1Char('\n') + placement;
    // An unusable connection must not look open to later routines.
    Db_Connection = m_engine.createConnection();
    return false;
}

void PropertyStore::Close_Database()
{
    Db_Recordset.reset();
    Db_Connection.reset();
}

void PropertyStore::settleFile()
{
    try {
        if (Db_Connection && Db_Connection->isOpen())
            Db_Connection->checkpoint();
    } catch (const std::exception&) {
        // The rows are committed; the next write reports a file that cannot be written.
    }
}

bool PropertyStore::Run_Query(const QString& statement, const QStringList& parameters)
{
    return makeCurrent([&] { return connection().execute(statement, parameters); });
}

bool PropertyStore::Open_Property_Table()
{
    return makeCurrent([&] { return connection().openTable(kPropertyTable); });
}

bool PropertyStore::makeCurrent(const std::function<std::unique_ptr<RowSet>()>& open)
{
    try {
        std::unique_ptr<RowSet> rows = open();
        Db_Recordset = std::move(rows);
        return true;
    } catch (const PlatformError& error) {
        m_lastFailure = error.description();
    } catch (const std::exception& error) {
        m_lastFailure = QString::fromLocal8Bit(error.what());
    }
    return false;
}

Connection& PropertyStore::connection()
{
    if (!Db_Connection)
        Db_Connection = m_engine.createConnection();
    return *Db_Connection;
}

bool PropertyStore::isOpen() const
{
    return Db_Connection && Db_Connection->isOpen();
}

RowSet& PropertyStore::recordset()
{
    if (!Db_Recordset)
        Db_Recordset = std::make_unique<ClosedRowSet>();
    return *Db_Recordset;
}
