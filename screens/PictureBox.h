#pragma once

#include <QFont>
#include <QFrame>
#include <QImage>
#include <QString>

// A framed picture box. The picture is drawn at its own pixel size with its
// top-left corner at the top-left of the frame's inside and cut off at the
// frame; it is never scaled. Without a picture the box may hold a notice
// instead, a few lines of small text from its top-left corner, wrapped
// within the box. The box takes the focus like any control.
class PictureBox : public QFrame
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    QImage picture() const { return m_picture; }

    // A null QImage empties the box. Either takes the notice away.
    void setPicture(const QImage& picture);

    QString notice() const { return m_notice; }
    // Shown while the box holds no picture.
    void setNotice(const QString& notice);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QString m_notice;
    QFont m_noticeFont;
};
