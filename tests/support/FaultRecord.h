#pragma once

#include "model/PropertyRecord.h"
#include "tests/support/FlyerSample.h"

#include <QRegularExpression>

// The properties that the fault tests write and check: property number `seq`
// has 29 values derived from `seq` alone, so a checker can tell every stored
// row's intended values from its location. The remarks are long enough to
// spill over several database pages, so that a torn write would show.

// Lines per 削除, and deleted properties per restore, in the kill loops.
constexpr int kFaultDeletedAtOnce = 3;
constexpr int kFaultRestoredAtOnce = 2;

inline QString faultKey(int seq)
{
    return QStringLiteral("東京都港区'芝' \"%1\" 番地").arg(seq);
}

// The number of the property whose location is `key`, or -1.
inline int faultSequence(const QString& key)
{
    static const QRegularExpression pattern(QStringLiteral("^東京都港区'芝' \"(\\d+)\" 番地$"));
    const QRegularExpressionMatch match = pattern.match(key);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline PropertyRecord faultRecord(int seq)
{
    PropertyRecord record;
    for (int i = 0; i < kColumnCount; ++i) {
        const int filler = (seq * 37 + i * 11) % 23;
        record[i] = QStringLiteral("%1|%2|").arg(QLatin1String(kPropertyColumns[i])).arg(seq)
            + QStringLiteral("土地").repeated(filler);
    }
    record[kSyozaiIndex] = faultKey(seq);
    // Every fourth property has remarks of several kilobytes.
    record[23] += QStringLiteral("備考%1、").arg(seq).repeated(seq % 4 == 0 ? 100 + (seq % 7) * 100 : 10);
    return record;
}
