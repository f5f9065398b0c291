#include "app/Application.h"

#include "platform/Fonts.h"
#include "platform/QtAppEnvironment.h"
#include "platform/QtEventPump.h"
#include "platform/QtFileOpenDialog.h"
#include "platform/QtInputMethod.h"
#include "platform/QtMessageBox.h"
#include "platform/QtPdfFileSource.h"
#include "platform/QtPictureLoader.h"
#include "platform/QtPrintPreview.h"
#include "platform/QtPrinterSource.h"
#include "platform/QtSaveFileDialog.h"
#include "platform/SqliteDatabaseEngine.h"
#include "screens/F_Main.h"
#include "store/PropertyStore.h"

#include <QApplication>
#include <QTimer>

int runApplication(int& argc, char** argv, const std::function<void(QWidget*)>& onMenuShown)
{
    QApplication app(argc, argv);
    registerFontSubstitutions();

    SqliteDatabaseEngine engine;
    QtAppEnvironment environment;
    QtMessageBox messages;
    QtPictureLoader pictures;
    QtFileOpenDialog fileDialog;
    QtEventPump events;
    QtPrinterSource printers(messages);
    QtInputMethod inputMethod;
    QtPrintPreview preview;
    QtSaveFileDialog saveDialog;
    QtPdfFileSource pdfFiles(messages, QtPrinterSource::documentsFolder());
    PropertyStore store(engine, environment, messages, pictures);

    F_Main menu(ScreenServices{store, messages, fileDialog, pictures, events, environment, printers, inputMethod,
                               preview, saveDialog, pdfFiles});
    menu.start();
    if (onMenuShown)
        QTimer::singleShot(0, &menu, [&] { onMenuShown(&menu); });
    return app.exec();
}
