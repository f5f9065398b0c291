#pragma once

#include "platform/PrinterSetup.h"

// PrinterSetup of this desktop: the queues of the print server (CUPS, through
// CupsConnection), and the choice kept in an INI file of the user's own,
// Printer.ini in the configuration folder (~/.config/Quintaveli/Fudousan).
// A file that is missing, unreadable or holds nonsense is no choice; copies
// outside 1..99 are brought within.
class CupsPrinterSetup : public PrinterSetup
{
public:
    explicit CupsPrinterSetup(const QString& settingsPath);

    QList<PrintQueueInfo> queues() override;
    PrinterChoice choice() const override;
    void setChoice(const PrinterChoice& choice) override;

    // ~/.config/Quintaveli/Fudousan/Printer.ini (the organization and
    // application names of the running program).
    static QString defaultSettingsPath();

private:
    QString m_path;
};
