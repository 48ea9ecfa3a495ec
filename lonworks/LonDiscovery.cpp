#include "lonworks/LonLib.h"

#include <QSet>

#include <vector>

namespace {

struct TQueryAnswer
{
    QString Key;                     // "subnet:node:" + six Neuron ID characters
    std::array<quint8, 6> NeuronId{};
};

TniMessage Broadcast(quint8 domain, quint8 selector)
{
    TniMessage message;
    message.AddressType = LonWire::AddrBroadcast;
    message.Domain = domain;
    message.Subnet = 0;
    message.SetData(std::array<quint8, 1>{selector});
    return message;
}

// The Query ID answers among the responses collected, in order.
std::vector<TQueryAnswer> TakeAnswers(TniNetworkInterface &ni)
{
    std::vector<TQueryAnswer> answers;
    for (const auto &response : ni.Responses()) {
        if (response->Code != LonWire::SuccessCode(LonWire::CodeQueryId) || response->ReceivedLength < 6)
            continue;
        TQueryAnswer answer;
        std::copy_n(response->ReceivedData.begin(), 6, answer.NeuronId.begin());
        answer.Key = QString::number(response->SourceSubnet) + u':'
                     + QString::number(response->SourceNode) + u':';
        for (quint8 b : answer.NeuronId)
            answer.Key += QChar(b);
        answers.push_back(answer);
    }
    ni.ClearResponses();
    return answers;
}

// Tells one device, by Neuron ID, to stop answering Query ID; tried twice.
void Silence(TniNetworkInterface &ni, quint8 domain, const std::array<quint8, 6> &neuronId)
{
    TniMessage message;
    message.AddressType = LonWire::AddrNeuronId;
    message.Domain = domain;
    message.NeuronId = neuronId;
    message.SetData(std::array<quint8, 1>{0});
    if (ExchangeMessage(ni, message, LonWire::CodeRespondToQuery, domain, 0, 0) != LonStatus::Ok)
        ExchangeMessage(ni, message, LonWire::CodeRespondToQuery, domain, 0, 0);
}

} // namespace

qint16 FindDevices(TniNetworkInterface &ni, quint8 domain, QStringList &devices)
{
    TniMessage wakeUp = Broadcast(domain, 1);
    qint16 status = ExchangeMessage(ni, wakeUp, LonWire::CodeRespondToQuery, domain, 0, 0);
    if (status != LonStatus::Ok)
        return status;

    QSet<QString> seen;
    int stale = 0;
    for (int pass = 0; pass < LonLib::MaxQueryIdPasses && stale < LonLib::MaxStalePasses; ++pass) {
        ni.ClearResponses();
        TniMessage query = Broadcast(domain, 1);
        status = ExchangeMessage(ni, query, LonWire::CodeQueryId, domain, 0, 0);
        if (status != LonStatus::Ok) {
            ni.ClearResponses();
            return status;
        }
        if (ni.Responses().IsEmpty())
            return LonStatus::Ok;

        bool news = false;
        for (const TQueryAnswer &answer : TakeAnswers(ni)) {
            if (!seen.contains(answer.Key)) {
                seen.insert(answer.Key);
                news = true;
            }
            if (!devices.contains(QStringLiteral("0:") + answer.Key)
                && !devices.contains(QStringLiteral("1:") + answer.Key))
                devices.append(QString::number(domain) + u':' + answer.Key);
            Silence(ni, domain, answer.NeuronId);
        }
        stale = news ? 0 : stale + 1;
    }
    ni.ClearResponses();
    return LonStatus::Ok;
}
