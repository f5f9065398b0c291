#pragma once

#include "platform/Printer.h"

#include <QString>

class MessageBox;

// PrinterSource of this desktop: the print server's queue chosen by
// CupsConnection::chosenQueue (CupsPrinter), else, when there is no print
// server or it has no queue, a PDF file in the user's documents folder
// (QtPdfPrinter), whose path is shown once written through `messages`.
// openPrinter() never fails for want of a printer; it throws PlatformError
// when the print server does not answer in time.
class QtPrinterSource : public PrinterSource
{
public:
    explicit QtPrinterSource(MessageBox& messages)
        : m_messages(messages)
    {
    }
    std::unique_ptr<Printer> openPrinter() override;

    // Where the PDF files go: the desktop's documents folder (~/Documents or
    // what xdg-user-dirs names); with HOME unset, "Documents" in the home
    // folder of the password database.
    static QString documentsFolder();

private:
    MessageBox& m_messages;
};
