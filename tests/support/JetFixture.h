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

// Where fudousan-jet4-2000.mdb keeps what the damage tests spoil: the
// definition of table Fudousan (page 24: 29 column entries of 25 bytes from
// byte 63) and its first page of rows (page 26).
constexpr qint64 kJetPageSize = 4096;
constexpr qint64 kFudousanDefinition = 24 * kJetPageSize;
constexpr qint64 kFudousanRows = 26 * kJetPageSize;

// Copies fudousan-jet4-2000.mdb into `folder` as `as` with the byte at
// `offset` XORed with `mask`, as one damaged byte on a disk would leave it;
// returns its path.
inline QString damagedJetCopy(
    const QString& folder, qint64 offset, int mask, const QString& as = QStringLiteral("Fudousan.mdb"))
{
    const QString path = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), folder, as);
    QFile file(path);
    QByteArray bytes = file.open(QIODevice::ReadWrite) ? file.readAll() : QByteArray();
    // The pages must be where the offsets above expect them.
    const QByteArray definition = bytes.mid(kFudousanDefinition, 64);
    if (definition.size() < 64 || definition.at(0) != 2 || definition.at(45) != 29 || bytes.at(kFudousanRows) != 1)
        qFatal("fudousan-jet4-2000.mdb is not laid out as the damage tests expect");
    bytes[offset] = char(bytes.at(offset) ^ mask);
    if (!file.seek(0) || file.write(bytes) != bytes.size())
        qFatal("cannot damage %s", qPrintable(path));
    return path;
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
