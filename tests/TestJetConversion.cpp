// Converting the Windows program's Access (Jet) Fudousan.mdb: exactness
// against expected.tsv, refusals that leave the original alone, the
// command-line tool, and kills of the tool at random moments.
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/FaultSupport.h"
#include "tests/support/JetFixture.h"
#include "tests/support/TestDatabase.h"

#include "conversion/JetConversion.h"
#include "model/PropertyRecord.h"
#include "platform/PlatformError.h"
#include "platform/desktop/PosixFileSystem.h"
#include "platform/jet/MdbJetReader.h"
#include "platform/sqlite/SqliteDatabaseBuilder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Conversion
{
    MdbJetReader reader;
    SqliteDatabaseBuilder builder;
    PosixFileSystem files;
    JetConversion conversion { reader, builder, files };
};

QString toolPath()
{
    return QStringLiteral(FUDOUSAN_BIN_DIR "/fudousan_convert_jet");
}

// The prepared database, which hands the read-back one changed value or one
// row fewer: as a disk or an engine that lost or garbled what it was given.
class SpoilingBuilder : public DatabaseBuilder
{
public:
    enum class Fault { ChangedValue, NullValue, RowMissing };
    explicit SpoilingBuilder(Fault fault)
        : m_fault(fault)
    {
    }

    std::unique_ptr<NewDatabase> create(const QString& path, const QString& table, const QStringList& columns) override
    {
        return std::make_unique<Spoiled>(m_real.create(path, table, columns), m_fault);
    }
    void removeWithCompanions(const QString& path) override { m_real.removeWithCompanions(path); }

private:
    class Spoiled : public NewDatabase
    {
    public:
        Spoiled(std::unique_ptr<NewDatabase> real, Fault fault)
            : m_real(std::move(real))
            , m_fault(fault)
        {
        }
        void append(const DatabaseRow& values) override { m_real->append(values); }
        void commit() override { m_real->commit(); }
        void close() override { m_real->close(); }
        void readBack(const std::function<bool(const DatabaseRow&)>& visit) override
        {
            int row = 0;
            m_real->readBack([&](const DatabaseRow& stored) {
                if (++row != 7)
                    return visit(stored);
                DatabaseRow spoiled = stored;
                switch (m_fault) {
                case Fault::ChangedValue:
                    spoiled[kKakakuIndex] = spoiled[kKakakuIndex].value_or(QString()) + QStringLiteral("0");
                    return visit(spoiled);
                case Fault::NullValue:
                    spoiled[kSyozaiIndex] = std::nullopt;
                    return visit(spoiled);
                case Fault::RowMissing:
                    return true;
                }
                return true;
            });
        }

    private:
        std::unique_ptr<NewDatabase> m_real;
        Fault m_fault;
    };

    SqliteDatabaseBuilder m_real;
    Fault m_fault;
};

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& arguments, const QStringList& prefix = {})
{
    QProcess tool;
    QStringList command = prefix;
    command << toolPath() << arguments;
    tool.start(command.takeFirst(), command);
    tool.waitForFinished(60000);
    return { tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
        QString::fromUtf8(tool.readAllStandardOutput()), QString::fromUtf8(tool.readAllStandardError()) };
}

} // namespace

