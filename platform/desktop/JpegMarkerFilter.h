#pragma once

#include <QByteArray>
#include <QIODevice>

// A JPEG as the decoder should see it: the file's bytes, read as they are
// needed, less its comments and the Exif and ICC segments beyond the budget.
// Qt's decoder keeps every such segment in memory, several times over,
// whatever its size, so a file padded with them would cost far more than its
// picture. None of them matters for a printed map (the resolution is in the
// JFIF segment, which always passes).
class JpegMarkerFilter : public QIODevice
{
public:
    // Exif and ICC segments a JPEG may carry, which the decoder keeps in
    // memory: beyond this much they are left out.
    static constexpr qint64 kMetadataBudget = 16 * 1024 * 1024;

    explicit JpegMarkerFilter(QIODevice& source)
        : m_source(source)
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class State { Marker, Entropy, Copy, Skip, Rest };

    // At least `count` unread input bytes, unless the file ends first.
    bool have(int count);
    // One piece of work; false at the end of the file.
    bool step();

    quint8 at(int offset) const { return quint8(m_in.at(m_at + offset)); }
    void pass(int count)
    {
        m_out.append(m_in.constData() + m_at, count);
        m_at += count;
    }

    bool finish()
    {
        m_ended = true;
        return false;
    }

    QIODevice& m_source;
    QByteArray m_in;
    int m_at = 0;
    QByteArray m_out;
    State m_state = State::Marker;
    State m_afterSegment = State::Marker;
    qint64 m_left = 0;
    qint64 m_metadata = 0;
    bool m_ended = false;
};
