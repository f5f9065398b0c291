#pragma once

#include "platform/Printer.h"

#include <QString>

class MessageBox;
class PrinterSetup;

// PrinterSource of this desktop: the queue, paper and copies chosen in
// 「プリンターの設定」 (the choice of `setup`), else the print server's queue
// chosen by CupsConnection::chosenQueue with its default paper (CupsPrinter);
// else, when there is no print server or it has no queue, a PDF file in the
// user's documents folder (QtPdfPrinter), whose path is shown once written
// through `messages`. openPrinter() never fails for want of a printer; it
// throws PlatformError when the print server does not answer in time, and
// when the chosen queue is no longer on the server (naming it).
class QtPrinterSource : public PrinterSource
{
public:
    explicit QtPrinterSource(MessageBox& messages, const PrinterSetup* setup = nullptr)
        : m_messages(messages)
        , m_setup(setup)
    {
    }
    std::unique_ptr<Printer> openPrinter() override;

    // Where the PDF files go: the desktop's documents folder (~/Documents or
    // what xdg-user-dirs names); with HOME unset, "Documents" in the home
    // folder of the password database.
    static QString documentsFolder();

private:
    MessageBox& m_messages;
    const PrinterSetup* m_setup;
};