class TestJetConversion : public QObject
{
    Q_OBJECT

private slots:
    // Every value of the 12 rows, NULL and "" apart, in the Jet table's order.
    void everyValueArrivesExactly()
    {
        QTemporaryDir source;
        const QString jet
            = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), source.path(), QStringLiteral("old.mdb"));
        const QByteArray hash = fileHash(jet);
        TestDatabase target(false);
        Conversion c;
        const JetConversion::Result result = c.conversion.convertTo(jet, target.path());

        QStringList header;
        const JetRows expected = expectedJetRows(&header);
        for (int i = 0; i < kColumnCount; ++i)
            QCOMPARE(header.at(i), propertyColumn(i));
        const auto rows = target.rows();
        QCOMPARE(rows.size(), expected.size());
        for (size_t r = 0; r < rows.size(); ++r) {
            for (int i = 0; i < kColumnCount; ++i)
                QVERIFY2(rows[r][i] == expected[r][i],
                    qPrintable(QStringLiteral("row %1 %2: %3")
                                   .arg(r + 1)
                                   .arg(propertyColumn(i), rows[r][i].value_or("NULL"))));
        }
        QCOMPARE(result.rows, 12);
        QCOMPARE(result.windowsMapPaths, 10); // rows 7 (NULL) and 8 ("") have none
        QVERIFY(result.ignoredColumns.isEmpty());
        QVERIFY2(result.warnings().isEmpty(), qPrintable(result.warnings().join(QLatin1Char(' '))));
        QCOMPARE(fileHash(jet), hash);
        QCOMPARE(folderEntries(target.folder()), QStringList { QStringLiteral("Fudousan.mdb") });
        QCOMPARE(pragmaOnFile(target.path(), QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    // A row Access deleted stays on its page, flagged in the page's table of
    // row offsets, and the table's row count goes down: it is not brought
    // over. (The fixture has no deleted row; one is made here as Access
    // marks it, in a Jet 4 file of 4,096-byte pages.)
    void aDeletedRowIsNotConverted()
    {
        QTemporaryDir source;
        const QString jet
            = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), source.path(), QStringLiteral("old.mdb"));
        QByteArray bytes = fileBytes(jet);
        constexpr int kPage = 4096;
        const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
        const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
        // The first data page (type 1) of the table whose definition page
        // (type 2, named at 4) counts 12 rows (at 16); its rows are counted at
        // 12 and their offsets follow at 14.
        qsizetype data = -1;
        qsizetype definition = -1;
        for (qsizetype page = kPage; page + kPage <= bytes.size() && data < 0; page += kPage) {
            const qsizetype tdef = qsizetype(u32(page + 4)) * kPage;
            if (bytes.at(page) == 1 && tdef > 0 && tdef + kPage <= bytes.size() && bytes.at(tdef) == 2
                && u32(tdef + 16) == 12) {
                data = page;
                definition = tdef;
            }
        }
        QVERIFY(data > 0);
        QVERIFY(u16(data + 12) > 5);
        constexpr int kDeleted = 4; // the fifth row
        qToLittleEndian<quint16>(
            quint16(u16(data + 14 + 2 * kDeleted) | 0x4000), bytes.data() + data + 14 + 2 * kDeleted);
        qToLittleEndian<quint32>(11u, bytes.data() + definition + 16);
        QFile file(jet);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();

        TestDatabase target(false);
        Conversion c;
        QCOMPARE(c.conversion.convertTo(jet, target.path()).rows, 11);
        JetRows expected = expectedJetRows();
        expected.erase(expected.begin() + kDeleted);
        QVERIFY(target.rows() == expected);
    }

    // The start-up's way: the new database takes the name, the original is
    // kept byte for byte under the next free name.
    void inPlaceKeepsTheOriginalUnderAFreeName()
    {
        TestDatabase db(false);
        const QString jet = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), db.folder());
        const QByteArray hash = fileHash(jet);
        QFile taken(jet + QStringLiteral(".jet"));
        QVERIFY(taken.open(QIODevice::WriteOnly) && taken.write("someone else's") > 0);
        taken.close();

        Conversion c;
        const JetConversion::Result result = c.conversion.convertInPlace(jet);
        QCOMPARE(result.keptOriginal, jet + QStringLiteral(".2.jet"));
        QCOMPARE(fileHash(result.keptOriginal), hash);
        QCOMPARE(fileBytes(jet + QStringLiteral(".jet")), QByteArray("someone else's"));
        QCOMPARE(db.rowCount(), 12);
        QCOMPARE(folderEntries(db.folder()),
            (QStringList { QStringLiteral("Fudousan.mdb"), QStringLiteral("Fudousan.mdb.2.jet"),
                QStringLiteral("Fudousan.mdb.jet") }));
    }

    void refusalsLeaveTheOriginalAndNoFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("cutAt"); // 0: whole file; below 0: the byte at -cutAt damaged instead
        QTest::addColumn<QStringList>("reason");
        QTest::newRow("other table only") << QStringLiteral("other-table-jet4.mdb") << qint64(0)
                                          << QStringList { QStringLiteral("Fudousan"), QStringLiteral("Customers") };
        QTest::newRow("column missing") << QStringLiteral("fudousan-missing-column-jet4.mdb") << qint64(0)
                                        << QStringList { QStringLiteral("列 Madori") };
        QTest::newRow("Jet 3, no Fudousan") << QStringLiteral("jet3-sample-testV1997.mdb") << qint64(0)
                                            << QStringList { QStringLiteral("Fudousan"), QStringLiteral("Table1") };
        QTest::newRow("Jet 3, other table") << QStringLiteral("jet3-sample-delTestV1997.mdb") << qint64(0)
                                            << QStringList { QStringLiteral("Fudousan"), QStringLiteral("Table") };
        QTest::newRow("cut in a page") << QStringLiteral("fudousan-jet4-2000.mdb") << qint64(50000)
                                       << QStringList { QStringLiteral("途中で切れて") };
        QTest::newRow("cut before the catalog")
            << QStringLiteral("fudousan-jet4-2000.mdb") << qint64(8192) << QStringList { QStringLiteral("壊れて") };
        QTest::newRow("cut before the table") << QStringLiteral("fudousan-jet4-2000.mdb") << qint64(32768)
                                              << QStringList { QStringLiteral("途中で切れて") };
        QTest::newRow("cut in the rows") << QStringLiteral("fudousan-jet4-2000.mdb") << qint64(102400)
                                         << QStringList { QStringLiteral("途中で切れて"), QStringLiteral("12 行") };
        // libmdb reads the first byte of a table's usage map unchecked.
        QTest::newRow("the table's page map lost")
            << QStringLiteral("fudousan-jet4-2000.mdb") << -(kFudousanDefinition + 55)
            << QStringList { QStringLiteral("表 Fudousan の定義を読めませんでした") };
    }

    void refusalsLeaveTheOriginalAndNoFile()
    {
        QFETCH(QString, file);
        QFETCH(qint64, cutAt);
        QFETCH(QStringList, reason);
        TestDatabase db(false);
        const QString jet = cutAt < 0 ? damagedJetCopy(db.folder(), -cutAt, 0xff) : copyJetFile(file, db.folder());
        if (cutAt > 0)
            QVERIFY(QFile(jet).resize(cutAt));
        const QByteArray hash = fileHash(jet);

        for (bool inPlace : { true, false }) {
            Conversion c;
            QString message;
            try {
                if (inPlace)
                    c.conversion.convertInPlace(jet);
                else
                    c.conversion.convertTo(jet, db.folder() + QStringLiteral("/new.mdb"));
            } catch (const PlatformError& error) {
                message = error.description();
            }
            QVERIFY2(!message.isEmpty(), "the conversion was not refused");
            for (const QString& part : reason)
                QVERIFY2(message.contains(part), qPrintable(message));
            QVERIFY2(message.contains(jet), qPrintable(message));
            QCOMPARE(fileHash(jet), hash);
            QCOMPARE(folderEntries(db.folder()), QStringList { QStringLiteral("Fudousan.mdb") });
        }
    }

    // The new file is trusted only when it reads back as the Jet file holds
    // it: a value changed or lost on the way, or a row missing, refuses the
    // conversion and leaves the original as it was, with no file beside it.
    void aReadBackThatDiffersRefusesTheConversion_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a changed price") << int(SpoilingBuilder::Fault::ChangedValue)
                                         << QStringLiteral("7 行目の列 Kakaku");
        QTest::newRow("a location become NULL")
            << int(SpoilingBuilder::Fault::NullValue) << QStringLiteral("7 行目の列 Syozai");
        QTest::newRow("a row missing") << int(SpoilingBuilder::Fault::RowMissing) << QStringLiteral("一致しません");
    }

    void aReadBackThatDiffersRefusesTheConversion()
    {
        QFETCH(int, fault);
        QFETCH(QString, reason);
        TestDatabase db(false);
        const QString jet = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), db.folder());
        const QByteArray hash = fileHash(jet);
        MdbJetReader reader;
        SpoilingBuilder builder { SpoilingBuilder::Fault(fault) };
        PosixFileSystem files;
        JetConversion conversion { reader, builder, files };
        QString message;
        try {
            conversion.convertInPlace(jet);
        } catch (const PlatformError& error) {
            message = error.description();
        }
        QVERIFY2(message.contains(reason), qPrintable(message));
        QCOMPARE(fileHash(jet), hash);
        QCOMPARE(folderEntries(db.folder()), QStringList { QStringLiteral("Fudousan.mdb") });
    }

    // One damaged byte reads as other values and the read-back agrees (Jet
    // keeps no checksums): what the file gives reason to doubt is said, in
    // the result and on the tool's one line, which ends with exit status 3.
    void damageIsSaidNotPassedOver_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QStringList>("said");
        // Column entries are 25 bytes from byte 63 of the definition; Syozai
        // is the second. Within one: +0 the type, +5 the column's number,
        // +7 its place among the variable-length values.
        QTest::newRow("a column's place")
            << (kFudousanDefinition + 63 + 25 + 8) << 0xff
            << QStringList { QStringLiteral(
                   "列 Syozai は、元のファイルにある列ですが、12 件のどの物件にも値がありません。") };
        QTest::newRow("a column's type") << (kFudousanDefinition + 63) << 0xff
                                         << QStringList { QStringLiteral("列 Kakaku の 12 件の値は読めなかったため") };
        QTest::newRow("a column's number")
            << (kFudousanDefinition + 63 + 5) << 0x01
            << QStringList { QStringLiteral("列 Kakaku の定義が元のファイルでほかの列と重なっている") };
        QTest::newRow("a page's row count") << (kFudousanRows + 12) << 0xff
                                            << QStringList { QStringLiteral("12 件とありますが、34 件読めました"),
                                                   QStringLiteral("212 行は読めなかったため、移していません。") };
        QTest::newRow("a value's length")
            << (kFudousanRows + 450) << 0xff
            << QStringList { QStringLiteral("列 Yousekiritu の 1 件の値は、元のファイルで途中で切れていた") };
        QTest::newRow("a value's place") << (kFudousanRows
            + 422) << 0xff << QStringList { QStringLiteral("列 Name_Text の 1 件の値は読めなかったため") };
    }

    void damageIsSaidNotPassedOver()
    {
        QFETCH(qint64, offset);
        QFETCH(int, mask);
        QFETCH(QStringList, said);
        QTemporaryDir folder;
        const QString jet = damagedJetCopy(folder.path(), offset, mask, QStringLiteral("old.mdb"));
        const QByteArray hash = fileHash(jet);

        Conversion c;
        const JetConversion::Result result = c.conversion.convertTo(jet, folder.filePath(QStringLiteral("new.mdb")));
        const QString warnings = result.warnings().join(QLatin1Char(' '));
        for (const QString& part : said)
            QVERIFY2(warnings.contains(part), qPrintable(warnings));

        const ToolRun tool = runTool({ jet, folder.filePath(QStringLiteral("tool.mdb")) });
        QCOMPARE(tool.exitCode, 3);
        QCOMPARE(tool.out.count(QLatin1Char('\n')), 1);
        for (const QString& part : said + QStringList { QStringLiteral("値のある物件の数") })
            QVERIFY2(tool.out.contains(part), qPrintable(tool.out));
        QCOMPARE(fileHash(jet), hash);
    }

    // At start-up the completion message says what came over per column and
    // how to go back to the original, which is kept as always.
    void theStartUpMessageSaysWhatCameOverAndHowToGoBack()
    {
        TestDatabase db(false);
        const QString jet = damagedJetCopy(db.folder(), kFudousanDefinition + 63 + 25 + 8, 0xff); // Syozai's place
        const QByteArray hash = fileHash(jet);
        Conversion c;
        RecordingMessageBox messages;
        messages.answerYes = true;
        QCOMPARE(c.conversion.offerAtStartUp(jet, messages), JetConversion::Offer::Converted);

        QCOMPARE(messages.shown.size(), 2); // the question, then the completion
        const QString done = messages.shown.last().text;
        QVERIFY2(done.startsWith(QStringLiteral("12 件の物件を移しました。")), qPrintable(done));
        for (const QString& part : { QStringLiteral("列 Syozai は、元のファイルにある列ですが"),
                 QStringLiteral("Kakaku 12、Syozai 0、"), jet + QStringLiteral(".jet") })
            QVERIFY2(done.contains(part), qPrintable(done));
        QCOMPARE(fileHash(jet + QStringLiteral(".jet")), hash);
        QCOMPARE(db.rowCount(), 12);
    }

    // The new file holds each text as its UTF-8, and reads back as it was:
    // one to three bytes a character, a leading byte-order mark, characters
    // beyond U+FFFF; a lone surrogate, which has no UTF-8, does not read
    // back the same, so that the conversion refuses it.
    void theNewFileHoldsEachTextAsItsUtf8()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("new.mdb"));
        const QStringList texts { QString(), QStringLiteral("Kakaku 3,480"), QStringLiteral("¥ é ß ©"),
            QStringLiteral("東京都世田谷区桜丘１丁目"), QStringLiteral("\uFEFF先頭に印"),
            QStringLiteral("\uFFFD\uFFFF\u0800\u07FF"), QStringLiteral("駐車場\U0001F697あり"),
            QStringLiteral("ｶﾅ\u00A0\u200Bと\u3000") };
        QStringList columns;
        for (const char* column : kPropertyColumns)
            columns << QString::fromLatin1(column);
        SqliteDatabaseBuilder builder;
        const std::unique_ptr<NewDatabase> database = builder.create(path, kPropertyTable, columns);
        DatabaseRow row(kColumnCount);
        for (const QString& text : texts) {
            row[kSyozaiIndex] = text;
            database->append(row);
        }
        const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b");
        row[kSyozaiIndex] = lone;
        database->append(row);
        database->commit();
        QStringList readBack;
        database->readBack([&](const DatabaseRow& stored) {
            readBack << stored[kSyozaiIndex].value_or(QStringLiteral("<NULL>"));
            return true;
        });
        database->close();
        QCOMPARE(readBack.mid(0, texts.size()), texts);
        QVERIFY(readBack.last() != lone);
        QStringList hex;
        for (const QString& text : texts)
            hex << QString::fromLatin1(text.toUtf8().toHex().toUpper());
        QCOMPARE(pragmaOnFile(
                     path, QStringLiteral("SELECT hex(Syozai) FROM Fudousan ORDER BY rowid LIMIT %1").arg(texts.size()))
                     .split(QLatin1Char('\n')),
            hex);
    }

    // The characters a Japanese Windows writes in code page 932 that glibc's
    // SHIFT-JIS cannot decode, and Jet 4's compressed form with its switches.
    void textDecoding()
    {
        // 髙 and 﨑 both as IBM (FB FC, FA B1) and NEC-selected (EE E0, ED 95) codes.
        const QByteArray cp932(
            "\x87\x75\x87\x40\x87\x8a\xfb\xfc\xfa\xb1\xee\xe0\xed\x95\x87\x56\x87\x7e\x81\x60\x81\x7c"
            "\xb6\xb0\xce\xdf\xb0\xc4\x93\x8c\x8b\x9e",
            32);
        QCOMPARE(decodeJet3Text(cp932.constData(), cp932.size()),
            std::optional<QString>(QStringLiteral("㎡①㈱髙﨑髙﨑Ⅲ㍻～－ｶｰﾎﾟｰﾄ東京")));
        QCOMPARE(decodeJet3Text("\x82", 1), std::nullopt); // a lead byte alone

        // "JR総武線": compressed "JR", switch, two-byte 総武線.
        const QByteArray mixed("\xff\xfe"
                               "JR"
                               "\x00"
                               "\xcf\x7d\x66\x6b\xda\x7d",
            11);
        QCOMPARE(decodeJet4Text(mixed.constData(), mixed.size()), std::optional<QString>(QStringLiteral("JR総武線")));
        const QByteArray back("\xff\xfe"
                              "\x00"
                              "\xcf\x7d"
                              "\x00"
                              "1F",
            8);
        QCOMPARE(decodeJet4Text(back.constData(), back.size()), std::optional<QString>(QStringLiteral("総1F")));
        const QByteArray pair("\x42\xd8\xb7\xdf", 4);
        QCOMPARE(decodeJet4Text(pair.constData(), pair.size()), std::optional<QString>(QStringLiteral("𠮷")));
        QCOMPARE(decodeJet4Text("\x41\x00\x42", 3), std::nullopt);
        QCOMPARE(decodeJet4Text("\xff\xfe\x00\x41", 4), std::nullopt); // half a character
        QCOMPARE(decodeJet4Text("\x42\xd8\x41\x00", 4), std::nullopt); // half a surrogate pair
    }

    void toolConvertsAndRefusesAnExistingTarget()
    {
        QTemporaryDir folder;
        const QString jet
            = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), folder.path(), QStringLiteral("old.mdb"));
        const QString target = folder.filePath(QStringLiteral("new.mdb"));
        const ToolRun first = runTool({ jet, target });
        QCOMPARE(first.exitCode, 0);
        QCOMPARE(first.out.count(QLatin1Char('\n')), 1);
        QVERIFY2(first.out.contains(QStringLiteral("12 件")), qPrintable(first.out));

        const QByteArray converted = fileHash(target);
        const ToolRun again = runTool({ jet, target });
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.err.contains(QStringLiteral("既にあります")), qPrintable(again.err));
        QCOMPARE(fileHash(target), converted);

        const ToolRun refused
            = runTool({ copyJetFile(QStringLiteral("other-table-jet4.mdb"), folder.path(), QStringLiteral("o.mdb")),
                folder.filePath(QStringLiteral("o2.mdb")) });
        QCOMPARE(refused.exitCode, 1);
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("o2.mdb"))));
    }

    // A folder the user may not write: the tool runs as user nobody, since
    // permission bits do not bind root. Also a file-size limit stands in
    // for a full disk in the middle of writing.
    void closedFolderAndFullDisk()
    {
        QTemporaryDir programs;
        QStringList asUser;
        QString tool = toolPath();
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv: cannot run the tool as an unprivileged user");
            tool = QDir(programs.path()).filePath(QStringLiteral("fudousan_convert_jet"));
            QVERIFY(QFile::copy(toolPath(), tool));
            ::chmod(QFile::encodeName(programs.path()).constData(), 0755);
            asUser << setpriv << QStringLiteral("--reuid=65534") << QStringLiteral("--regid=65534")
                   << QStringLiteral("--clear-groups");
        }
        TestDatabase db(false);
        const QString jet = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), db.folder());
        const QByteArray hash = fileHash(jet);
        ::chmod(QFile::encodeName(db.folder()).constData(), 0555);
        QProcess run;
        QStringList command = asUser;
        command << tool << jet;
        run.start(command.takeFirst(), command);
        QVERIFY(run.waitForFinished(60000));
        ::chmod(QFile::encodeName(db.folder()).constData(), 0700);
        const QString said = QString::fromUtf8(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(said.contains(QStringLiteral("フォルダー")) && said.contains(db.folder()), qPrintable(said));
        QCOMPARE(fileHash(jet), hash);
        QCOMPARE(folderEntries(db.folder()), QStringList { QStringLiteral("Fudousan.mdb") });

        // 16 KB may be written per file: the new database (20 KB) outgrows it.
        QProcess limited;
        limited.start(QStringLiteral("bash"),
            { QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$1\""), toolPath(),
                jet });
        QVERIFY(limited.waitForFinished(60000));
        QCOMPARE(limited.exitCode(), 1);
        QVERIFY(!QString::fromUtf8(limited.readAllStandardError()).isEmpty());
        QCOMPARE(fileHash(jet), hash);
        QCOMPARE(folderEntries(db.folder()), QStringList { QStringLiteral("Fudousan.mdb") });
    }

    // The tool is killed at random moments of an in-place conversion (and of
    // conversions to a new name): afterwards Fudousan.mdb is either the Jet
    // file as it was or the whole new database beside the kept original.
    void killedAtRandomMomentsLeavesOneOrTheOther()
    {
        TestDatabase db(false);
        const QString jet = copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), db.folder());
        const QByteArray hash = fileHash(jet);
        const JetRows expected = expectedJetRows();

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runTool({ jet, db.folder() + QStringLiteral("/timing.mdb") }).exitCode, 0);
        const qint64 runMs = qMax<qint64>(clock.elapsed(), 20);
        QFile::remove(db.folder() + QStringLiteral("/timing.mdb"));

        QRandomGenerator moments = killMoments("TestJetConversion");
        int converted = 0;
        for (int kill = 0; kill < 20; ++kill) {
            const bool inPlace = kill % 4 != 3;
            const QString target = inPlace ? jet : db.folder() + QStringLiteral("/new.mdb");
            QProcess tool;
            tool.start(toolPath(), inPlace ? QStringList { jet } : QStringList { jet, target });
            QVERIFY(tool.waitForStarted());
            // Most of a run is the start of the process; the later half of
            // it holds the writing, the checks and the moves.
            QThread::usleep(quint32(runMs * 400) + moments.bounded(quint32(runMs * 800)));
            ::kill(pid_t(tool.processId()), SIGKILL);
            tool.waitForFinished();

            if (fileHash(jet) == hash && (inPlace || !QFile::exists(target))) {
                // Not yet converted: any kept name holds the original.
                for (const QString& name : folderEntries(db.folder())) {
                    if (name.endsWith(QLatin1String(".jet")))
                        QCOMPARE(fileHash(db.folder() + QLatin1Char('/') + name), hash);
                }
                continue;
            }
            ++converted;
            QCOMPARE(pragmaOnFile(target, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
            TestDatabase check(false);
            QVERIFY(QFile::copy(target, check.path()));
            QCOMPARE(check.rows(), expected);
            QCOMPARE(fileHash(inPlace ? jet + QStringLiteral(".jet") : jet), hash);
            // Back to the Jet file for the next kill.
            for (const QString& name : folderEntries(db.folder()))
                QFile::remove(db.folder() + QLatin1Char('/') + name);
            copyJetFile(QStringLiteral("fudousan-jet4-2000.mdb"), db.folder());
        }
        qInfo("%d of 20 kills came after the move into place", converted);

        // What a killed run left is tidied by the next one.
        QCOMPARE(runTool({ jet, db.folder() + QStringLiteral("/new.mdb") }).exitCode, 0);
        QFile::remove(db.folder() + QStringLiteral("/new.mdb"));
        QCOMPARE(runTool({ jet }).exitCode, 0);
        QCOMPARE(folderEntries(db.folder()),
            (QStringList { QStringLiteral("Fudousan.mdb"), QStringLiteral("Fudousan.mdb.jet") }));
        QCOMPARE(fileHash(jet + QStringLiteral(".jet")), hash);
        QCOMPARE(db.rows(), expected);
    }
};

QTEST_GUILESS_MAIN(TestJetConversion)
#include "TestJetConversion.moc"
