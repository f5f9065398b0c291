#pragma once

#include <QImage>
#include <QString>

// The working copy of a property is the state of the entry screen: the texts
// of its 28 boxes and the picture of its map box. Saving and the flyer read it
// through EntryView at the moment they run, and keep no copy; loading writes it
// through EntryEditor. The entry screen implements both.

class EntryView
{
public:
    virtual ~EntryView() = default;

    // The text of Tbox(index), exactly as it stands. REQUIRES: 0 <= index < 28.
    virtual QString boxText(int index) const = 0;

    // The map picture, or a null QImage when the screen holds none.
    virtual QImage picture() const = 0;
};

class EntryEditor : public EntryView
{
public:
    // REQUIRES: 0 <= index < 28.
    virtual void setBoxText(int index, const QString& text) = 0;

    // A null QImage clears the picture (and the notice below).
    virtual void setPicture(const QImage& picture) = 0;

    // Shows `notice` (a few words and a file name) where the map picture
    // would be, in place of a picture that cannot be shown; no message box.
    // A later setPicture takes it away. A view without room for one ignores it.
    virtual void setMapNotice(const QString& notice) { (void)notice; }
};
