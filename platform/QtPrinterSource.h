#pragma once

#include "platform/Printer.h"

class MessageBox;

// PrinterSource of this desktop: the system's default printer (or its only
// printer when no default is set; QtSystemPrinter), else a PDF file in the
// user's documents folder (QtPdfPrinter), whose path is shown once written
// through `messages`. openPrinter() never fails for want of a printer.
class QtPrinterSource : public PrinterSource
{
public:
    explicit QtPrinterSource(MessageBox& messages)
        : m_messages(messages)
    {
    }
    std::unique_ptr<Printer> openPrinter() override;

    // The folder the PDF goes to when the system has no printer.
    static QString documentsFolder();

private:
    MessageBox& m_messages;
};
