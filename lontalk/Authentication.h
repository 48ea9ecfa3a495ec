#pragma once
// LonTalk authentication (ISO/IEC 14908-1): the receiver of a message sent with the
// authentication bit challenges its sender with 8 random bytes; the sender proves it
// holds the domain's 48-bit key by returning the challenge transformed with that key
// and the message's APDU. Both sides compute the same transformation here.

#include <QByteArrayView>

#include <array>
#include <cstdint>

namespace lontalk {

using AuthKey = std::array<uint8_t, 6>;
using AuthBytes = std::array<uint8_t, 8>;      // a challenge, or the reply to one

// The reply to challenge for apdu (code and data exactly as on the wire, at least the
// code byte), with the domain's key.
AuthBytes authenticationReply(const AuthBytes &challenge, const AuthKey &key, QByteArrayView apdu);

// A key from its bytes as stored (a domain entry's 6 bytes; fewer are padded with zeros).
AuthKey authKeyOf(QByteArrayView bytes);

// 8 bytes from the system's random source: a new challenge.
AuthBytes newChallenge();

} // namespace lontalk
