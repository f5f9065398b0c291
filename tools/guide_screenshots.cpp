// guide_screenshots FOLDER: the pictures of the guide (docs/ja/guide.md),
// taken from the real screens with the real fonts when the program is built:
//
//   main-menu.png     the main menu
//   entry-screen.png  the entry screen with a property filled in and its map
//   list-screen.png   the list screen with some properties, one selected
//
// Each is a grab of the window as the screen draws it at 96 DPI. Runs on
// Qt's offscreen platform (the build sets QT_QPA_PLATFORM=offscreen) against
// a new database in a temporary folder, which it removes again. Any message a
// screen would show ends the run with status 1, so that the build stops
// instead of putting a wrong picture into the guide.
#include "platform/AppEnvironment.h"
#include "platform/Fonts.h"
#include "platform/MessageBox.h"
#include "platform/desktop/QtEventPump.h"
#include "platform/desktop/QtFileOpenDialog.h"
#include "platform/desktop/QtInputMethod.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/desktop/QtSaveFileDialog.h"
#include "platform/grid/QtGrid.h"
#include "platform/print/QtPdfFileSource.h"
#include "platform/print/QtPrintPreview.h"
#include "platform/print/QtPrinterSource.h"
#include "platform/sqlite/EmptyDatabase.h"
#include "platform/sqlite/SqliteDatabaseEngine.h"
#include "screens/F_Itiran.h"
#include "screens/F_Main.h"
#include "screens/F_Tyukai.h"
#include "store/PropertyStore.h"
#include "tests/support/FlyerSample.h"
#include "tests/support/PropertyFill.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdlib>

namespace {

// Any message is a fault of the run: said on stderr, the run ends.
class FailingMessageBox : public MessageBox
{
public:
    void show(const QString& text, int, const QString&) override { fail(text); }
    bool ask(const QString& text, const QString&) override
    {
        fail(text);
        return false;
    }

private:
    [[noreturn]] static void fail(const QString& text)
    {
        QTextStream(stderr) << "guide_screenshots: a screen said: " << text << Qt::endl;
        std::exit(1);
    }
};

class FolderEnvironment : public AppEnvironment
{
public:
    explicit FolderEnvironment(QString folder)
        : m_folder(std::move(folder))
    {
    }
    QString applicationDirectory() const override { return m_folder; }
    void endApplication() override { }

private:
    QString m_folder;
};

// Locations as agents type them, for the list.
const char16_t* const kLocations[] = {
    u"千葉県船橋市本町四丁目8番3",
    u"千葉県船橋市前原西二丁目14番",
    u"千葉県習志野市谷津五丁目2番21",
    u"東京都世田谷区桜丘三丁目12番5",
    u"千葉県市川市八幡一丁目5番10",
    u"千葉県船橋市夏見台六丁目3番",
    u"東京都江戸川区西葛西七丁目28番",
    u"千葉県八千代市大和田新田 512番",
    u"千葉県鎌ケ谷市道野辺中央二丁目",
    u"千葉県船橋市三山九丁目40番7",
};

// A small map of the kind agents attach: streets, a station and the plot.
QImage sampleMap()
{
    QImage map(260, 190, QImage::Format_RGB32);
    map.fill(QColor(250, 248, 240));
    QPainter p(&map);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 200, 200), 9));
    p.drawLine(0, 60, 260, 60);
    p.drawLine(0, 140, 260, 140);
    p.drawLine(90, 0, 90, 190);
    p.drawLine(190, 0, 170, 190);
    p.setPen(QPen(QColor(60, 60, 60), 4));
    p.drawLine(0, 20, 260, 30); // the railway
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 150, 220));
    p.drawRect(30, 14, 34, 14); // the station
    p.setBrush(QColor(230, 60, 60));
    p.drawRect(110, 80, 40, 40); // the plot
    p.setPen(QColor(30, 30, 30));
    p.setFont(QFont(kFontGothic, 9));
    p.drawText(QRect(100, 122, 60, 16), Qt::AlignCenter, QStringLiteral("現地"));
    p.drawText(QRect(24, 30, 60, 16), Qt::AlignCenter, QStringLiteral("駅"));
    return map;
}

void save(QWidget* screen, const QDir& folder, const QString& name)
{
    screen->show();
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!screen->grab().save(path)) {
        QTextStream(stderr) << "guide_screenshots: cannot write " << path << Qt::endl;
        std::exit(1);
    }
    screen->hide();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: guide_screenshots FOLDER" << Qt::endl;
        return 2;
    }
    registerFontSubstitutions();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        QTextStream(stderr) << "guide_screenshots: cannot make " << out.path() << Qt::endl;
        return 1;
    }

    QTemporaryDir work;
    const QString database = QDir(work.path()).filePath(QStringLiteral("Fudousan.mdb"));
    QString error;
    const int lines = int(std::size(kLocations));
    if (!createEmptyDatabase(database, &error)
        || !insertProperties(
            database, lines,
            [](int i) {
                SampleEntryView sample;
                sample.fillWithSample();
                PropertyRecord record;
                for (int box = 0; box < kBoxCount; ++box)
                    record[box] = sample.boxText(box);
                record[kSyozaiIndex] = QString::fromUtf16(kLocations[i]);
                return record;
            },
            &error)) {
        QTextStream(stderr) << "guide_screenshots: " << error << Qt::endl;
        return 1;
    }

    FolderEnvironment environment(work.path());
    SqliteDatabaseEngine engine;
    FailingMessageBox messages;
    QtPictureLoader pictures;
    QtFileOpenDialog fileDialog;
    QtEventPump events;
    QtPrinterSource printers(messages);
    QtInputMethod inputMethod;
    QtPrintPreview preview;
    QtSaveFileDialog saveDialog;
    QtPdfFileSource pdfFiles(messages, work.path());
    PropertyStore store(engine, environment, messages, pictures);
    const ScreenServices services { store, messages, fileDialog, pictures, events, environment, printers, inputMethod,
        preview, saveDialog, pdfFiles };

    F_Main menu(services);
    menu.start();
    save(&menu, out, QStringLiteral("main-menu.png"));

    F_Tyukai entry(services);
    SampleEntryView sample;
    sample.fillWithSample();
    for (int box = 0; box < kBoxCount; ++box)
        entry.setBoxText(box, sample.boxText(box));
    entry.setPicture(sampleMap());
    save(&entry, out, QStringLiteral("entry-screen.png"));

    F_Itiran list(services);
    list.Form_Load();
    list.grid().selectRow(1);
    save(&list, out, QStringLiteral("list-screen.png"));

    store.Close_Database();
    return 0;
}
