#include "platform/print/PaperSizes.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kUserDefined = 256; // DMPAPER_USER: a custom size, no code
constexpr double kJisB4Short = 257, kJisB4Long = 364, kJisB4ToleranceMm = 1.5;
} // namespace

int windowsPaperCode(const QPageSize& size)
{
    if (!size.isValid())
        return 0;
    const int code = size.windowsId();
    return code == kUserDefined ? 0 : code;
}

QPageSize pageSizeOfWindowsCode(int code)
{
    if (code <= 0 || code == kUserDefined)
        return QPageSize();
    const QPageSize::PageSizeId id = QPageSize::id(code);
    return id == QPageSize::Custom ? QPageSize() : QPageSize(id);
}

bool isJisB4Millimetres(QSizeF millimetres)
{
    const double shortSide = std::min(millimetres.width(), millimetres.height());
    const double longSide = std::max(millimetres.width(), millimetres.height());
    return std::abs(shortSide - kJisB4Short) <= kJisB4ToleranceMm
        && std::abs(longSide - kJisB4Long) <= kJisB4ToleranceMm;
}
