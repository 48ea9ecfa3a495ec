#include "lonworks/LonLib.h"
#include "lonworks/LDV32.h"
#include "lonworks/LonWait.h"

#include <QCoreApplication>

std::unique_ptr<TniMessage> ReadMessage(TniNetworkInterface &ni)
{
    std::array<quint8, LonWire::ReadBufferSize> buffer{};
    const qint16 status = LDV32::Read(ni.Handle(), buffer.data(), qint16(buffer.size()));
    ni.NoteLibraryStatus(status);
    if (status != 0)
        return nullptr;
    return LonWire::ParseFrame(buffer);
}

qint16 WriteFrame(TniNetworkInterface &ni, const QByteArray &frame, TWhenNoBuffer whenNoBuffer)
{
    qint16 status = LDV32::Write(ni.Handle(), frame.constData(), qint16(frame.size()));
    // No buffer now (an interface setting itself up again after a reset or a replug, or
    // its queue full): the frame is written again shortly, for a bounded time.
    for (int attempt = 0; whenNoBuffer == TWhenNoBuffer::WriteAgain && status == LDV32::NoBufferAvailable
                          && attempt < LonLib::WriteAttempts && !LonLib::WaitingStopped();
         ++attempt) {
        LonLib::Pause(LonLib::WaitIntervalMs);
        QCoreApplication::processEvents();
        status = LDV32::Write(ni.Handle(), frame.constData(), qint16(frame.size()));
    }
    ni.NoteLibraryStatus(status);
    return status;
}

std::unique_ptr<TniMessage> WaitForMessage(TniNetworkInterface &ni)
{
    for (int attempt = 0; attempt < LonLib::WaitAttempts && !LonLib::WaitingStopped(); ++attempt) {
        if (auto message = ReadMessage(ni))
            return message;
        LonLib::Pause(LonLib::WaitIntervalMs);
        QCoreApplication::processEvents();
    }
    return nullptr;
}

qint16 WriteMessage(TniNetworkInterface &ni, TniMessage &message, quint8 code,
                    quint8 domain, quint8 subnet, quint8 node, TWhenNoBuffer whenNoBuffer)
{
    using namespace LonWire;
    message.Code = code;
    if (message.AddressType == AddrLocal) {
        message.ExplicitAddress = true;
    } else if (domain != 0 || subnet != 0) {
        message.Domain = domain;
        message.Subnet = subnet;
        message.Node = node;
        message.ExplicitAddress = true;
    } else if (message.AddressType == AddrBroadcast || message.AddressType == AddrNeuronId) {
        message.ExplicitAddress = true;
    }
    if (message.Tag == 15)
        message.Tag = ni.NextTag();
    if (message.Response)
        message.ExplicitAddress = false;

    return WriteFrame(ni, BuildFrame(message), whenNoBuffer);
}

qint16 ExchangeMessage(TniNetworkInterface &ni, TniMessage &message, quint8 code,
                       quint8 domain, quint8 subnet, quint8 node)
{
    using namespace LonWire;
    const qint16 written = WriteMessage(ni, message, code, domain, subnet, node);
    if (written != 0)
        return written;
    // The local interface answers once; network transactions end with a completion event.
    const bool firstAnswer = message.AddressType == AddrLocal;

    // A request (service 3) to the network expects answers: one that completes without
    // any that fits it counts as failed, whatever the completion says.
    const bool expectsAnswer = message.ServiceType == 3 && !firstAnswer && message.Command != CmdLocal;
    int answers = 0;
    for (int collected = 0; collected < LonLib::MaxMessagesPerExchange; ++collected) {
        std::unique_ptr<TniMessage> answer = WaitForMessage(ni);
        if (!answer)
            return LonStatus::NoAnswer;
        // A frame of a fetch the poller has in flight goes to it.
        if (ni.Pending().Offer(answer))
            continue;
        if (answer->Response) {
            // Another request's answer (a late one, or one a device sent again for a
            // transaction it took this one for) is no answer to this request.
            if (!AnswersRequest(message, *answer))
                continue;
            ni.AddResponse(std::move(answer));
            ++answers;
            if (message.Command == CmdLocal || firstAnswer)
                return LonStatus::Ok;
            continue;
        }
        if (answer->Tag == message.Tag && answer->Code == message.Code) {
            if (answer->CompletionCode == 1)
                return expectsAnswer && answers == 0 ? LonStatus::Failed : LonStatus::Ok;
            if (answer->CompletionCode == 2)
                return LonStatus::Failed;
        }
        ni.AddUnsolicited(std::move(answer));
    }
    return LonStatus::NoAnswer;
}

qint16 StartFetch(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node, quint16 index,
                  qint64 deadlineUs, quint8 &tag)
{
    TniMessage message;
    SetVariableIndex(message, index);
    // A fetch the interface cannot take now is not written again here: the wait would let
    // events in, and with them the site's tick, which runs the poller inside the pump that
    // started this fetch. The poller tries again on a later pump.
    const qint16 written = WriteMessage(ni, message, LonWire::CodeNvFetch, domain, subnet, node, TWhenNoBuffer::Answer);
    tag = message.Tag;
    if (written == 0)
        ni.Pending().Add(message, deadlineUs);
    return written;
}

void PumpPendingFetches(TniNetworkInterface &ni, int maxFrames)
{
    for (int read = 0; read < maxFrames; ++read) {
        std::unique_ptr<TniMessage> message = ReadMessage(ni);
        if (!message)
            return;
        // Frames of no fetch in flight (late answers, incoming messages) are not kept.
        ni.Pending().Offer(message);
    }
}
