#include "conversion/JetConversion.h"

#include "model/PropertyRecord.h"
#include "platform/DatabaseBuilder.h"
#include "platform/FileSystem.h"
#include "platform/JetReader.h"
#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Temporary files are named after the target and the converting process, so
// that one left by a killed conversion is recognised and removed later.
const QString kTemporaryMark = QStringLiteral(".converting-");

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool isWindowsPath(const QString& value)
{
    const bool driveLetter = value.size() >= 2 && value.at(1) == QLatin1Char(':') && value.at(0).isLetter()
        && value.at(0).unicode() < 0x80;
    return driveLetter || value.contains(QLatin1Char('\\'));
}

} // namespace

JetConversion::JetConversion(JetReader& reader, DatabaseBuilder& builder, FileSystem& files)
    : m_reader(reader)
    , m_builder(builder)
    , m_files(files)
{
}

bool JetConversion::isJetFile(const QString& path) const
{
    return m_reader.isJetFile(path);
}

JetConversion::Result JetConversion::convertTo(const QString& source, const QString& target)
{
    if (m_files.exists(target))
        throw PlatformError(QStringLiteral("%1 が既にあります。上書きはしません。").arg(native(target)));
    return convert(source, target, false);
}

JetConversion::Result JetConversion::convertInPlace(const QString& path)
{
    return convert(path, path, true);
}

JetConversion::Result JetConversion::convert(const QString& source, const QString& target, bool inPlace)
{
    if (!m_reader.isJetFile(source))
        throw PlatformError(
            QStringLiteral("%1 は Access（Jet）形式のデータベースファイルではありません。").arg(native(source)));
    removeStaleTemporaries(target);
    const QString temporary = target + kTemporaryMark + QString::number(m_files.processId());

    Result result;
    result.target = target;
    QStringList columns;
    for (const char* column : kPropertyColumns)
        columns << QString::fromLatin1(column);

    std::unique_ptr<NewDatabase> database;
    bool keptNow = false;
    try {
        std::unique_ptr<JetTable> table = m_reader.openTable(source, kPropertyTable);
        const QStringList present = table->columnNames();
        std::vector<int> positions;
        QStringList missing;
        for (const QString& column : columns) {
            int at = -1;
            for (int i = 0; i < present.size() && at < 0; ++i) {
                if (present.at(i).compare(column, Qt::CaseInsensitive) == 0)
                    at = i;
            }
            if (at < 0)
                missing << column;
            positions.push_back(at);
        }
        if (!missing.isEmpty())
            throw PlatformError(QStringLiteral("%1 の表 Fudousan に列 %2 がありません。")
                                    .arg(native(source), missing.join(QStringLiteral("、"))));
        for (const QString& name : present) {
            if (!columns.contains(name, Qt::CaseInsensitive))
                result.ignoredColumns << name;
        }

        database = m_builder.create(temporary, kPropertyTable, columns);
        for (const QString& column : columns)
            result.columns.push_back({ column });
        std::vector<std::optional<QString>> jetRow;
        DatabaseRow row(kColumnCount);
        while (table->nextRow(jetRow)) {
            for (int i = 0; i < kColumnCount; ++i) {
                // The reader writes the next row into the strings it gets back.
                std::swap(row[i], jetRow[positions[i]]);
                if (row[i])
                    ++result.columns[i].values;
            }
            if (row[kMadoriIndex] && isWindowsPath(*row[kMadoriIndex]))
                ++result.windowsMapPaths;
            database->append(row);
            ++result.rows;
        }
        const JetReadNotes notes = table->notes();
        result.declaredRows = notes.declaredRows;
        result.unreadableRows = notes.unreadableRows;
        for (int i = 0; i < kColumnCount; ++i) {
            result.columns[i].cutShort = notes.cutShort.at(positions[i]);
            result.columns[i].unreadable = notes.unreadable.at(positions[i]);
            result.columns[i].doubtfulDefinition = notes.doubtfulDefinition.at(positions[i]);
        }
        table.reset();
        database->commit();

        // The file is trusted only once every value reads back as the Jet
        // file, read once more, holds it. Reading it again costs less than
        // keeping every value in memory.
        table = m_reader.openTable(source, kPropertyTable);
        int compared = 0;
        QString mismatch;
        database->readBack([&](const DatabaseRow& stored) {
            if (!table->nextRow(jetRow)) {
                mismatch = QStringLiteral("%1 行のはずが、それより多い行").arg(result.rows);
                return false;
            }
            ++compared;
            for (int i = 0; i < kColumnCount; ++i) {
                if (stored[i] != jetRow[positions[i]]) {
                    mismatch = QStringLiteral("%1 行目の列 %2").arg(compared).arg(columns.at(i));
                    return false;
                }
            }
            return true;
        });
        if (mismatch.isEmpty() && (compared != result.rows || table->nextRow(jetRow)))
            mismatch = QStringLiteral("%1 行のうち %2 行").arg(result.rows).arg(compared);
        table.reset();
        if (!mismatch.isEmpty())
            throw PlatformError(
                QStringLiteral("新しいデータベースから読み戻した値が元と一致しません（%1）。").arg(mismatch));
        database->close();
        database.reset();

        if (inPlace) {
            bool reused = false;
            result.keptOriginal = keepOriginal(source, &reused);
            keptNow = !reused; // a name kept by an interrupted run stays
            m_files.move(temporary, target, true);
        } else {
            m_files.move(temporary, target, false);
        }
    } catch (...) {
        database.reset();
        m_builder.removeWithCompanions(temporary);
        try {
            // The original is still in place: the second name goes again.
            if (keptNow && m_files.sameFile(source, result.keptOriginal))
                m_files.remove(result.keptOriginal);
        } catch (const PlatformError&) {
        }
        throw;
    }
    return result;
}

