#pragma once

#include "platform/PlatformError.h"
#include "platform/Printer.h"

#include <QList>
#include <QStringList>

// A Printer that records every operation as one line of text, for example
// "line 301 900 301 14000" or "text 売り土地", so a test can assert the whole
// sequence. Pictures are kept aside in `pictures`.
class RecordingPrinter : public Printer
{
public:
    int paperSize() override
    {
        record(QStringLiteral("paperSize"));
        return paper;
    }
    void setPaperSize(int code) override { record(QStringLiteral("setPaperSize %1").arg(code)); }
    void setOrientation(int code) override { record(QStringLiteral("setOrientation %1").arg(code)); }
    void setFontName(const QString& family) override { record(QStringLiteral("font ") + family); }
    void setFontSize(float points) override
    {
        record(QStringLiteral("size %1").arg(double(points)));
        fontPoints = points;
    }
    void setFontBold(bool bold) override { record(QStringLiteral("bold %1").arg(bold ? 1 : 0)); }
    void setCurrentPosition(float x, float y) override
    {
        record(QStringLiteral("at %1 %2").arg(double(x)).arg(double(y)));
    }
    void printText(const QString& text) override { record(QStringLiteral("text ") + text); }
    void drawLine(float x1, float y1, float x2, float y2) override
    {
        record(QStringLiteral("line %1 %2 %3 %4").arg(double(x1)).arg(double(y1)).arg(double(x2)).arg(double(y2)));
    }
    void drawBox(float x1, float y1, float x2, float y2) override
    {
        record(QStringLiteral("box %1 %2 %3 %4").arg(double(x1)).arg(double(y1)).arg(double(x2)).arg(double(y2)));
    }
    void setPenSetting(int value) override { record(QStringLiteral("pen %1").arg(value)); }
    void drawPicture(const QImage& picture, float x, float y, float width, float height) override
    {
        pictures.append(picture);
        record(
            QStringLiteral("picture %1 %2 %3 %4").arg(double(x)).arg(double(y)).arg(double(width)).arg(double(height)));
    }
    void endDocument() override { record(QStringLiteral("end")); }
    void newPage() override { record(QStringLiteral("newPage")); }
    QString paperNote() override { return note; }
    // Kept aside rather than recorded: it names the job and draws nothing.
    void setDocumentName(const QString& name) override { documentName = name; }
    // Not recorded either. A simple font: characters from U+1100 on are one
    // em wide, others half an em; the line box is 0.88 em above the baseline
    // and 0.12 em below; an em is the font size (twips: points x 20).
    TextExtent measureText(const QString& text) override
    {
        const double em = fontPoints * 20.0;
        double ems = 0;
        for (const char32_t c : text.toUcs4())
            ems += c >= 0x1100 ? 1.0 : 0.5;
        return TextExtent { ems * em, 0.88 * em, 0.12 * em };
    }

    int paper = kPaperJisB4; // what paperSize() answers
    QString note; // what paperNote() answers
    float fontPoints = 12; // the size measureText measures in
    int failAtOperation = -1; // throw PlatformError at this operation (0-based)
    QStringList ops;
    QList<QImage> pictures;
    QString documentName; // the last name given by setDocumentName

private:
    void record(const QString& op)
    {
        if (ops.size() == failAtOperation)
            throw PlatformError(QStringLiteral("プリンターが応答しません（テスト）。"));
        ops.append(op);
    }
};

// A PrinterSource that hands out RecordingPrinters and keeps them.
class RecordingPrinterSource : public PrinterSource
{
public:
    std::unique_ptr<Printer> openPrinter() override
    {
        if (refuse)
            throw PlatformError(QStringLiteral("プリンターがありません（テスト）。"));
        auto printer = std::make_unique<ForwardingPrinter>(*this);
        return printer;
    }

    int paper = Printer::kPaperJisB4;
    QString note; // what the printers' paperNote() answers
    bool refuse = false;
    QList<QStringList> documents; // the operations of every printer handed out, when it is released
    QStringList documentNames; // the name each of those printers was given last

private:
    // Records into a RecordingPrinter and files its operations on release.
    class ForwardingPrinter : public RecordingPrinter
    {
    public:
        explicit ForwardingPrinter(RecordingPrinterSource& source)
            : m_source(source)
        {
            paper = source.paper;
            note = source.note;
        }
        ~ForwardingPrinter() override
        {
            m_source.documents.append(ops);
            m_source.documentNames.append(documentName);
        }

    private:
        RecordingPrinterSource& m_source;
    };
};
