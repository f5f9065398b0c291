#pragma once

#include "platform/print/QtPagePrinter.h"

#include <QPageSize>

#include <memory>

class CupsConnection;
class MessageBox;

// The flyer on a print queue of the system's print server (CUPS).
//
// Its paper size is the queue's default paper (a user's lpoptions choice
// first), as a paper-size code (a queue whose default is JIS B4 answers 12).
// endDocument() renders the page as PDF, reads the queue's state and hands
// the PDF over as one job with the chosen paper and the document name as job
// title. A queue that does not accept jobs is refused with its reason
// (PlatformError) and nothing is sent; a stopped queue takes the job, and a
// notice (information, titled "Zabrelo") says that the flyer waits in the
// queue and why. Every step is answered within CupsConnection's time limit or
// throws PlatformError; no job is left half sent.
class CupsPrinter : public QtPagePrinter
{
public:
    CupsPrinter(std::unique_ptr<CupsConnection> connection, const QString& queue, MessageBox& messages);
    ~CupsPrinter() override;

    int paperSize() override;
    QString queue() const { return m_queue; }

    // The size of a paper named as CUPS names it: a PWG name
    // ("jis_b4_257x364mm", "na_letter_8.5x11in") or a standard PPD name ("A4",
    // "B4" = JIS B4, "ISOB4"); invalid for another name.
    static QPageSize pageSizeOfMedia(const QString& media);

protected:
    void printPage() override;

private:
    std::unique_ptr<CupsConnection> m_connection;
    QString m_queue;
    MessageBox& m_messages;
};
