#pragma once

#include <QList>
#include <QString>

// The printer the agent chose for the flyer in 「プリンターの設定」: a queue of
// the print server, one of its JIS B4 papers, and the number of copies.
struct PrinterChoice
{
    static constexpr int kMinCopies = 1;
    static constexpr int kMaxCopies = 99;

    QString queue; // empty: none chosen, the user's default queue and its default paper
    QString paper; // the queue's own identifier of the paper (its PPD page size or media keyword)
    QString paperName; // the paper as the queue names it, for showing
    int copies = kMinCopies;

    bool isChosen() const { return !queue.isEmpty(); }
};

// A queue of the print server as the window of 「プリンターの設定」 lists it.
struct PrintQueueInfo
{
    enum class State {
        Idle, // waiting for jobs
        Printing,
        Stopped, // takes jobs and holds them
        Refusing, // takes no jobs
    };

    struct Paper
    {
        QString id; // what PrinterChoice::paper holds
        QString name; // as the queue names it ("B4 (JIS)")
    };

    QString name;
    QString location; // where it stands, as the administrator wrote it
    QString description;
    bool isDefault = false; // the user's (or else the server's) default queue
    State state = State::Idle;
    QString reason; // why it stopped or refuses, as the server words it
    QString defaultPaper; // the name of the paper it prints on unless asked for another
    QList<Paper> b4Papers; // its JIS B4 papers, plain JIS B4 first; empty: it cannot print the flyer
};

// PrinterSetup lists the print server's queues and keeps the agent's choice
// for this user, from one run of the program to the next.
class PrinterSetup
{
public:
    virtual ~PrinterSetup() = default;

    // The queues of the print server, in name order; empty when there is no
    // print server or it has no queue. Throws PlatformError when the server
    // does not answer in time.
    virtual QList<PrintQueueInfo> queues() = 0;

    // The remembered choice; none chosen when nothing was remembered.
    virtual PrinterChoice choice() const = 0;

    // Remembers `choice` (copies kept within 1..99). Throws PlatformError
    // when it cannot be written; the earlier choice then stays.
    virtual void setChoice(const PrinterChoice& choice) = 0;
};
