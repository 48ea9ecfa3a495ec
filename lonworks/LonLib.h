#pragma once
// Request/response transactions with LonWorks devices and with the local network
// interface, over the driver library: exchange, domains, memory, self-documentation,
// discovery, network variables and file transfer. Every operation returns a status.

#include "lonworks/LonTypes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

#include <memory>
#include <optional>
#include <span>

// The domain settings a site applies to one entry of its interface's domain table: a
// domain ID text (1, 3 or 6 hex bytes, see ParseDomainId; empty keeps the interface's
// own), and a subnet and node applied together when both are in range.
struct TniDomainSetting
{
    QString Id;
    quint8 Node = 0;
    quint8 Subnet = 0;
};

namespace LonStatus {
constexpr qint16 Ok = 0;
constexpr qint16 BadDomainIndex = 251;  // nothing was sent
constexpr qint16 BadLength = 252;       // an answer of unexpected length (or a value too long to send)
constexpr qint16 NoAnswer = 253;        // nothing arrived within one receive wait
constexpr qint16 Failed = 254;          // the transaction failed, or brought no answer that fits the request
} // namespace LonStatus

namespace LonLib {
constexpr int WaitAttempts = 75;        // per receive wait
constexpr int WaitIntervalMs = 25;
// Writes the library refuses for want of a buffer are tried again this often, WaitIntervalMs
// apart (4 s: longer than a USB interface takes to set itself up again, three checks of 1 s).
constexpr int WriteAttempts = 160;
// An exchange stops collecting after this many messages (a network that never falls
// silent must not hold the exchange forever); it then answers NoAnswer.
constexpr int MaxMessagesPerExchange = 4096;
// Query ID passes of FindDevices: the cycle ends after MaxStalePasses passes in a row in
// which no device answered that this run had not seen before (a device that ignores
// Respond to Query keeps answering), and after MaxQueryIdPasses passes in any case.
constexpr int MaxStalePasses = 3;
constexpr int MaxQueryIdPasses = 255;
// ReadFile: idle polls 10 ms apart before giving up, and frames read per transfer.
constexpr int FileIdleLimit = 300;
constexpr int FileIntervalMs = 10;
constexpr int MaxFileFrames = 65536;
// Variable indexes past this are not produced by the self-documentation parse.
constexpr int MaxVariableIndex = 0xFFFF;
// A fetch in flight that hears nothing for this long ends as NoAnswer: past the failure
// completion of the driver's transactions (1.536 s) with room for a slow channel's queue.
constexpr int PendingFetchLimitMs = 4000;
// Frames one pump of the fetches in flight reads at most.
constexpr int MaxFramesPerPump = 256;
} // namespace LonLib

// Exchange (LonExchange.cpp)
std::unique_ptr<TniMessage> ReadMessage(TniNetworkInterface &ni);
std::unique_ptr<TniMessage> WaitForMessage(TniNetworkInterface &ni);
// What a write does when the library has no buffer for the frame now (LDV_NO_BUFF_AVAIL).
enum class TWhenNoBuffer {
    WriteAgain,     // waits and writes again for a bounded time (WriteAttempts), letting events in
    Answer,         // answers the status at once: the caller tries again later
};
// Writes a frame; the library's last status.
qint16 WriteFrame(TniNetworkInterface &ni, const QByteArray &frame, TWhenNoBuffer whenNoBuffer = TWhenNoBuffer::WriteAgain);
// Sends message with code and collects its answers into ni.Responses(): only responses
// that answer it (AnswersRequest); others are dropped. A request whose transaction
// completes without one such answer fails (Failed), as one whose answer was lost does.
qint16 ExchangeMessage(TniNetworkInterface &ni, TniMessage &message, quint8 code,
                       quint8 domain, quint8 subnet, quint8 node);
// Addresses message (a tag past those in flight when it asks for one) and writes it; the
// library's status.
qint16 WriteMessage(TniNetworkInterface &ni, TniMessage &message, quint8 code,
                    quint8 domain, quint8 subnet, quint8 node,
                    TWhenNoBuffer whenNoBuffer = TWhenNoBuffer::WriteAgain);
// Fetches in flight (several at once, to different devices): StartFetch writes the request
// and leaves it pending under tag until deadlineUs; PumpPendingFetches reads what has come
// (at most maxFrames) and hands it to them; ni.Pending().TakeFinished gives the outcomes.
// StartFetch never waits: LDV_NO_BUFF_AVAIL is answered at once (nothing pending).
qint16 StartFetch(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node, quint16 index,
                  qint64 deadlineUs, quint8 &tag);
