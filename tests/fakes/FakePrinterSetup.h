#pragma once

#include "platform/PlatformError.h"
#include "platform/PrinterSetup.h"

// A PrinterSetup holding its queues and its choice in memory; it can refuse
// to list (a server that does not answer) or to remember (a file that cannot
// be written).
class FakePrinterSetup : public PrinterSetup
{
public:
    QList<PrintQueueInfo> queues() override
    {
        if (refuseQueues)
            throw PlatformError(QStringLiteral("印刷サーバーが応答しません（テスト）。"));
        return queueList;
    }
    PrinterChoice choice() const override { return remembered; }
    void setChoice(const PrinterChoice& choice) override
    {
        if (refuseChoice)
            throw PlatformError(QStringLiteral("プリンターの設定を保存できませんでした（テスト）。"));
        remembered = choice;
        ++saved;
    }

    QList<PrintQueueInfo> queueList;
    PrinterChoice remembered;
    bool refuseQueues = false;
    bool refuseChoice = false;
    int saved = 0;
};
