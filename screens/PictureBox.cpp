#include "screens/PictureBox.h"

#include "platform/Fonts.h"
#include "screens/ScreenKit.h"

#include <QPainter>

namespace {

constexpr int kNoticeMargin = 8; // pixels inside the frame
constexpr double kNoticePoints = 12;

} // namespace

PictureBox::PictureBox(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
    m_noticeFont = screenFont(kFontGothic, kNoticePoints);
}

void PictureBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    m_notice.clear();
    update();
}

void PictureBox::setNotice(const QString& notice)
{
    m_notice = notice;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inside = contentsRect();
    painter.setClipRect(inside);
    if (m_picture.isNull()) {
        if (m_notice.isEmpty())
            return;
        // A file name has no spaces to break at: it wraps anywhere.
        const QRect text = inside.adjusted(kNoticeMargin, kNoticeMargin, -kNoticeMargin, -kNoticeMargin);
        painter.setFont(m_noticeFont);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(text, int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere), m_notice);
        return;
    }
    // One picture pixel to one device-independent pixel, whatever resolution
    // the file records.
    QImage unscaled = m_picture;
    unscaled.setDevicePixelRatio(1.0);
    painter.drawImage(inside.topLeft(), unscaled);
}
