#include "platform/desktop/JpegMarkerFilter.h"

#include <cstring>

qint64 JpegMarkerFilter::readData(char* data, qint64 maxSize)
{
    while (m_out.size() < maxSize && step()) { }
    const qint64 n = qMin<qint64>(maxSize, m_out.size());
    memcpy(data, m_out.constData(), size_t(n));
    m_out.remove(0, int(n));
    return n == 0 && m_ended ? -1 : n;
}

bool JpegMarkerFilter::have(int count)
{
    if (m_at > 0 && m_at == m_in.size()) {
        m_in.clear();
        m_at = 0;
    }
    while (m_in.size() - m_at < count) {
        const QByteArray more = m_source.read(64 * 1024);
        if (more.isEmpty())
            return false;
        m_in.remove(0, m_at);
        m_at = 0;
        m_in.append(more);
    }
    return true;
}

bool JpegMarkerFilter::step()
{
    switch (m_state) {
    case State::Copy:
    case State::Skip: {
        if (!have(1))
            return finish();
        const int n = int(qMin<qint64>(m_left, m_in.size() - m_at));
        if (m_state == State::Copy)
            pass(n);
        else
            m_at += n;
        m_left -= n;
        if (m_left == 0)
            m_state = m_afterSegment;
        return true;
    }
    case State::Rest:
        if (!have(1))
            return finish();
        pass(m_in.size() - m_at);
        return true;
    case State::Entropy: {
        if (!have(2)) {
            if (have(1))
                pass(1);
            return finish();
        }
        // Entropy-coded data runs until a marker other than a restart
        // marker or a stuffed zero.
        const char* begin = m_in.constData() + m_at;
        const char* ff = static_cast<const char*>(memchr(begin, 0xFF, size_t(m_in.size() - m_at - 1)));
        if (!ff) {
            pass(m_in.size() - m_at - 1);
            return true;
        }
        pass(int(ff - begin));
        const quint8 code = at(1);
        if (code == 0x00 || (code >= 0xD0 && code <= 0xD7))
            pass(2);
        else if (code == 0xFF)
            pass(1); // fill byte
        else
            m_state = State::Marker;
        return true;
    }
    case State::Marker:
        break;
    }

    if (!have(2)) {
        if (have(1))
            pass(1);
        return finish();
    }
    if (at(0) != 0xFF || at(1) == 0xFF) {
        pass(1); // not a marker yet: the decoder skips it as it would
        return true;
    }
    const quint8 code = at(1);
    if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
        pass(2);
        m_state = code == 0xD8 ? State::Marker : State::Entropy;
        return true;
    }
    if (code == 0xD9) { // end of image: what follows is no business of the decoder
        pass(2);
        m_state = State::Rest;
        return true;
    }
    if (!have(4)) {
        pass(m_in.size() - m_at);
        return finish();
    }
    const qint64 length = (qint64(at(2)) << 8) | at(3);
    const qint64 segment = 2 + length;
    bool kept = code != 0xFE; // comments: nothing the map needs
    if (code == 0xE1 || code == 0xE2) // Exif, ICC profile
        kept = (m_metadata += segment) <= kMetadataBudget;
    m_state = kept ? State::Copy : State::Skip;
    m_left = segment;
    m_afterSegment = code == 0xDA ? State::Entropy : State::Marker; // start of scan
    if (length < 2) { // a broken length: the decoder judges the rest
        m_state = State::Rest;
    }
    return true;
}
