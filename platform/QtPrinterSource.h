#pragma once

#include "platform/Printer.h"

class MessageBox;

// PrinterSource of this desktop: the system's default printer, or a PDF file
// when the system has no printer.
class QtPrinterSource : public PrinterSource
{
public:
    explicit QtPrinterSource(MessageBox& messages)
        : m_messages(messages)
    {
    }
    std::unique_ptr<Printer> openPrinter() override;

private:
    MessageBox& m_messages;
};
