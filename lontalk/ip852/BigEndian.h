#pragma once
// Big-endian fields of IP-852 packets: a bounds-checked reader over a body and the
// writers that append to one.

#include <QByteArray>

#include <cstdint>

namespace ip852 {

inline uint16_t be16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline void put8(QByteArray &out, uint8_t v) { out.append(char(v)); }
inline void put16(QByteArray &out, uint16_t v) { out.append(char(v >> 8)).append(char(v)); }
inline void put32(QByteArray &out, uint32_t v)
{
    put16(out, uint16_t(v >> 16));
    put16(out, uint16_t(v));
}

// Reads fields in order; once a read would pass the end, every later read gives 0 and
// ok() stays false, so a decoder checks once at the end (or before it trusts a count).
class BodyReader {
public:
    explicit BodyReader(const QByteArray &bytes)
        : m_bytes(reinterpret_cast<const uint8_t *>(bytes.constData())), m_length(int(bytes.size()))
    {
    }
    bool ok() const { return m_ok; }
    int left() const { return m_ok ? m_length - m_offset : 0; }
    bool has(int n) const { return m_ok && n >= 0 && m_offset + n <= m_length; }
    uint8_t u8() { return need(1) ? m_bytes[m_offset++] : 0; }
    uint16_t u16()
    {
        if (!need(2))
            return 0;
        const uint16_t v = be16(m_bytes + m_offset);
        m_offset += 2;
        return v;
    }
    uint32_t u32()
    {
        if (!need(4))
            return 0;
        const uint32_t v = be32(m_bytes + m_offset);
        m_offset += 4;
        return v;
    }
    QByteArray bytes(int n)
    {
        if (!need(n))
            return {};
        QByteArray out(reinterpret_cast<const char *>(m_bytes + m_offset), n);
        m_offset += n;
        return out;
    }
    void skip(int n) { bytes(n); }

private:
    bool need(int n)
    {
        if (!has(n))
            m_ok = false;
        return m_ok;
    }
    const uint8_t *m_bytes;
    int m_length;
    int m_offset = 0;
    bool m_ok = true;
};

} // namespace ip852
