#pragma once

#include <QPageSize>
#include <QSizeF>

// Paper sizes as Windows paper-size codes (DMPAPER_*), the unit in which the
// flyer reads and sets paper: Letter 1, Legal 5, A3 8, A4 9, A5 11, JIS B4 12
// (257 x 364 mm), JIS B5 13, ISO B4 42 (250 x 353 mm), A6 70, ...

// The code of `size`, or 0 when it has none (custom sizes, an invalid size).
// A size within Qt's tolerance of a standard one counts as that size.
int windowsPaperCode(const QPageSize& size);

// The page size of `code`; an invalid QPageSize for a code Qt does not know.
QPageSize pageSizeOfWindowsCode(int code);

// Whether a paper of `millimetres` (either way round) is JIS B4, 257 x 364 mm,
// as drivers round it (a PPD's 727 x 1029 points is 256.5 x 363 mm); ISO B4
// (250 x 353 mm) is not.
bool isJisB4Millimetres(QSizeF millimetres);
