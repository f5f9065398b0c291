#pragma once

#include <QString>
#include <QStringList>

#include <array>

// A property offered for sale is 29 texts. The first 28 are typed into the
// entry screen's boxes Tbox(0)..Tbox(27); the 29th, Madori, is the path of the
// property's map picture. Each stored property is one row of table Fudousan,
// whose columns are always addressed by these names, never by position.
//
// This table is the one place that pairs boxes with columns: saving, loading
// and the flyer all read it.

constexpr int kBoxCount = 28; // Tbox(0)..Tbox(27)
constexpr int kColumnCount = 29; // the boxes' columns, then Madori

constexpr int kKakakuIndex = 0; // price
constexpr int kSyozaiIndex = 1; // location: the key of a property
constexpr int kNoFudousanIndex = 26; // number
constexpr int kNameTextIndex = 27; // the free line in large type
constexpr int kMadoriIndex = 28; // map picture path; no box

inline const QString kPropertyTable = QStringLiteral("Fudousan");

// Column names, index i being Tbox(i) for i < 28 and Madori last.
inline constexpr std::array<const char*, kColumnCount> kPropertyColumns = {
    "Kakaku", //  0 price
    "Syozai", //  1 location
    "Koutu", //  2 access
    "Toti_Meitoru", //  3 land area, square metres
    "Toti_Tubo", //  4 land area, tsubo
    "Tatemono_Meitoru", //  5 building area, square metres
    "Tatemono_Tubo", //  6 building area, tsubo
    "Timoku_Touki", //  7 land category as registered
    "Timoku_Genkyou", //  8 land category, present state
    "Tatemono_Kouzou", //  9 building structure
    "Tatemono_Kouhou", // 10 construction method
    "Tosikeikaku_Youto", // 11 use district
    "Kenpeiritu", // 12 building coverage ratio
    "Yousekiritu", // 13 floor-area ratio
    "Douro_Syurui", // 14 road type
    "Douro_Houi", // 15 road direction
    "Douro_Habain", // 16 road width
    "Douro_Maguti", // 17 frontage
    "Setubi_Suidou", // 18 water supply
    "Setubi_Denki", // 19 electricity
    "Setubi_Haisui", // 20 drainage
    "Setubi_Gasu", // 21 gas
    "Hikiwatasi", // 22 hand-over time
    "Setubi", // 23 remarks (despite the name)
    "Keitai", // 24 type of transaction
    "Tyuukai", // 25 brokerage fee
    "No_Fudousan", // 26 number
    "Name_Text", // 27 free line in large type
    "Madori", // 28 map picture path
};

// The column name of index `index` (0..28).
inline QString propertyColumn(int index)
{
    return QString::fromLatin1(kPropertyColumns.at(index));
}

// The 29 column names, in the order of kPropertyColumns.
inline QStringList propertyColumnNames()
{
    QStringList names;
    for (const char* column : kPropertyColumns)
        names << QString::fromLatin1(column);
    return names;
}

// Deleted properties are kept, so that a deletion can be undone, in table
// Fudousan_Sakuzyo of the same database: column Sakuzyo_Nitizi, the moment
// of the deletion (UTC, ISO 8601 with milliseconds, "2026-04-01T00:00:00.000Z":
// text order is time order), then the 29 columns of the row as it was.
inline const QString kDeletedTable = QStringLiteral("Fudousan_Sakuzyo");
inline const QString kDeletedAtColumn = QStringLiteral("Sakuzyo_Nitizi");

// The 29 values of one property, in the order of kPropertyColumns.
struct PropertyRecord
{
    std::array<QString, kColumnCount> values;

    QString& operator[](int index) { return values.at(index); }
    const QString& operator[](int index) const { return values.at(index); }
    bool operator==(const PropertyRecord& other) const { return values == other.values; }
};
