#include "screens/PictureBox.h"

#include <QPainter>

PictureBox::PictureBox(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    const QRect inside = contentsRect();
    painter.setClipRect(inside);
    // One picture pixel to one device-independent pixel, whatever resolution
    // the file records.
    QImage unscaled = m_picture;
    unscaled.setDevicePixelRatio(1.0);
    painter.drawImage(inside.topLeft(), unscaled);
}