QString JetConversion::keepOriginal(const QString& path, bool* reused)
{
    *reused = false;
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? path + QStringLiteral(".jet") : path + QStringLiteral(".%1.jet").arg(n);
        if (m_files.keepAs(path, candidate))
            return candidate;
        // A run killed after keeping the original left this name on it.
        if (m_files.sameFile(path, candidate)) {
            *reused = true;
            return candidate;
        }
    }
    throw PlatformError(QStringLiteral("元のファイルを残す名前が見つかりません（%1.jet などがすべて使われています）。")
                            .arg(native(path)));
}

void JetConversion::removeStaleTemporaries(const QString& target)
{
    const QFileInfo info(target);
    const QString prefix = info.fileName() + kTemporaryMark;
    for (const QString& file : m_files.list(info.absolutePath(), prefix)) {
        QString rest = QFileInfo(file).fileName().mid(prefix.size());
        rest = rest.section(QLatin1Char('-'), 0, 0); // drop -wal, -journal, -shm
        bool isNumber = false;
        const qint64 pid = rest.toLongLong(&isNumber);
        if (isNumber && !m_files.processRuns(pid))
            m_files.remove(file);
    }
}

JetConversion::Offer JetConversion::offerAtStartUp(const QString& path, MessageBox& messages)
{
    if (!m_files.exists(path) || !m_reader.isJetFile(path))
        return Offer::NotJet;
    const QString file = native(path);
    const bool yes = messages.ask(
        QStringLiteral("データベースファイル %1 は、Windows 版で使われていた Access（Jet）形式のファイルです。\n"
                       "このプログラムで使える形式に変換しますか？\n"
                       "元のファイルは変更せず、同じフォルダーに別の名前で残します。")
            .arg(file),
        kMessageTitle);
    if (!yes)
        return Offer::Declined;
    try {
        const Result result = convertInPlace(path);
        QString text = QStringLiteral("%1 件の物件を移しました。\n元のファイルは %2 として残してあります。")
                           .arg(result.rows)
                           .arg(native(result.keptOriginal));
        if (result.windowsMapPaths > 0)
            text += QStringLiteral(
                "\n地図のパス（Madori）のうち %1 件は Windows のパス（ドライブ名や \\ を含むもの）です。"
                "地図の画像をこのコンピューターにコピーし、物件を表示して地図を選び直すまで、"
                "その地図は見つかりません。")
                        .arg(result.windowsMapPaths);
        const QStringList warnings = result.warnings();
        if (!warnings.isEmpty())
            text += QStringLiteral("\n\nただし、元のファイルが壊れていて、正しく読めなかった可能性があります。"
                                   "変換した物件を確かめて下さい：\n・%1\n\n%2\n\n"
                                   "この変換を使わない場合は、プログラムを終了してから %3 を削除し、"
                                   "%4 の名前を %5 に戻して下さい（元のファイルは変更していません）。")
                        .arg(warnings.join(QStringLiteral("\n・")), result.valuesPerColumn(), file,
                            native(result.keptOriginal), QFileInfo(path).fileName());
        messages.show(text, MB_Information, kMessageTitle);
        return Offer::Converted;
    } catch (const PlatformError& error) {
        messages.show(QStringLiteral("データベースファイル %1 を変換できませんでした。\n%2\n"
                                     "元のファイルは変更していません。物件の登録・一覧・削除はできません。")
                          .arg(file, error.description()),
            MB_Critical, kMessageTitle);
    } catch (const std::exception& error) {
        messages.show(QStringLiteral("データベースファイル %1 を変換できませんでした。\n%2\n"
                                     "元のファイルは変更していません。物件の登録・一覧・削除はできません。")
                          .arg(file, QString::fromLocal8Bit(error.what())),
            MB_Critical, kMessageTitle);
    }
    return Offer::Failed;
}

