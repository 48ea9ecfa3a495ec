#pragma once
// The AuthPDU frames of LonTalk authentication: the CHALLENGE a receiver sends back for a
// message that carries the authentication bit, and the sender's REPLY to it.

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/Authentication.h"

#include <optional>

namespace ip852 {

// The challenge for message, from the receiver whose own subnet/node in the message's
// domain is mySubnet/myNode: back to the message's source in form 2a (2b, with our member
// number, when the message was sent to a group); same domain, priority and TID.
LonFrame challengeFrame(const LonFrame &message, uint8_t mySubnet, uint8_t myNode, const lontalk::AuthBytes &challenge,
                        uint8_t groupMember = 0);

// The reply to challenge (as received) for our message original: 2a back to the
// challenger from the address the challenge was sent to (by Neuron ID to the original
// target when the challenge came from node 0 of a Neuron-ID message); the challenge's
// group byte echoed.
LonFrame replyFrame(const LonFrame &challenge, const LonFrame &original, const lontalk::AuthBytes &reply);

// The 8 challenge or reply bytes of an AuthPDU; nullopt when it carries fewer.
std::optional<lontalk::AuthBytes> authBytesOf(const LonFrame &frame);

bool isChallenge(const LonFrame &frame);
bool isAuthReply(const LonFrame &frame);

} // namespace ip852
