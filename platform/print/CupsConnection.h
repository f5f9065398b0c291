#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSizeF>
#include <QString>

#include <memory>

typedef struct _http_s http_t;

// One connection to the print server of this session (CUPS_SERVER,
// client.conf or the local socket). Every request is answered within the
// time limit or fails: a server that stops answering never holds the caller
// longer than that (libcups alone would wait for minutes). Nothing here asks
// for a password on a terminal. Failures throw PlatformError with a Japanese
// description naming the server or the queue.
class CupsConnection
{
public:
    static constexpr int kAnswerMs = 10000;

    // The connection, or nullptr when no print server is there to connect
    // to (none installed or running): a system without printers. Throws
    // PlatformError when one is there but does not accept the connection in
    // time.
    static std::unique_ptr<CupsConnection> open(int answerMs = kAnswerMs);
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;

    // The queue a flyer goes to: the user's default (LPDEST, PRINTER,
    // ~/.cups/lpoptions), else the server's default, else the first queue
    // the server lists. Empty when it has none.
    QString chosenQueue();

    struct QueueState
    {
        // The default paper: a user's lpoptions choice, else the queue's
        // default page size, else its default media. A PWG name such as
        // "jis_b4_257x364mm" or a PPD name ("A4", "B4", a vendor's "JISB4").
        QString defaultMedia;
        bool accepting = true;
        bool stopped = false;
        QString reason; // why it refuses or stopped, as the server words it
    };
    QueueState queueState(const QString& queue);

    // The size in points of the paper that the queue's PPD calls `name`;
    // invalid when it has no PPD or no such paper.
    QSizeF ppdPaperPoints(const QString& queue, const QString& name);

    // Hands `pdf` to `queue` as one job titled `title` on paper `media` (a
    // PWG name) and returns the job's id. A job that was created but could
    // not be completed is cancelled.
    int submitPdf(const QString& queue, const QString& title, const QByteArray& pdf, const QString& media);

private:
    explicit CupsConnection(http_t* http, int answerMs);
    void startStep();
    [[noreturn]] void fail(const QString& what) const;
    static int stillWaiting(http_t* http, void* connection);

    http_t* m_http;
    int m_answerMs;
    QDeadlineTimer m_deadline;
    QString m_userMediaQueue; // the queue whose lpoptions gave m_userMedia
    QString m_userMedia;
};