QString JetConversion::summary(const QString& source, const Result& result)
{
    QString line
        = QStringLiteral("%1 件を変換しました: %2 -> %3").arg(result.rows).arg(native(source), native(result.target));
    if (!result.keptOriginal.isEmpty())
        line += QStringLiteral("（元のファイル: %1）").arg(native(result.keptOriginal));
    if (!result.ignoredColumns.isEmpty())
        line += QStringLiteral("（移さなかった列: %1）").arg(result.ignoredColumns.join(QStringLiteral("、")));
    if (result.windowsMapPaths > 0)
        line += QStringLiteral("（Windows のパスの地図: %1 件）").arg(result.windowsMapPaths);
    const QStringList warnings = result.warnings();
    if (!warnings.isEmpty())
        line += QStringLiteral("（要確認: %1 %2）").arg(warnings.join(QLatin1Char(' ')), result.valuesPerColumn());
    return line;
}

QStringList JetConversion::Result::warnings() const
{
    QStringList said;
    for (const ColumnReport& column : columns) {
        if (rows > 0 && column.values == 0)
            said << QStringLiteral("列 %1 は、元のファイルにある列ですが、%2 件のどの物件にも値がありません。")
                        .arg(column.name)
                        .arg(rows);
        if (column.doubtfulDefinition)
            said << QStringLiteral("列 %1 の定義が元のファイルでほかの列と重なっているため、"
                                   "値が別の列のものになっている可能性があります。")
                        .arg(column.name);
        if (column.cutShort > 0)
            said << QStringLiteral(
                "列 %1 の %2 件の値は、元のファイルで途中で切れていたため、切れた所までを移しました。")
                        .arg(column.name)
                        .arg(column.cutShort);
        if (column.unreadable > 0)
            said << QStringLiteral("列 %1 の %2 件の値は読めなかったため、空（NULL）として移しました。")
                        .arg(column.name)
                        .arg(column.unreadable);
    }
    if (unreadableRows > 0)
        said << QStringLiteral("元のファイルの %1 行は読めなかったため、移していません。").arg(unreadableRows);
    if (unsigned(rows) > declaredRows)
        said << QStringLiteral("元のファイルの表には %1 件とありますが、%2 件読めました。"
                               "多い分は壊れた所から読んだ可能性があります。")
                    .arg(declaredRows)
                    .arg(rows);
    return said;
}

QString JetConversion::Result::valuesPerColumn() const
{
    QStringList counts;
    for (const ColumnReport& column : columns)
        counts << QStringLiteral("%1 %2").arg(column.name).arg(column.values);
    return QStringLiteral("値のある物件の数（全 %1 件）: %2").arg(rows).arg(counts.join(QStringLiteral("、")));
}
