#pragma once

#include "platform/print/QtPagePrinter.h"

class MessageBox;

// The flyer as a PDF file, for a system without a printer.
//
// Its paper is JIS B4 (paperSize() is 12). endDocument() renders the one page
// (the chosen paper and orientation, no margins, fonts embedded as subsets),
// writes it as a new file into the folder given, named after the document
// name with characters unsafe in file names replaced ("名前.pdf", then
// "名前 (2).pdf", ... so no file is ever overwritten; a link with the name,
// even one to nowhere, counts as a file), and then shows the
// file's full path (information, titled "Zabrelo"). The folder is created when
// missing. On failure (a full disk is named as such) it throws PlatformError
// with a Japanese description and leaves no partial file behind.
class QtPdfPrinter : public QtPagePrinter
{
public:
    QtPdfPrinter(MessageBox& messages, const QString& folder);

    int paperSize() override { return kPaperJisB4; }

    // The full path of the file written by endDocument(); empty before.
    QString writtenPath() const { return m_writtenPath; }

    // `name` made fit for a file name: path separators, characters Windows
    // forbids, control characters (C0, DEL, C1) and bidirectional overrides
    // and isolates (U+202A..U+202E, U+2066..U+2069) become "_", spaces and dots at both ends
    // go, long names are cut; "チラシ" when nothing is left.
    static QString safeFileName(const QString& name);

protected:
    void printPage() override;

private:
    QString writeNewFile(QIODevice& pdf) const;

    MessageBox& m_messages;
    QString m_folder;
    QString m_writtenPath;
};
