#include "screens/FindBox.h"

#include "platform/Fonts.h"
#include "platform/InputMethod.h"
#include "screens/ScreenKit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr double kFindPoints = 14;

} // namespace

FindBox::FindBox(const QString& text, InputMethod& inputMethod, QWidget* parent)
    : QDialog(parent)
    , m_inputMethod(inputMethod)
{
    setObjectName(QStringLiteral("FindBox"));
    setWindowTitle(QStringLiteral("絞り込み"));
    setWindowIcon(applicationIcon());
    setFont(screenFont(kFontGothic, kFindPoints));

    auto* label = new QLabel(QStringLiteral("物件所在地に含む文字："), this);
    m_line = new QLineEdit(text, this);
    m_line->setObjectName(QStringLiteral("FindText"));
    m_line->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24);
    m_line->selectAll();
    label->setBuddy(m_line);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_line, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Enter in the line is the dialog's accept; Escape its reject.
    m_line->installEventFilter(this);
    connect(m_line, &QLineEdit::returnPressed, this, &QDialog::accept);
    m_line->setFocus();
}

QString FindBox::text() const
{
    return m_line->text().trimmed();
}

bool FindBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_line && event->type() == QEvent::FocusIn)
        m_inputMethod.switchOnHiragana(m_line);
    return QDialog::eventFilter(watched, event);
}
