#pragma once
// The receiving side of LonTalk authentication: a message that came with the
// authentication bit is held while its sender is challenged. Each new message gets a
// fresh random challenge (a repeat of it gets the same one again, through its receive
// record); only a REPLY from that sender, in time, releases it, and whether the reply
// was computed with the right key decides if it counts as authenticated. A message whose
// sender never replies is never released: it has no effect and gets no answer.

#include "lontalk/Authentication.h"
#include "lontalk/ip852/LonFrame.h"

#include <QList>

#include <optional>

namespace ip852 {

class Challenges {
public:
    // A message released by its sender's reply.
    struct Released {
        LonFrame message;
        uint8_t domainIndex = 0;
        bool authentic = false;     // the reply matches the one computed with our key
    };

    // Holds message (received in our domain entry domainIndex, in which we are
    // mySubnet/myNode) until now + lifetimeMs and returns the CHALLENGE to send back.
    // When MaxHeld messages wait already, the oldest is dropped.
    LonFrame challenge(const LonFrame &message, uint8_t domainIndex, uint8_t mySubnet, uint8_t myNode, int64_t now,
                       int lifetimeMs);
    // A repeat of a held message came: its wait starts again (the caller sends the same
    // challenge again from the message's receive record).
    void repeated(const LonFrame &message, int64_t now, int lifetimeMs);
    // The held message that reply (an AuthPDU REPLY received in domainIndex) answers, taken
    // out, checked against key; nullopt when none waits for it (late, unknown, other TID).
    std::optional<Released> reply(const LonFrame &reply, uint8_t domainIndex, const lontalk::AuthKey &key, int64_t now);

    static constexpr int MaxHeld = 16;

private:
    struct Held {
        LonFrame message;
        uint8_t domainIndex = 0;
        lontalk::AuthBytes challenge{};
        int64_t expires = 0;
    };
    static bool sameMessage(const LonFrame &a, const LonFrame &b);
    void expire(int64_t now);

    QList<Held> m_held;
};

} // namespace ip852
