// fudousan_convert_jet: brings the properties of an Access (Jet) Fudousan.mdb
// of the Windows program over into a new database of this program.
//
//   fudousan_convert_jet OLD.mdb NEW.mdb   NEW.mdb is made; OLD.mdb stays
//   fudousan_convert_jet Fudousan.mdb      converted in place, as at start-up;
//                                          the original is kept as Fudousan.mdb.jet
//
// Prints one line. Exit status: 0 every row arrived and nothing looks wrong;
// 3 converted, but the line warns of what the file gave reason to doubt (a
// column with no value in any row, rows or values that could not be read or
// were cut short); 1 refused or failed, the original untouched and no new
// file left; 2 wrong arguments.
#include "conversion/JetConversion.h"
#include "platform/PlatformError.h"
#include "platform/desktop/PosixFileSystem.h"
#include "platform/jet/MdbJetReader.h"
#include "platform/sqlite/SqliteDatabaseBuilder.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

constexpr int kConvertedWithWarnings = 3;

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty() || args.size() > 2 || args.first().startsWith(QLatin1Char('-'))) {
        err << "usage: fudousan_convert_jet OLD.mdb NEW.mdb\n"
               "       fudousan_convert_jet Fudousan.mdb   (in place; the original is kept as Fudousan.mdb.jet)\n";
        return 2;
    }
    MdbJetReader reader;
    SqliteDatabaseBuilder builder;
    PosixFileSystem files;
    JetConversion conversion(reader, builder, files);
    try {
        const JetConversion::Result result
            = args.size() == 2 ? conversion.convertTo(args.at(0), args.at(1)) : conversion.convertInPlace(args.at(0));
        out << JetConversion::summary(args.at(0), result) << Qt::endl;
        return result.warnings().isEmpty() ? 0 : kConvertedWithWarnings;
    } catch (const PlatformError& error) {
        err << QString(error.description()).replace(QLatin1Char('\n'), QLatin1Char(' ')) << Qt::endl;
    } catch (const std::exception& error) {
        err << error.what() << Qt::endl;
    }
    return 1;
}
