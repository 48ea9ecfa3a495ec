#include "lontalk/Authentication.h"

#include <QRandomGenerator>

#include <algorithm>

namespace lontalk {

namespace {

uint8_t rotateLeft(uint8_t b) { return uint8_t((b << 1) | (b >> 7)); }
uint8_t rotateRight(uint8_t b) { return uint8_t((b >> 1) | (b << 7)); }

} // namespace

AuthBytes authenticationReply(const AuthBytes &challenge, const AuthKey &key, QByteArrayView apdu)
{
    AuthBytes c = challenge;
    // The message is taken from its last byte backwards, one byte a step; each pass runs
    // 8 steps for each of the key's 6 bytes, and passes repeat until the message is used
    // up (zeros pad the last pass).
    qsizetype p = apdu.size();
    do {
        for (int i = 0; i < 6; ++i) {
            for (int j = 7; j >= 0; --j) {
                const uint8_t m = p > 0 ? uint8_t(apdu[--p]) : 0;
                uint8_t t = uint8_t(~(c[j] + j));
                t = (key[i] >> (7 - j)) & 1 ? rotateLeft(t) : uint8_t(-rotateRight(t));
                c[j] = uint8_t(c[(j + 1) % 8] + m + t);
            }
        }
    } while (p > 0);
    return c;
}

AuthKey authKeyOf(QByteArrayView bytes)
{
    AuthKey k{};
    std::copy_n(reinterpret_cast<const uint8_t *>(bytes.data()), std::min<qsizetype>(6, bytes.size()), k.begin());
    return k;
}

AuthBytes newChallenge()
{
    AuthBytes c;
    quint32 words[2];
    QRandomGenerator::system()->fillRange(words);
    for (int i = 0; i < 8; ++i)
        c[i] = uint8_t(words[i / 4] >> (8 * (i % 4)));
    return c;
}

} // namespace lontalk
