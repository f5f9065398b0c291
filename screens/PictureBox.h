#pragma once

#include <QFrame>
#include <QImage>

// A framed picture box. The picture is drawn at its own pixel size with its
// top-left corner at the top-left of the frame's inside and cut off at the
// frame; it is never scaled. The box takes the focus like any control.
class PictureBox : public QFrame
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    QImage picture() const { return m_picture; }

    // A null QImage empties the box.
    void setPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};
