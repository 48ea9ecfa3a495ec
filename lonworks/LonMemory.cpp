#include "lonworks/LonLib.h"

#include <algorithm>

namespace {

// Copies one answered chunk to the caller's buffer at offset; bytes the device did not
// send are stored as zero, and nothing goes past the buffer.
void StoreChunk(const TniMessage &answer, std::span<quint8> buffer, size_t offset, size_t chunk)
{
    if (offset >= buffer.size())
        return;
    const size_t room = std::min(chunk, buffer.size() - offset);
    const auto received = answer.Received();
    const size_t n = std::min(room, received.size());
    std::copy_n(received.begin(), n, buffer.begin() + offset);
    std::fill_n(buffer.begin() + offset + n, room - n, 0);
}

// Reads count bytes in chunks with Read Memory (absolute mode) or Query SNVT (offsets).
qint16 ChunkedRead(TniNetworkInterface &ni, quint8 code, bool modeByte, quint8 domain,
                   quint8 subnet, quint8 node, quint16 address, quint16 count, quint8 chunk,
                   std::span<quint8> buffer)
{
    count = quint16(std::min<size_t>(count, buffer.size()));
    if (chunk == 0)
        chunk = 16;
    int requests = 1;
    if (chunk >= count)
        chunk = quint8(count);
    else
        requests = (count + chunk - 1) / chunk;

    TniMessage message;
    message.AddressType = LonWire::AddrSubnetNode;
    message.Domain = domain;
    message.Subnet = subnet;
    message.Node = node;
    const int first = modeByte ? 1 : 0;
    message.DataLength = quint8(first + 3);
    size_t offset = 0;
    qint16 status = LonStatus::Ok;
    for (int r = 0; r < requests; ++r) {
        message.Data[size_t(first)] = quint8(address >> 8);
        message.Data[size_t(first + 1)] = quint8(address & 0xFF);
        message.Data[size_t(first + 2)] = chunk;
        ni.ClearResponses();
        status = ExchangeMessage(ni, message, code, domain, subnet, node);
        if (status != LonStatus::Ok)
            break;
        // A refusal (the failure code) reads nothing: the read fails rather than take
        // zeros for the device's bytes.
        if (ni.Responses().IsEmpty() || ni.Responses().Items(0).Code != LonWire::SuccessCode(code)) {
            status = LonStatus::Failed;
            break;
        }
        StoreChunk(ni.Responses().Items(0), buffer, offset, chunk);
        offset += chunk;
        address = quint16(address + chunk);
        if (count - offset < chunk)
            chunk = quint8(count - offset);
    }
    ni.ClearResponses();
    return status;
}

} // namespace

qint16 QueryDomain(TniNetworkInterface &ni, quint8 index, TniDomainTableEntry &entry)
{
    TniMessage message;
    message.AddressType = LonWire::AddrLocal;
    message.Command = LonWire::CmdLocal;
    message.SetData(std::array<quint8, 1>{index});
    ni.ClearResponses();
    qint16 status = ExchangeMessage(ni, message, LonWire::CodeQueryDomain, 0, 0, 0);
    if (status == LonStatus::Ok && !ni.Responses().IsEmpty()) {
        const TniMessage &answer = ni.Responses().Items(0);
        if (answer.ReceivedLength != LonWire::DomainAnswerLength
            || !LonWire::DecodeDomainAnswer(answer.Received(), entry))
            status = LonStatus::BadLength;
    }
    return status;
}

qint16 UpdateDomain(TniNetworkInterface &ni, quint8 index, const TniDomainTableEntry &entry)
{
    if (index > 1)
        return LonStatus::BadDomainIndex;
    TniMessage message;
    message.AddressType = LonWire::AddrLocal;
    message.Command = LonWire::CmdLocal;
    message.SetData(LonWire::EncodeDomainUpdate(index, entry));
    ni.ClearResponses();
    return ExchangeMessage(ni, message, LonWire::CodeUpdateDomain, 0, 0, 0);
}

qint16 ReadMemory(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                  quint16 address, quint16 count, quint8 chunk, std::span<quint8> buffer)
{
    return ChunkedRead(ni, LonWire::CodeReadMemory, true, domain, subnet, node, address,
                       count, chunk, buffer);
}

qint16 QuerySnvt(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                 quint16 offset, quint16 count, quint8 chunk, std::span<quint8> buffer)
{
    return ChunkedRead(ni, LonWire::CodeQuerySnvt, false, domain, subnet, node, offset,
                       count, chunk, buffer);
}

qint16 ReadReadOnlyStructure(TniNetworkInterface &ni, TniReadOnlyStructure &structure,
                             quint8 domain, quint8 subnet, quint8 node)
{
    std::array<quint8, LonWire::ReadOnlyLength> bytes{};
    const qint16 status = ReadMemory(ni, domain, subnet, node, LonWire::ReadOnlyAddress,
                                     LonWire::ReadOnlyLength, 0, bytes);
    if (status == LonStatus::Ok)
        LonWire::DecodeReadOnly(bytes, structure);
    return status;
}
