#pragma once

#include "platform/PrintPreview.h"
#include "tests/fakes/RecordingPrinter.h"

// A PrintPreview whose "windows" are RecordingPrinters: the operations of
// every page shown are kept in `pages`, when the printer is released.
class RecordingPrintPreview : public PrintPreview
{
public:
    std::unique_ptr<Printer> openPreview() override { return std::make_unique<Page>(pages); }

    QList<QStringList> pages;

private:
    class Page : public RecordingPrinter
    {
    public:
        explicit Page(QList<QStringList>& pages)
            : m_pages(pages)
        {
        }
        ~Page() override { m_pages.append(ops); }

    private:
        QList<QStringList>& m_pages;
    };
};
