#pragma once

#include "platform/JetReader.h"

#include <QByteArray>
#include <QString>

#include <optional>

// JetReader on mdbtools' libmdb (LGPL). libmdb finds the pages, rows and
// fields; the text is decoded here from the raw bytes, since libmdb's own
// conversion turns characters outside the BMP into "??" (Jet 4) and needs
// the right code page (Jet 3), and its bound values cannot tell NULL from "".
class MdbJetReader : public JetReader
{
public:
    bool isJetFile(const QString& path) const override;
    std::unique_ptr<JetTable> openTable(const QString& path, const QString& table) override;
};

// A Jet 4 text value from its stored bytes: UTF-16LE, or the compressed form
// that starts with FF FE and switches between one-byte (U+0001..U+00FF) and
// two-byte runs at each 0x00. std::nullopt when the bytes are no such text.
std::optional<QString> decodeJet4Text(const char* bytes, qsizetype size);

// A Jet 3 text value from its stored bytes: Windows code page 932 (Shift JIS
// with the Windows characters such as ㎡ ① ㈱ 髙 﨑). std::nullopt when the
// bytes are no such text.
std::optional<QString> decodeJet3Text(const char* bytes, qsizetype size);
