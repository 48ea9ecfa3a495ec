#pragma once
// The unicast receiver's check of one peer's data packets: a new session starts afresh,
// the expected sequence number is delivered, a packet up to 100 behind is a duplicate,
// one ahead is delivered and the gap counted as lost (no reordering queue).

#include <cstdint>

namespace lonsim::channel {

class SequenceCheck {
public:
    // True when the packet is to be delivered.
    bool accept(uint32_t session, uint32_t sequence);
    int duplicates() const { return m_duplicates; }
    uint32_t lost() const { return m_lost; }

private:
    bool m_known = false;
    uint32_t m_session = 0;
    uint32_t m_expected = 0;
    int m_duplicates = 0;
    uint32_t m_lost = 0;
};

} // namespace lonsim::channel