void PumpPendingFetches(TniNetworkInterface &ni, int maxFrames = LonLib::MaxFramesPerPump);
// True when answer (a response) answers request (LonAnswers.cpp): the request's tag;
// for network management, its success or failure code; a fetch's variable index, the
// length a memory read or Query SNVT asked for, a polled selector.
bool AnswersRequest(const TniMessage &request, const TniMessage &answer);
// The value a fetch answer carries for variable index (either index form); nothing when
// it is not a successful fetch answer for that variable.
std::optional<std::span<const quint8>> FetchedValue(const TniMessage &answer, quint16 index);

// Domains, memory and read-only structure (LonMemory.cpp)
qint16 QueryDomain(TniNetworkInterface &ni, quint8 index, TniDomainTableEntry &entry);
qint16 UpdateDomain(TniNetworkInterface &ni, quint8 index, const TniDomainTableEntry &entry);
// count bytes from address, chunk bytes per request (0: 16); stores at most buffer.size().
qint16 ReadMemory(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                  quint16 address, quint16 count, quint8 chunk, std::span<quint8> buffer);
qint16 QuerySnvt(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                 quint16 offset, quint16 count, quint8 chunk, std::span<quint8> buffer);
qint16 ReadReadOnlyStructure(TniNetworkInterface &ni, TniReadOnlyStructure &structure,
                             quint8 domain, quint8 subnet, quint8 node);

// Self-documentation (LonSelfDoc.cpp).
// What a device says about itself: its program ID (from its read-only structure), its
// documentation text and one entry per variable descriptor (an array is one entry with
// its element count); a variable without an extension record is not documented.
struct TSelfDocVariable
{
    int Index = 0;          // the variable index of the first element
    quint8 Snvt = 0;
    QString Name;           // empty when the device gives none
    int Count = 1;          // array elements
    bool Documented = false;
};
struct TDeviceSelfDoc
{
    std::array<quint8, 8> ProgramId{};
    bool HasProgramId = false;
    QString Text;           // the device's documentation string
    QList<TSelfDocVariable> Variables;
};
// Reads what the device says; a device that does not answer leaves doc as it was (always 0).
qint16 ReadDeviceSelfDoc(TniNetworkInterface &ni, TDeviceSelfDoc &doc, quint8 domain, quint8 subnet,
                         quint8 node, int maxVariables);
void ParseDeviceSelfDoc(std::span<const quint8> bytes, TDeviceSelfDoc &doc, int maxVariables);
// Appends "{domain}{subnet}{node}{index}{snvt}{name}"
// per variable (array elements one by one), at most maxLines of them; always 0.
constexpr int AllSelfDocLines = LonLib::MaxVariableIndex + 1;
qint16 ReadSelfDocumentation(TniNetworkInterface &ni, QStringList &lines,
                             quint8 domain, quint8 subnet, quint8 node,
                             int maxLines = AllSelfDocLines);
// The parse alone, on the self-documentation bytes read (the whole span is data).
void ParseSelfDocumentation(std::span<const quint8> bytes, quint8 domain, quint8 subnet,
                            quint8 node, QStringList &lines, int maxLines = AllSelfDocLines);

// Discovery (LonDiscovery.cpp): appends "domain:subnet:node:" + six Neuron ID characters
// for each device not yet listed under either domain.
qint16 FindDevices(TniNetworkInterface &ni, quint8 domain, QStringList &devices);

// Network variables (LonVariables.cpp)
// A variable's index as a request's data: one byte below 63, else 0xFF and two bytes.
void SetVariableIndex(TniMessage &message, quint16 index);
// Stores at most buffer.size() bytes of the value; length is the number stored.
qint16 FetchNetworkVariable(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                            quint16 index, std::span<quint8> buffer, quint8 &length);
qint16 QueryNvConfig(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                     quint16 index, quint8 &configByte, quint16 &selector);
// A value longer than LonWire::MaxDataLength - 1 bytes is refused with BadLength. A
// variable whose configuration asks for authentication is updated with the
// authentication bit and read back: the update succeeds only if the value took.
qint16 UpdateNetworkVariable(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
                             quint16 index, std::span<const quint8> value);

// File transfer (LonFile.cpp): the number of bytes stored in buffer, 0 on failure or for a
// domain index other than 0 or 1.
int ReadFile(TniNetworkInterface &ni, quint8 domain, quint8 subnet, quint8 node,
             quint16 fileIndex, quint16 requestIndex, std::span<quint8> buffer);

// Interface start-up and domain IDs (LonStart.cpp)
// Reads the interface's read-only structure and applies the two domain settings.
void StartNetworkInterface(TniNetworkInterface &ni, const TniDomainSetting &domain0,
                           const TniDomainSetting &domain1);
bool ParseDomainId(const QString &text, TniDomainTableEntry &entry);
