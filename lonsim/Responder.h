#pragma once
// What a simulated Neuron-based device answers to one network management or
// network-variable message, whatever carried it: the in-process interface or a LonTalk
// packet on an IP-852 channel. Answers, updates and spoilt answers; no timing, no transport.

#include "lonsim/DeviceState.h"

#include <QByteArray>
#include <optional>

namespace lonsim {

struct Reply {
    uint8_t code = 0;
    QByteArray data;
};

// The answer to a message with APDU code and data at simulated time now; nullopt when the
// device stays silent (Query ID while not selected, codes it ignores).
std::optional<Reply> answerMessage(DeviceState &device, uint8_t code, const QByteArray &data, qint64 now,
                                   double timeScale);

// An NV update (code 0x80 | selector high, data [selector low, value]).
struct UpdateOutcome {
    bool applied = false;           // a variable took the value
    bool fileRequest = false;       // it was the file-request variable, value has 10 bytes or more
    QByteArray value;
};
// authenticated: the sender answered the device's challenge with the domain's key. A
// variable that takes only authenticated updates refuses any other (the value stays).
UpdateOutcome applyNvUpdate(DeviceState &device, uint8_t code, const QByteArray &data, bool authenticated = false);

// The malformed-answer fault applied to a reply, when it hits this request; lyingLength is
// set for the kind that spoils the carrier's length fields rather than the APDU.
Reply spoilReply(DeviceState &device, uint8_t requestCode, Reply reply, bool &lyingLength);

// Spoils reply by kind (not counted against any fault). OtherVariable needs the device
// (spoilReply); here it leaves the reply as it is.
Reply spoilByKind(MalformKind kind, Reply reply);

// The kind a description or control command names: none, wrongLength, wrongCode,
// lyingLength, oversized, otherVariable.
std::optional<MalformKind> malformKindNamed(const QString &name);

} // namespace lonsim
