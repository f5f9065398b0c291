// render_flyer: draws a flyer as a PDF file, for looking at it.
//
//   render_flyer FOLDER [MAP_PICTURE] [INDEX=TEXT ...]
//
// Starts from typical particulars, replaces Tbox(INDEX) by TEXT for every
// INDEX=TEXT given, loads the map picture when given, and writes the PDF into
// FOLDER under a name made of the number and the location. Prints its path.
#include "flyer/Flyer.h"
#include "platform/Fonts.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"
#include "platform/print/QtPdfPrinter.h"
#include "tests/support/FlyerSample.h"
#include "tests/support/MapPictureLoader.h"

#include <QGuiApplication>
#include <QTextStream>

namespace {

class ConsoleMessageBox : public MessageBox
{
public:
    void show(const QString& text, int, const QString&) override { QTextStream(stderr) << text << Qt::endl; }
    bool ask(const QString&, const QString&) override { return false; }
};

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    registerFontSubstitutions();
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        QTextStream(stderr) << "usage: render_flyer FOLDER [MAP_PICTURE] [INDEX=TEXT ...]" << Qt::endl;
        return 2;
    }

    SampleEntryView screen;
    screen.fillWithSample();
    try {
        for (const QString& arg : args.mid(1)) {
            const int equals = arg.indexOf(QLatin1Char('='));
            bool isIndex = false;
            const int index = equals > 0 ? arg.left(equals).toInt(&isIndex) : -1;
            if (isIndex && index >= 0 && index < kBoxCount)
                screen.setBoxText(index, arg.mid(equals + 1));
            else
                screen.setPicture(MapPictureLoader().load(arg));
        }
        ConsoleMessageBox messages;
        QtPdfPrinter printer(messages, args.first());
        Print_Flyer(printer, screen, messages);
        QTextStream(stdout) << printer.writtenPath() << Qt::endl;
    } catch (const PlatformError& e) {
        QTextStream(stderr) << e.description() << Qt::endl;
        return 1;
    }
    return 0;
}
