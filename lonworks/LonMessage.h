#pragma once
// TniMessage, one network-interface message (outgoing or received), and
// TListOfniMessage, a list that owns the messages it holds.

#include <QtGlobal>

#include <array>
#include <memory>
#include <span>
#include <vector>

class TniMessage
{
public:
    quint8 AddressType = 1;     // 1 subnet/node, 2 Neuron ID, 3 broadcast, 0x80 group, 0x7F local
    quint8 Command = 1;         // 1 network message, 2 management command of the local interface
    quint8 Queue = 2;           // sending: 2 transaction queue; received: 6 response, 8 incoming
    quint8 ServiceType = 3;     // 3 request/response, 0 acknowledged
    bool Authenticated = false;
    quint8 Tag = 15;            // 15: the next automatic tag is given when sent
    bool Priority = false;
    quint8 Path = 0;
    quint8 CompletionCode = 0;  // received completion event: 1 success, 2 failure
    bool ExplicitAddress = false;
    bool AlternatePath = false;
    bool Pool = false;
    bool Response = false;
    bool FlexDomain = false;
    qint32 ReceivedFormat = 255;
    quint8 Domain = 0;
    quint8 Subnet = 0;
    quint8 Node = 0;
    quint8 SourceSubnet = 0;
    quint8 SourceNode = 0;
    quint8 Code = 0;
    quint8 RepeatTimer = 10;
    quint8 Backlog = 0;
    quint8 Retry = 2;
    quint8 TxTimer = 10;
    quint8 Group = 0;
    quint8 GroupMember = 0;
    std::array<quint8, 6> NeuronId{};
    quint8 DataLength = 0;
    quint8 ReceivedLength = 0;
    std::array<quint8, 255> Data{};
    std::array<quint8, 255> ReceivedData{};
    std::array<quint8, 255> RawFrame{};
    qint32 RawLength = 0;

    // Replaces the outgoing data (at most 255 bytes are kept).
    void SetData(std::span<const quint8> bytes);
    // The received bytes, ReceivedLength of them.
    std::span<const quint8> Received() const;
};

class TListOfniMessage
{
public:
    explicit TListOfniMessage(int capacity = 32);

    int Count() const { return int(FItems.size()); }
    bool IsEmpty() const { return FItems.empty(); }
    // Element i (0-based); throws std::out_of_range "Index (i) outside range 1..count-1"
    // when i is not a valid index.
    TniMessage &Items(int i) const;
    void Add(std::unique_ptr<TniMessage> message);
    void Clear();

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<std::unique_ptr<TniMessage>> FItems;
};
