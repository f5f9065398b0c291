// bench_input_method: what the input-method switch adds to a focus change
// between the entry screen's boxes. 28 line edits in one active window; each
// FocusIn calls QtInputMethod::switchOnHiragana as the entry screen does, and
// the event loop runs after every change so that deferred work is counted.
// Compared with the same focus changes without the call. Prints figures only.
//
//   bench_input_method [changes]    (QT_QPA_PLATFORM=offscreen when headless)
//
// "none" is the usual case: QT_IM_MODULE names no framework. The fcitx5 and
// IBus rows are the framework named but not running.
#include "bench/BenchReport.h"
#include "platform/desktop/QtInputMethod.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kBoxes = 28;

class Switcher : public QObject
{
public:
    explicit Switcher(InputMethod* inputMethod)
        : m_inputMethod(inputMethod)
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_inputMethod && event->type() == QEvent::FocusIn)
            m_inputMethod->switchOnHiragana(static_cast<QWidget*>(watched));
        return false;
    }

private:
    InputMethod* m_inputMethod;
};

struct Figures
{
    double medianUs;
    double p99Us;
};

Figures focusChanges(InputMethod* inputMethod, int changes)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    Switcher switcher(inputMethod);
    std::vector<QLineEdit*> boxes;
    for (int i = 0; i < kBoxes; ++i) {
        boxes.push_back(new QLineEdit(&window));
        layout->addWidget(boxes.back());
        boxes.back()->installEventFilter(&switcher);
    }
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    QApplication::processEvents();
    if (!window.isActiveWindow())
        std::fprintf(stderr, "warning: the window is not active; the figures miss the deferred work\n");

    std::vector<double> us;
    us.reserve(changes);
    for (int i = 0; i < changes; ++i) {
        QElapsedTimer timer;
        timer.start();
        boxes[i % kBoxes]->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        us.push_back(timer.nsecsElapsed() / 1e3);
    }
    std::sort(us.begin(), us.end());
    return { us[us.size() / 2], us[us.size() * 99 / 100] };
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int changes = bench::smoke() ? 100 : argc > 1 ? std::max(100, atoi(argv[1])) : 5000;

    qunsetenv("QT_IM_MODULE");
    QtInputMethod fromEnvironment;
    QtInputMethod fcitx5(QtInputMethod::Framework::Fcitx5);
    QtInputMethod ibus(QtInputMethod::Framework::IBus);
    const Figures bare = focusChanges(nullptr, changes);
    const Figures none = focusChanges(&fromEnvironment, changes);
    const Figures withFcitx5 = focusChanges(&fcitx5, changes);
    const Figures withIBus = focusChanges(&ibus, changes);

    std::printf("focus changes between %d boxes, %d each (median / 99th percentile, microseconds)\n", kBoxes, changes);
    std::printf("  without the switch                      %8.1f / %8.1f\n", bare.medianUs, bare.p99Us);
    std::printf(
        "  no framework (QT_IM_MODULE unset)       %8.1f / %8.1f   [target: under 1000]\n", none.medianUs, none.p99Us);
    std::printf("  fcitx5 named, not running               %8.1f / %8.1f\n", withFcitx5.medianUs, withFcitx5.p99Us);
    std::printf("  IBus named, not running                 %8.1f / %8.1f\n", withIBus.medianUs, withIBus.p99Us);
    bench::target("focus-change-p99", none.p99Us, bare.p99Us, "<1000", "us");
    return 0;
}
