#pragma once

#include "screens/ScreenServices.h"
#include "store/EntryView.h"

#include <QDialog>

class QLineEdit;

// The property entry screen. Its boxes and picture are the working copy of
// the property: saving and the flyer read them, loading writes them.
class F_Tyukai : public QDialog, public EntryEditor
{
    Q_OBJECT

public:
    explicit F_Tyukai(ScreenServices services, QWidget* parent = nullptr);

    // Creates a new entry screen, shows it modally and destroys it when it
    // closes.
    static void openFromMenu(ScreenServices services);

    QString boxText(int index) const override;
    QImage picture() const override { return m_picture; }
    void setBoxText(int index, const QString& text) override;
    void setPicture(const QImage& picture) override { m_picture = picture; }

private:
    ScreenServices m_services;
    QLineEdit* m_tbox[28] = {};
    QImage m_picture;
};
