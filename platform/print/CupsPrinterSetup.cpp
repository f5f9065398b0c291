#include "platform/print/CupsPrinterSetup.h"

#include "platform/PlatformError.h"
#include "platform/print/CupsConnection.h"
#include "platform/print/CupsPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString kQueueKey = QStringLiteral("Printer/Queue");
const QString kPaperKey = QStringLiteral("Printer/Paper");
const QString kPaperNameKey = QStringLiteral("Printer/PaperName");
const QString kCopiesKey = QStringLiteral("Printer/Copies");

PrintQueueInfo::State stateOf(const CupsConnection::QueueState& state)
{
    if (!state.accepting)
        return PrintQueueInfo::State::Refusing;
    if (state.stopped)
        return PrintQueueInfo::State::Stopped;
    return state.printing ? PrintQueueInfo::State::Printing : PrintQueueInfo::State::Idle;
}

} // namespace

CupsPrinterSetup::CupsPrinterSetup(const QString& settingsPath)
    : m_path(settingsPath)
{
}

QString CupsPrinterSetup::defaultSettingsPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("Printer.ini"));
}

QList<PrintQueueInfo> CupsPrinterSetup::queues()
{
    const std::unique_ptr<CupsConnection> cups = CupsConnection::open();
    if (!cups)
        return {};
    const QString defaultQueue = cups->chosenQueue();
    QList<PrintQueueInfo> list;
    for (const CupsConnection::Queue& queue : cups->queues()) {
        PrintQueueInfo info;
        info.name = queue.name;
        info.location = queue.location;
        info.description = queue.info;
        info.isDefault = queue.name == defaultQueue;
        info.state = stateOf(queue.state);
        info.reason = queue.state.reason;
        const QList<CupsConnection::Paper> papers = cups->papers(queue.name);
        info.defaultPaper = CupsPrinter::paperName(papers, queue.state.defaultMedia);
        for (const CupsConnection::Paper& paper : CupsPrinter::jisB4Papers(papers))
            info.b4Papers.append({ CupsPrinter::paperId(paper), paper.name });
        list.append(info);
    }
    return list;
}

PrinterChoice CupsPrinterSetup::choice() const
{
    PrinterChoice choice;
    // Only a regular file: a pipe or device here must not block printing.
    if (!QFileInfo(m_path).isFile())
        return choice;
    const QSettings settings(m_path, QSettings::IniFormat);
    choice.queue = settings.value(kQueueKey).toString().trimmed();
    choice.paper = settings.value(kPaperKey).toString();
    choice.paperName = settings.value(kPaperNameKey).toString();
    bool isNumber = false;
    const int copies = settings.value(kCopiesKey).toInt(&isNumber);
    choice.copies = isNumber ? std::clamp(copies, PrinterChoice::kMinCopies, PrinterChoice::kMaxCopies)
                             : PrinterChoice::kMinCopies;
    if (choice.queue.isEmpty() || choice.paper.isEmpty())
        return PrinterChoice();
    return choice;
}

void CupsPrinterSetup::setChoice(const PrinterChoice& choice)
{
    const QString shown = QDir::toNativeSeparators(m_path);
    const QFileInfo file(m_path);
    if (file.exists() && !file.isFile())
        throw PlatformError(
            QStringLiteral("プリンターの設定を保存できませんでした。「%1」はファイルではありません。").arg(shown));
    if (!QDir().mkpath(file.absolutePath()))
        throw PlatformError(QStringLiteral("プリンターの設定を保存できませんでした。フォルダー「%1」を作れません。")
                                .arg(QDir::toNativeSeparators(file.absolutePath())));
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(kQueueKey, choice.queue);
    settings.setValue(kPaperKey, choice.paper);
    settings.setValue(kPaperNameKey, choice.paperName);
    settings.setValue(kCopiesKey, std::clamp(choice.copies, PrinterChoice::kMinCopies, PrinterChoice::kMaxCopies));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw PlatformError(QStringLiteral("プリンターの設定を「%1」に保存できませんでした。").arg(shown));
}
