#include "lonsim/channel/SequenceCheck.h"

namespace lonsim::channel {

namespace {
constexpr uint32_t DuplicateWindow = 100;
}

bool SequenceCheck::accept(uint32_t session, uint32_t sequence)
{
    if (!m_known || session != m_session) {
        m_known = true;
        m_session = session;
        m_expected = sequence + 1;
        return true;
    }
    const uint32_t behind = m_expected - sequence;      // modulo 2^32
    if (behind >= 1 && behind < DuplicateWindow) {
        ++m_duplicates;
        return false;
    }
    m_lost += sequence - m_expected;
    m_expected = sequence + 1;
    return true;
}

} // namespace lonsim::channel
