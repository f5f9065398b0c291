#pragma once

#include "fakes/FakeAppEnvironment.h"
#include "fakes/FakeEventPump.h"
#include "fakes/FakeFileOpenDialog.h"
#include "fakes/FakeSaveFileDialog.h"
#include "fakes/RecordingInputMethod.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/RecordingPrintPreview.h"
#include "fakes/RecordingPrinter.h"

#include "TestDatabase.h"

#include "platform/QtPdfFileSource.h"
#include "platform/QtPictureLoader.h"
#include "screens/ScreenServices.h"
#include "store/PropertyStore.h"

#include <QDir>

// The store on the real SQLite engine (or the test server's, see
// TestDatabase) and picture loader, its application directory a test folder,
// its messages recorded.
struct StoreFixture
{
    explicit StoreFixture(const QString& folder, std::unique_ptr<DatabaseEngine> chosen = TestDatabase::engine())
        : engineOwner(std::move(chosen)), engine(*engineOwner), environment(folder),
          store(engine, environment, messages, pictures)
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
    QtPictureLoader pictures;
    PropertyStore store;
};

// Everything a screen is given: the store above, doubles of the other
// services (file dialogs, event pump, printers, preview, input method), and
// real PDF files whose documents folder is "Documents" in the test folder.
struct ScreenFixture : StoreFixture
{
    explicit ScreenFixture(const QString& folder,
                           std::unique_ptr<DatabaseEngine> chosen = TestDatabase::engine())
        : StoreFixture(folder, std::move(chosen)), pdfFiles(messages, QDir(folder).filePath(QStringLiteral("Documents")))
    {
    }

    ScreenServices services()
    {
        return ScreenServices{store,    messages,    fileDialog, pictures,   events,  environment,
                              printers, inputMethod, preview,    saveDialog, pdfFiles};
    }

    FakeFileOpenDialog fileDialog;
    FakeEventPump events;
    RecordingPrinterSource printers;
    RecordingInputMethod inputMethod;
    RecordingPrintPreview preview;
    FakeSaveFileDialog saveDialog;
    QtPdfFileSource pdfFiles;
};
