#pragma once
// The network-interface frames of the software interface on an IP-852 channel: the parse
// of a frame written by the host with its whole address field, and the frames handed
// back (responses, incoming messages, completion events) in the layout the simulated
// interface uses.

#include "lontalk/ip852/LonFrame.h"
#include "lontalk/Wire.h"

#include <QByteArray>
#include <optional>

namespace ldv::ni {

struct HostAddress {
    enum Kind : uint8_t { SubnetNode = 1, NeuronId = 2, Broadcast = 3, Group = 0x80, Local = 0x7F };
    Kind kind = SubnetNode;
    uint8_t domainIndex = 0;
    uint8_t subnet = 0;             // subnet/node, Neuron ID (hint), broadcast
    uint8_t node = 0;
    uint8_t backlog = 0;            // broadcast
    uint8_t group = 0;
    uint8_t groupSize = 0;          // 0 = unlimited
    uint8_t member = 0;             // our member number in the group
    uint8_t groupReceiveTimer = 0;
    bool longTimers = false;
    uint8_t repeatTimer = 0;
    uint8_t retries = 0;
    uint8_t txTimer = 0;
    ip852::NeuronId neuronId{};
};

struct HostMessage {
    lontalk::wire::HostFrame frame;  // header fields, code, data
    HostAddress address;
    bool priority = false;
    bool pathSpecified = false;     // byte 3 bit 2
    bool alternatePath = false;     // byte 3 bit 6
    bool isLocal() const { return frame.command == 2 || address.kind == HostAddress::Local; }
};

// nullopt when the frame's length bytes disagree with its length, or the address type is unknown.
std::optional<HostMessage> parseHostMessage(const uint8_t *bytes, int length);

// The host-side service of a received LonTalk message: 0 ACKD, 1 UNACKD_RPT, 2 UNACKD, 3 REQUEST.
uint8_t hostService(const ip852::LonFrame &frame);

// A response (queue 6) to the host's request with tag: the responder's address as it came
// (2b: its group and member), its APDU.
QByteArray responseFrame(uint8_t tag, uint8_t domainIndex, const ip852::LonFrame &reply);

// An incoming message (queue 8): address format, source and destination as received;
// authenticated when its sender answered our challenge with the domain's key.
QByteArray incomingFrame(uint8_t tag, uint8_t domainIndex, const ip852::LonFrame &message, bool authenticated = false);

// A local command's answer (queue 6, the request's tag).
QByteArray localAnswer(const HostMessage &request, uint8_t code, const QByteArray &data, uint8_t subnet, uint8_t node);

QByteArray completionFrame(const HostMessage &request, bool success);

} // namespace ldv::ni
