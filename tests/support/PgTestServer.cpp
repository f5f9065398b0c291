#include "tests/support/PgTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <libpq-fe.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

QString findServerBin()
{
    QDir base(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = base.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(
        versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : versions) {
        const QString bin = base.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/postgres")))
            return bin;
    }
    return QString();
}

} // namespace

PgTestServer::PgTestServer()
    : PgTestServer(Options {})
{
}

PgTestServer::PgTestServer(const Options& options)
    : m_options(options)
{
    m_bin = findServerBin();
    if (m_bin.isEmpty()) {
        m_skipReason = QStringLiteral("PostgreSQL server binaries not installed (/usr/lib/postgresql/*/bin)");
        return;
    }
    m_asNobody = ::geteuid() == 0;
    if (m_asNobody && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        m_skipReason = QStringLiteral("running as root without setpriv; the server refuses root");
        return;
    }
    if (m_asNobody && ::chown(QFile::encodeName(m_dir.path()).constData(), 65534, 65534) != 0) {
        m_skipReason = QStringLiteral("cannot hand the temporary folder to nobody");
        return;
    }
    m_port = freePort();
    QString out;
    if (!runAsServerUser(
            { m_bin + QStringLiteral("/initdb"), QStringLiteral("-D"), m_dir.path() + QStringLiteral("/data"),
                QStringLiteral("-U"), superuser(), QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync") },
            &out)) {
        m_skipReason = QStringLiteral("initdb failed: ") + out.right(400);
        return;
    }
    if (m_options.tls && !makeCertificates()) {
        m_skipReason = QStringLiteral("cannot make test certificates with openssl");
        return;
    }
    if (!start())
        return;
    resetDatabase();
}

PgTestServer::~PgTestServer()
{
    stop();
}

bool PgTestServer::runAsServerUser(const QStringList& command, QString* output)
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args = command;
    QString program = args.takeFirst();
    if (m_asNobody) {
        args = QStringList { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
            QStringLiteral("--clear-groups"), program }
            + args;
        program = QStringLiteral("setpriv");
    }
    p.start(program, args);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

bool PgTestServer::makeCertificates()
{
    const QString d = m_dir.path() + QLatin1Char('/');
    auto openssl = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start(QStringLiteral("openssl"), args);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    QFile ext(d + QStringLiteral("san.ext"));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=DNS:localhost\n");
    ext.close();
    const bool ok
        = openssl({ QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
              QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
              QStringLiteral("-subj"), QStringLiteral("/CN=Fudousan test CA"), QStringLiteral("-keyout"),
              d + QStringLiteral("ca.key"), QStringLiteral("-out"), d + QStringLiteral("ca.crt") })
        && openssl(
            { QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"),
                d + QStringLiteral("server.key"), QStringLiteral("-out"), d + QStringLiteral("server.csr") })
        && openssl({ QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
            d + QStringLiteral("server.csr"), QStringLiteral("-CA"), d + QStringLiteral("ca.crt"),
            QStringLiteral("-CAkey"), d + QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
            QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), d + QStringLiteral("san.ext"),
            QStringLiteral("-out"), d + QStringLiteral("server.crt") });
    if (!ok)
        return false;
    const QByteArray key = QFile::encodeName(d + QStringLiteral("server.key"));
    ::chmod(key.constData(), 0600);
    if (m_asNobody) {
        for (const char* f : { "server.key", "server.crt", "ca.crt" })
            if (::chown(QFile::encodeName(d + QLatin1String(f)).constData(), 65534, 65534) != 0)
                return false;
    }
    return true;
}

QString PgTestServer::caFile() const
{
    return m_dir.path() + QStringLiteral("/ca.crt");
}

