#include "screens/FailureBoundary.h"

#include "platform/MessageBox.h"
#include "platform/PlatformError.h"

namespace {

const QString kFailureHeading = QStringLiteral("処理を完了できませんでした。");

} // namespace

bool runHandler(MessageBox& messages, const std::function<void()>& handler)
{
    QString description;
    try {
        handler();
        return true;
    } catch (const PlatformError& error) {
        if (error.outcomeUnknown()) {
            // Whatever the handler was doing, it cannot say "could not": the
            // message is the one that says the outcome is unknown.
            messages.show(error.unknownOutcomeDescription(), MB_Critical, kMessageTitle);
            return false;
        }
        description = error.description();
    } catch (const std::bad_alloc&) {
        description = QStringLiteral("メモリが足りません。");
    } catch (const std::exception& error) {
        description = QString::fromLocal8Bit(error.what());
    } catch (...) {
        // Nothing may escape into Qt's event loop, which would end the run.
        description = QStringLiteral("原因不明のエラーが発生しました。");
    }
    messages.show(kFailureHeading + QLatin1Char('\n') + description, MB_Critical, kMessageTitle);
    return false;
}
