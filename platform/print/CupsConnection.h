#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSizeF>
#include <QString>

#include <memory>

class QIODevice;
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
        bool printing = false;
        QString reason; // why it refuses or stopped, as the server words it
    };
    QueueState queueState(const QString& queue);

    struct Queue
    {
        QString name;
        QString location; // where it stands, as the administrator wrote it
        QString info; // its description
        QueueState state; // defaultMedia as for queueState
    };
    // Every queue of the server, in name order; empty when it has none.
    QList<Queue> queues();

    // Whether the server has a queue of this name.
    bool hasQueue(const QString& queue);

    struct Paper
    {
        QString media; // the media keyword of its size, as the queue lists it ("jis_b4_257x364mm")
        QString pageSize; // its page size in the queue's PPD ("B4", "JISB4"); empty without a PPD
        QString name; // as the queue names it: the PPD's text ("B4 (JIS)"), else from the keyword
        QSizeF millimetres; // width x length
    };
    // The papers the queue offers: the page sizes of its PPD, each with the
    // media keyword of its size, or, for a queue without a PPD, its supported
    // media keywords. In the queue's own order.
    QList<Paper> papers(const QString& queue);

    struct JobOptions
    {
        QString media; // a media keyword; empty: not asked
        QString pageSize; // the PPD's page size; empty: not asked
        int copies = 1;
        bool landscape = false;
    };
    // Hands the whole of `pdf` (read part by part from where it stands) to
    // `queue` as one job titled `title`, asking for `options`, and returns
    // the job's id. A job that was created but could not be completed is
    // cancelled.
    int submitPdf(const QString& queue, const QString& title, QIODevice& pdf, const JobOptions& options);

private:
    struct PpdSize
    {
        QString name;
        QString text;
        QSizeF points;
    };
    // The page sizes of the queue's PPD; empty without one.
    QList<PpdSize> ppdSizes(const QString& queue);

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
