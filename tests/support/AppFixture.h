#pragma once

#include "tests/fakes/FakeAppEnvironment.h"
#include "tests/fakes/FakeEventPump.h"
#include "tests/fakes/FakeFileOpenDialog.h"
#include "tests/fakes/FakePrinterSetup.h"
#include "tests/fakes/FakeSaveFileDialog.h"
#include "tests/fakes/RecordingInputMethod.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingPrintPreview.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/fakes/RecordingUserGuide.h"

#include "tests/support/TestDatabase.h"

#include "platform/print/QtPdfFileSource.h"
#include "platform/print/QtPdfPrinter.h"
#include "screens/ScreenServices.h"
#include "store/PropertyStore.h"
#include "tests/support/MapPictureLoader.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <functional>

// The store on the real SQLite engine (or the test server's, see
// TestDatabase) and the program's picture loader, its application directory a test folder,
// its messages recorded.
struct StoreFixture
{
    explicit StoreFixture(const QString& folder, std::unique_ptr<DatabaseEngine> chosen = TestDatabase::engine())
        : engineOwner(std::move(chosen))
        , engine(*engineOwner)
        , environment(folder)
        , store(engine, environment, messages, pictures)
    {
    }

    // Opens the folder's database; a fixture that cannot is no test at all.
    void openOrDie()
    {
        if (!store.Open_Database())
            qFatal("%s", qPrintable(store.openFailure()));
    }

    std::unique_ptr<DatabaseEngine> engineOwner;
    DatabaseEngine& engine;
    FakeAppEnvironment environment;
    RecordingMessageBox messages;
    MapPictureLoader pictures;
    PropertyStore store;
};

// Everything a screen is given: the store above, doubles of the other
// services (file dialogs, event pump, printers, preview, input method, the
// guide), and
// real PDF files whose documents folder is "Documents" in the test folder.
struct ScreenFixture : StoreFixture
{
    explicit ScreenFixture(const QString& folder, std::unique_ptr<DatabaseEngine> chosen = TestDatabase::engine())
        : StoreFixture(folder, std::move(chosen))
        , pdfFiles(messages, QDir(folder).filePath(QStringLiteral("Documents")))
    {
    }

    ScreenServices services()
    {
        ScreenServices services { store, messages, fileDialog, pictures, events, environment, printers, inputMethod,
            preview, saveDialog, pdfFiles, nullptr, &guide };
        services.printerSetup = &printerSetup;
        return services;
    }

    FakeFileOpenDialog fileDialog;
    FakeEventPump events;
    RecordingPrinterSource printers;
    RecordingInputMethod inputMethod;
    RecordingPrintPreview preview;
    FakeSaveFileDialog saveDialog;
    QtPdfFileSource pdfFiles;
    RecordingUserGuide guide;
    FakePrinterSetup printerSetup;
};

// Printers that write real PDF files into one folder, as 印刷 does with no
// printer.
class PdfPrinterSource : public PrinterSource
{
public:
    PdfPrinterSource(MessageBox& messages, const QString& folder)
        : m_messages(messages)
        , m_folder(folder)
    {
    }
    std::unique_ptr<Printer> openPrinter() override { return std::make_unique<QtPdfPrinter>(m_messages, m_folder); }

private:
    MessageBox& m_messages;
    QString m_folder;
};

// Runs `step` on the modal window of class T as soon as one is up.
template <typename T> void whenModal(const std::function<void(T*)>& step)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
        if (T* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            step(window);
        }
    });
    timer->start(10);
}
