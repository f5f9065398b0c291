#pragma once

// The Jet (Access) test files in tests/data/jet and what they hold.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <optional>
#include <vector>

using JetRows = std::vector<std::vector<std::optional<QString>>>;

inline QString jetData(const QString& name)
{
    return QStringLiteral(FUDOUSAN_TEST_DATA_DIR "/jet/") + name;
}

// Copies test file `name` into `folder` as `as`; returns its path.
inline QString copyJetFile(
    const QString& name, const QString& folder, const QString& as = QStringLiteral("Fudousan.mdb"))
{
    const QString path = QDir(folder).filePath(as);
    QFile::remove(path);
    if (!QFile::copy(jetData(name), path))
        qFatal("cannot copy %s", qPrintable(name));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return path;
}

// The rows of fudousan-jet4-2000.mdb as expected.tsv lists them (\N = NULL);
// `header` gets the column names.
inline JetRows expectedJetRows(QStringList* header = nullptr)
{
    QFile file(jetData(QStringLiteral("expected.tsv")));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("expected.tsv missing");
    const QList<QByteArray> lines = file.readAll().split('\n');
    JetRows rows;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QStringList fields = QString::fromUtf8(lines.at(i)).split(QLatin1Char('\t'));
        if (i == 0) {
            if (header)
                *header = fields;
            continue;
        }
        std::vector<std::optional<QString>> row;
        for (const QString& f : fields)
            row.push_back(f == QLatin1String("\\N") ? std::nullopt : std::optional<QString>(f));
        rows.push_back(row);
    }
    return rows;
}

inline QByteArray fileHash(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

// The names in `folder`, sorted.
inline QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}