QStringList PgTestServer::serverCommand() const
{
    QStringList args { m_bin + QStringLiteral("/postgres"), QStringLiteral("-D"),
        m_dir.path() + QStringLiteral("/data"), QStringLiteral("-k"), m_dir.path(), QStringLiteral("-p"),
        QString::number(m_port), QStringLiteral("-c"),
        QStringLiteral("listen_addresses=") + (m_options.tcp ? QStringLiteral("127.0.0.1") : QString()),
        QStringLiteral("-c"),
        QStringLiteral("fsync=") + (m_options.fsync ? QStringLiteral("on") : QStringLiteral("off")),
        QStringLiteral("-c"), QStringLiteral("max_connections=40"), QStringLiteral("-c"),
        QStringLiteral("shared_buffers=32MB") };
    if (m_options.tls) {
        args << QStringLiteral("-c") << QStringLiteral("ssl=on") << QStringLiteral("-c")
             << QStringLiteral("ssl_cert_file=") + m_dir.path() + QStringLiteral("/server.crt") << QStringLiteral("-c")
             << QStringLiteral("ssl_key_file=") + m_dir.path() + QStringLiteral("/server.key");
    }
    return args;
}

bool PgTestServer::start()
{
    if (m_running)
        return true;
    m_process = std::make_unique<QProcess>();
    m_process->setWorkingDirectory(m_dir.path());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_dir.path() + QStringLiteral("/server.log"), QIODevice::Append);
    QStringList args = serverCommand();
    QString program = args.takeFirst();
    if (m_asNobody) {
        args = QStringList { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
            QStringLiteral("--clear-groups"), program }
            + args;
        program = QStringLiteral("setpriv");
    }
    m_process->start(program, args);
    if (!m_process->waitForStarted(10000)) {
        m_skipReason = QStringLiteral("the server did not start");
        return false;
    }
    const QByteArray ping
        = conninfo().replace(QStringLiteral("dbname=fudousan"), QStringLiteral("dbname=postgres")).toUtf8();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (PQping(ping.constData()) == PQPING_OK) {
            m_running = true;
            return true;
        }
        if (m_process->state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    QFile log(m_dir.path() + QStringLiteral("/server.log"));
    log.open(QIODevice::ReadOnly);
    m_skipReason = QStringLiteral("the server did not come up: ") + QString::fromLocal8Bit(log.readAll().right(400));
    m_process->kill();
    m_process->waitForFinished(5000);
    return false;
}

void PgTestServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process->processId()), SIGINT); // fast shutdown
        if (!m_process->waitForFinished(30000)) {
            ::kill(pid_t(m_process->processId()), SIGKILL);
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
    m_running = false;
}

QString PgTestServer::conninfo(const QString& user) const
{
    return QStringLiteral("host=%1 port=%2 user=%3 dbname=fudousan")
        .arg(m_dir.path())
        .arg(m_port)
        .arg(user.isEmpty() ? superuser() : user);
}

void PgTestServer::resetDatabase(bool withTable)
{
    // Made once; later resets empty its schema, which is much quicker than a
    // new database.
    if (!m_databaseMade) {
        const QByteArray admin
            = conninfo().replace(QStringLiteral("dbname=fudousan"), QStringLiteral("dbname=postgres")).toUtf8();
        PGconn* c = PQconnectdb(admin.constData());
        PGresult* r = PQexec(c, "CREATE DATABASE fudousan TEMPLATE template0 ENCODING 'UTF8'");
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            qFatal("CREATE DATABASE: %s", PQerrorMessage(c));
        PQclear(r);
        PQfinish(c);
        m_databaseMade = true;
    }
    exec(QStringLiteral("SET client_min_messages = warning; DROP SCHEMA public CASCADE; CREATE SCHEMA public; "
                        "DROP ROLE IF EXISTS fudousan_desktop;"));
    if (!withTable)
        return;
    QFile schema(QStringLiteral(FUDOUSAN_SOURCE_DIR "/platform/postgres/fudousan_postgresql.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        qFatal("cannot read the server schema");
    exec(QString::fromUtf8(schema.readAll()));
}

QStringList PgTestServer::exec(const QString& sql) const
{
    PGconn* c = PQconnectdb(conninfo().toUtf8().constData());
    PGresult* r = PQexec(c, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        qFatal("SQL failed: %s: %s", qPrintable(sql), PQerrorMessage(c));
    QStringList values;
    for (int i = 0; i < PQntuples(r); ++i)
        values << QString::fromUtf8(PQgetvalue(r, i, 0));
    PQclear(r);
    PQfinish(c);
    return values;
}
