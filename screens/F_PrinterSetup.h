#pragma once

#include "platform/PrinterSetup.h"

#include <QDialog>

class MessageBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;

// 「プリンターの設定」: the printer, paper and copies of the flyer. Lists the
// print server's queues (name, location, whether it has JIS B4 paper, state),
// the JIS B4 papers of the selected queue as it names them (plain JIS B4
// first), and the copies (1 to 99). A queue without JIS B4 paper is listed
// as such and cannot be chosen. 設定 remembers the choice (PrinterSetup) and
// closes; キャンセル closes and changes nothing. The window's title shows the
// choice remembered when it opened.
//
// It opens on the remembered queue when the server still has it, else on the
// default queue, else on the first; on the remembered paper and copies.
class F_PrinterSetup : public QDialog
{
    Q_OBJECT

public:
    // Reads the queues; throws PlatformError when the server does not answer.
    F_PrinterSetup(PrinterSetup& setup, MessageBox& messages, QWidget* parent = nullptr);

    // Opens the window modally (failures shown through `messages`) and
    // destroys it when it closes.
    static void openFromMenu(PrinterSetup& setup, MessageBox& messages, QWidget* parent);

    // The window's title for the remembered `choice`.
    static QString titleFor(const PrinterChoice& choice);

    // 設定: remembers the selected queue, paper and copies and closes; a
    // failure to write is shown and the window stays.
    void OK_Click();

private:
    void fillQueues(const PrinterChoice& remembered);
    void queueSelected(const PrinterChoice& remembered);
    int selectedQueue() const; // index in m_queueList, or -1

    PrinterSetup& m_setup;
    MessageBox& m_messages;
    QList<PrintQueueInfo> m_queueList;
    QTreeWidget* m_queues = nullptr;
    QComboBox* m_paper = nullptr;
    QSpinBox* m_copies = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_ok = nullptr;
};
