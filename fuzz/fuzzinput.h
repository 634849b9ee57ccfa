#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Reads a fuzz input piece by piece; past the end every read gives zero.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool atEnd() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }

    uint8_t byte() { return atEnd() ? 0 : m_data[m_pos++]; }

    // Up to `count` characters: one byte each (Latin-1), or two bytes each
    // when `wide`, which reaches every UTF-16 code unit, lone surrogates too.
    QString text(size_t count, bool wide)
    {
        QString out;
        for (size_t i = 0; i < count && !atEnd(); ++i) {
            if (wide) {
                const char16_t low = byte();
                const char16_t high = byte();
                out += QChar(char16_t(low | (high << 8)));
            } else {
                out += QChar(char16_t(byte()));
            }
        }
        return out;
    }

    QString rest(bool wide) { return text(m_size, wide); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};
