#include "lonworks/LonLib.h"

#include <algorithm>
#include <optional>

void SetVariableIndex(TniMessage &message, quint16 index)
{
    if (index < 63)
        message.SetData(std::array<quint8, 1>{quint8(index)});
    else
        message.SetData(std::array<quint8, 3>{0xFF, quint8(index >> 8), quint8(index & 0xFF)});
}

qint16 FetchNetworkVariable(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                            quint16 index, std::span<quint8> buffer, quint8 &length)
{
    length = 0;
    TniMessage message;
    SetVariableIndex(message, index);
    ni.ClearResponses();
    const qint16 status = ExchangeMessage(ni, message, LonWire::CodeNvFetch, domain, subnet, node);
    if (status != LonStatus::Ok)
        return status;
    // Only a value read from this variable makes the fetch succeed; a refusal (unknown
    // index) fails it.
    qint16 result = LonStatus::Failed;
    for (const auto &answer : ni.Responses()) {
        if (const auto value = FetchedValue(*answer, index)) {
            const size_t n = std::min({value->size(), buffer.size(), size_t(255)});
            std::copy_n(value->begin(), n, buffer.begin());
            length = quint8(n);
            result = LonStatus::Ok;
            break;
        }
    }
    ni.ClearUnsolicited();
    ni.ClearResponses();
    return result;
}

qint16 QueryNvConfig(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                     quint16 index, quint8 &configByte, quint16 &selector)
{
    selector = index;
    TniMessage message;
    SetVariableIndex(message, index);
    ni.ClearResponses();
    const qint16 status = ExchangeMessage(ni, message, LonWire::CodeQueryNvConfig, domain, subnet, node);
    if (status != LonStatus::Ok)
        return status;
    for (const auto &answer : ni.Responses()) {
        const auto r = answer->Received();
        if (answer->Code == LonWire::SuccessCode(LonWire::CodeQueryNvConfig) && r.size() >= 3) {
            selector = quint16((r[0] & 0x3F) << 8 | r[1]);
            configByte = r[2];
            break;
        }
    }
    return status;
}

qint16 UpdateNetworkVariable(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                             quint16 index, std::span<const quint8> value)
{
    if (value.size() > size_t(LonWire::MaxDataLength - 1))
        return LonStatus::BadLength;
    quint8 configByte = 0;
    quint16 selector = index;
    QueryNvConfig(ni, domain, subnet, node, index, configByte, selector);
    const bool authenticated = configByte & LonWire::NvConfigAuthenticated;

    TniMessage message;
    message.ServiceType = 0;
    // A variable that takes only authenticated updates gets them with the authentication
    // bit: the device challenges the interface, which answers with the domain's key.
    message.Authenticated = authenticated;
    message.Data[0] = quint8(selector & 0xFF);
    std::copy(value.begin(), value.end(), message.Data.begin() + 1);
    message.DataLength = quint8(value.size() + 1);
    ni.ClearResponses();
    const quint8 code = quint8(LonWire::CodeNvUpdate + ((selector >> 8) & 0x3F));
    const qint16 status = ExchangeMessage(ni, message, code, domain, subnet, node);
    if (status != LonStatus::Ok || !authenticated)
        return status;
    // A device acknowledges an update whose reply to its challenge was wrong (a key that
    // differs from its own) and drops it: only reading the variable back shows whether
    // the update took.
    std::array<quint8, 255> readBack{};
    quint8 length = 0;
    if (FetchNetworkVariable(ni, domain, subnet, node, index, readBack, length) != LonStatus::Ok)
        return LonStatus::Failed;
    return length == value.size() && std::equal(value.begin(), value.end(), readBack.begin()) ? LonStatus::Ok
                                                                                              : LonStatus::Failed;
}
