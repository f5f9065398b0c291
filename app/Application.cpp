#include "app/Application.h"

#include "app/DatabaseChoice.h"
#include "app/QtJapanese.h"

#include "conversion/JetConversion.h"
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/desktop/PosixFileSystem.h"
#include "platform/desktop/QtAppEnvironment.h"
#include "platform/desktop/QtEventPump.h"
#include "platform/desktop/QtFileOpenDialog.h"
#include "platform/desktop/QtInputMethod.h"
#include "platform/desktop/QtMessageBox.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/desktop/QtSaveFileDialog.h"
#include "platform/desktop/QtUserGuide.h"
#include "platform/heif/HeifPictureDecoder.h"
#include "platform/jet/MdbJetReader.h"
#include "platform/pdf/PopplerPictureDecoder.h"
#include "platform/print/CupsPrinterSetup.h"
#include "platform/print/QtPdfFileSource.h"
#include "platform/print/QtPrintPreview.h"
#include "platform/print/QtPrinterSource.h"
#include "platform/sqlite/SqliteDatabaseBuilder.h"
#include "screens/F_Main.h"
#include "store/PropertyStore.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcStartup, "fudousan.startup", QtWarningMsg)
} // namespace

int runApplication(int& argc, char** argv, const std::function<void(QWidget*)>& onMenuShown)
{
    QApplication app(argc, argv);
    // They name the per-user data folder of an installed program
    // (~/.local/share/Quintaveli/Fudousan) and tie its windows to its
    // desktop entry.
    QCoreApplication::setOrganizationName(QStringLiteral("Quintaveli"));
    QCoreApplication::setApplicationName(QStringLiteral("Fudousan"));
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.quintaveli.Fudousan"));
    registerFontSubstitutions();
    installQtJapanese(app);

    QtAppEnvironment environment;
    // The settings file may name an office's server.
    const std::unique_ptr<DatabaseEngine> engine = chooseDatabaseEngine(environment.settingsFile());
    QtMessageBox messages;
    // Map pictures: Qt's readers, HEIC with libheif, PDF maps rendered to
    // print sharply in the flyer's map room.
    HeifPictureDecoder heifPictures;
    PopplerPictureDecoder pdfMaps(Flyer_Map_Room());
    QtPictureLoader pictures(QtPictureLoader::kDefaultAllocationLimitMb, { &heifPictures, &pdfMaps });
    QtFileOpenDialog fileDialog;
    QtEventPump events;
    // The printer, paper and copies the agent chose, kept for this user.
    CupsPrinterSetup printerSetup(CupsPrinterSetup::defaultSettingsPath());
    QtPrinterSource printers(messages, &printerSetup);
    QtInputMethod inputMethod;
    QtPrintPreview preview;
    QtSaveFileDialog saveDialog;
    QtPdfFileSource pdfFiles(messages, QtPrinterSource::documentsFolder());
    PropertyStore store(*engine, environment, messages, pictures);
    MdbJetReader jetReader;
    SqliteDatabaseBuilder databaseBuilder;
    PosixFileSystem files;
    JetConversion jetConversion(jetReader, databaseBuilder, files);
    QtUserGuide guide(environment.applicationDirectory());

    F_Main menu(ScreenServices { store, messages, fileDialog, pictures, events, environment, printers, inputMethod,
        preview, saveDialog, pdfFiles, &jetConversion, &guide, &printerSetup });
    menu.start();
    qCInfo(lcStartup) << "main menu shown";
    if (onMenuShown)
        QTimer::singleShot(0, &menu, [&] { onMenuShown(&menu); });
    return app.exec();
}
