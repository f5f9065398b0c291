#include "platform/print/QtPrinterSource.h"

#include "platform/PlatformError.h"
#include "platform/PrinterSetup.h"
#include "platform/print/CupsConnection.h"
#include "platform/print/CupsPrinter.h"
#include "platform/print/QtPdfPrinter.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>
#include <vector>

std::unique_ptr<Printer> QtPrinterSource::openPrinter()
{
    // A print server that answers but has no queue, or none at all: the
    // flyer becomes a file. One that does not answer is reported (throws).
    if (std::unique_ptr<CupsConnection> cups = CupsConnection::open()) {
        // Also reads the user's lpoptions, whose paper counts for that queue.
        QString queue = cups->chosenQueue();
        const PrinterChoice choice = m_setup ? m_setup->choice() : PrinterChoice();
        if (choice.isChosen()) {
            // Never another printer than the one chosen: that may stand
            // elsewhere, or hold other paper.
            if (!cups->hasQueue(choice.queue))
                throw PlatformError(
                    QStringLiteral("「プリンターの設定」で選んだプリンター「%1」が印刷サーバーにありません。"
                                   "チラシは印刷されませんでした。\n「プリンターの設定…」で"
                                   "プリンターを選び直して下さい。")
                        .arg(choice.queue));
            queue = choice.queue;
        }
        if (!queue.isEmpty())
            return std::make_unique<CupsPrinter>(std::move(cups), queue, m_messages, choice);
    }

    return std::make_unique<QtPdfPrinter>(m_messages, documentsFolder());
}

QString QtPrinterSource::documentsFolder()
{
    // Without HOME, Qt takes the root folder for the home folder and would
    // offer "/Documents"; the password database knows the user's own.
    if (qEnvironmentVariableIsEmpty("HOME")) {
        std::vector<char> buffer(16384);
        passwd entry {};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
            && found->pw_dir[0] == '/')
            return QDir(QFile::decodeName(found->pw_dir)).filePath(QStringLiteral("Documents"));
        return QDir::tempPath();
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}
