#pragma once

#include "receive/chunkedbuffer.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <span>

// Everything the receive box holds since it was last emptied: the decoded
// text in text mode, the raw bytes in hex mode (their hex text is formed
// only where it is shown or copied). Positions and lengths count characters
// of the box's text, which in hex mode is three per byte.
class ReceiveStore
{
public:
    enum class Mode { Text, Hex };

    Mode mode() const { return m_mode; }
    qint64 length() const;
    bool isEmpty() const { return length() == 0; }
    qint64 byteCount() const { return m_bytes.size(); }
    // Changes whenever the content is replaced rather than extended.
    quint64 generation() const { return m_generation; }

    void appendText(QStringView text);
    void appendBytes(QByteArrayView bytes);
    void clear();

    char16_t charAt(qint64 position) const { return m_text.at(position); }
    std::span<const char16_t> textSpan(qint64 position, qint64 count) const { return m_text.span(position, count); }
    std::span<const char> byteSpan(qint64 index, qint64 count) const { return m_bytes.span(index, count); }

    QString text(qint64 from, qint64 to) const;
    QString text() const { return text(0, length()); }

private:
    QString hexText(qint64 from, qint64 to) const;
    void convertToText();

    Mode m_mode = Mode::Text;
    ChunkedBuffer<char16_t> m_text;
    ChunkedBuffer<char> m_bytes;
    quint64 m_generation = 0;
};
