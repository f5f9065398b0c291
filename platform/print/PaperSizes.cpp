#include "platform/print/PaperSizes.h"

namespace {
constexpr int kUserDefined = 256; // DMPAPER_USER: a custom size, no code
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
