// make_empty_database FOLDER: places a prepared, empty Fudousan.mdb in FOLDER
// unless one is there already. An existing file is never overwritten.
#include "platform/sqlite/EmptyDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_empty_database FOLDER\n");
        return 2;
    }
    const QString path = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("Fudousan.mdb"));
    if (QFileInfo::exists(path)) {
        std::printf("%s is there already; left as it is.\n", qPrintable(path));
        return 0;
    }
    QString error;
    if (!createEmptyDatabase(path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("created %s\n", qPrintable(path));
    return 0;
}
