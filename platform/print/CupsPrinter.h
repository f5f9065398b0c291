#pragma once

#include "platform/PrinterSetup.h"
#include "platform/print/CupsConnection.h"
#include "platform/print/QtPagePrinter.h"

#include <QPageSize>

#include <memory>

class MessageBox;

// The flyer on a print queue of the system's print server (CUPS).
//
// Its paper size is the paper chosen for the queue in 「プリンターの設定」
// (`choice`, while the queue still offers it), else the queue's default
// paper (a user's lpoptions choice first), as a paper-size code (a queue
// whose default is JIS B4 answers 12). When that is not JIS B4, paperNote()
// names the queue and its paper. endDocument() renders the document as PDF,
// reads the queue's state and hands the PDF over as one job titled with the
// document name, asking for the JIS B4 paper (the PPD's page size as well as
// the media keyword), landscape, and the chosen copies. A queue that does not
// accept jobs is refused with its reason (PlatformError) and nothing is sent;
// a stopped queue takes the job, and a notice (information, titled "Zabrelo")
// says that the flyer waits in the queue and why. Every step is answered
// within CupsConnection's time limit or throws PlatformError; no job is left
// half sent.
class CupsPrinter : public QtPagePrinter
{
public:
    CupsPrinter(std::unique_ptr<CupsConnection> connection, const QString& queue, MessageBox& messages,
        const PrinterChoice& choice = PrinterChoice());
    ~CupsPrinter() override;

    int paperSize() override;
    QString paperNote() override { return m_note; }
    QString queue() const { return m_queue; }

    // The size of a paper named as CUPS names it: a PWG name
    // ("jis_b4_257x364mm", "na_letter_8.5x11in") or a standard PPD name ("A4",
    // "B4" = JIS B4, "ISOB4"); invalid for another name.
    static QPageSize pageSizeOfMedia(const QString& media);

    // The JIS B4 papers among `papers`, in their order but the plain JIS B4
    // (the PPD's "B4" or "JISB4", the keyword "jis_b4_257x364mm") first.
    static QList<CupsConnection::Paper> jisB4Papers(const QList<CupsConnection::Paper>& papers);

    // What PrinterChoice::paper calls `paper`: its PPD page size, else its
    // media keyword.
    static QString paperId(const CupsConnection::Paper& paper);

    // How to name the paper `media` (a default paper as queueState gives it)
    // of a queue offering `papers`: the queue's own name for it, else the
    // usual name of its size, else `media` itself.
    static QString paperName(const QList<CupsConnection::Paper>& papers, const QString& media);

protected:
    void printPage() override;

private:
    std::unique_ptr<CupsConnection> m_connection;
    QString m_queue;
    MessageBox& m_messages;
    PrinterChoice m_choice;
    CupsConnection::Paper m_paper; // the JIS B4 paper the job asks for, once paperSize() found one
    QString m_note;
};
