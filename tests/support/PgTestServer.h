#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A private PostgreSQL server for one test process: initdb in a temporary
// folder, run as user nobody when the tests run as root (the server refuses
// root), listening on a Unix socket in that folder and, when asked, on a free
// port of 127.0.0.1 with TLS. Stopped by its pid when the object goes.
//
// When no server can be started (no PostgreSQL installed, no setpriv as
// root), isRunning() is false and skipReason() says why.
class PgTestServer
{
public:
    struct Options
    {
        bool tcp = false; // also listen on 127.0.0.1:port()
        bool tls = false; // with a test CA and a certificate for "localhost"
        bool fsync = false; // durable commits, for measurements
    };

    PgTestServer();
    explicit PgTestServer(const Options& options);
    ~PgTestServer();

    bool isRunning() const { return m_running; }
    QString skipReason() const { return m_skipReason; }

    // Starts the server again on the same folder and port, or stops it (by
    // pid, fast shutdown). Both wait until done.
    bool start();
    void stop();
    qint64 pid() const { return m_process ? m_process->processId() : 0; }

    QString socketFolder() const { return m_dir.path(); }
    int port() const { return m_port; }
    QString caFile() const; // the test CA's certificate (with tls)

    // A connection string over the Unix socket for `user` on database
    // fudousan (the server's superuser by default).
    QString conninfo(const QString& user = QString()) const;

    // (Re)creates database fudousan with the property table and its
    // least-privilege role from platform/postgres/fudousan_postgresql.sql.
    void resetDatabase(bool withTable = true);

    // Runs SQL as the superuser on database fudousan; fails the process on
    // error. Returns the first column of every row.
    QStringList exec(const QString& sql) const;

    static QString superuser() { return QStringLiteral("fudousan_admin"); }

private:
    bool runAsServerUser(const QStringList& command, QString* output = nullptr);
    QStringList serverCommand() const;
    bool makeCertificates();

    Options m_options;
    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_running = false;
    bool m_asNobody = false;
    bool m_databaseMade = false;
    QString m_skipReason;
    std::unique_ptr<QProcess> m_process;
};
