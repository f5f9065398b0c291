#pragma once

#include "model/EntryView.h"
#include "model/PropertyRecord.h"

#include <QImage>
#include <QString>

#include <array>

// An entry-screen state held in memory, for saving and drawing properties
// outside the entry screen (the flyer tool, the benchmarks, tests).
class SampleEntryView : public EntryEditor
{
public:
    SampleEntryView() = default;

    // The 28 box texts of `record`; no picture.
    explicit SampleEntryView(const PropertyRecord& record)
    {
        for (int i = 0; i < kBoxCount; ++i)
            m_texts.at(i) = record[i];
    }

    // Every box holding `text`.
    void fillAll(const QString& text) { m_texts.fill(text); }

    QString boxText(int index) const override { return m_texts.at(index); }
    QImage picture() const override { return m_picture; }
    void setBoxText(int index, const QString& text) override { m_texts.at(index) = text; }
    void setPicture(const QImage& picture) override { m_picture = picture; }

    // Typical particulars of a plot of land, as an agent types them: price,
    // areas and tsubo without their unit signs, the rest in full.
    void fillWithSample()
    {
        static const char16_t* const texts[kBoxCount] = {
            u"2980万",
            u"東京都世田谷区桜丘三丁目12番5",
            u"小田急線 千歳船橋駅 徒歩8分",
            u"150.25",
            u"45.45",
            u"",
            u"",
            u"宅地",
            u"宅地",
            u"",
            u"",
            u"第一種低層住居専用地域",
            u"50%",
            u"100%",
            u"公道",
            u"南東",
            u"4.5m",
            u"12.3m",
            u"公営水道",
            u"東京電力",
            u"公共下水",
            u"都市ガス",
            u"相談",
            u"建築条件なし",
            u"仲介",
            u"規定による",
            u"No.2024-017",
            u"日当たり良好・閑静な住宅街",
        };
        for (int i = 0; i < kBoxCount; ++i)
            m_texts.at(i) = QString::fromUtf16(texts[i]);
    }

private:
    std::array<QString, kBoxCount> m_texts;
    QImage m_picture;
};
