// Which response answers which request. A device that takes a request for the repeat of
// an earlier transaction (a reused transaction ID) sends that transaction's stored
// response again, and a faulty one may send anything: only an answer that fits the
// request (its tag, its code, the variable or length it asked for) is taken for it.
#include "lonworks/LonLib.h"
#include "lonworks/LonWire.h"

namespace {

// Network management and diagnostics answer with (code & 0x1F) | 0x20 on success and
// code & 0x1F on failure.
constexpr quint8 ManagementSuccess(quint8 code) { return quint8((code & 0x1F) | 0x20); }
constexpr quint8 ManagementFailure(quint8 code) { return quint8(code & 0x1F); }

// The index a fetch request asks for, in either form; -1 when its data is cut short.
int AskedIndex(std::span<const quint8> asked)
{
    if (asked.empty())
        return -1;
    if (asked[0] != 0xFF)
        return asked[0];
    return asked.size() >= 3 ? asked[1] << 8 | asked[2] : -1;
}

} // namespace

bool AnswersRequest(const TniMessage &request, const TniMessage &answer)
{
    if (!answer.Response || answer.Tag != request.Tag)
        return false;
    const quint8 code = request.Code;
    const std::span<const quint8> asked(request.Data.data(), request.DataLength);
    const std::span<const quint8> got = answer.Received();
    if (code & 0x80) {
        // A variable polled by selector answers with that selector and a value.
        return (answer.Code & 0xBF) == (code & 0xBF) && !asked.empty() && got.size() > 1 && got[0] == asked[0];
    }
    if (code < 0x50)
        return true;    // application messages: their answers are the application's business
    if (answer.Code == ManagementFailure(code))
        return true;    // the device refused this request
    if (answer.Code != ManagementSuccess(code))
        return false;
    switch (code) {
    case LonWire::CodeReadMemory:
        return asked.size() >= 4 && got.size() == asked[3];
    case LonWire::CodeQuerySnvt:
        return asked.size() >= 3 && got.size() == asked[2];
    case LonWire::CodeNvFetch: {
        const int index = AskedIndex(asked);
        const auto value = index < 0 ? std::nullopt : FetchedValue(answer, quint16(index));
        return value && !value->empty();
    }
    case LonWire::CodeQueryId:
        return got.size() >= 6;
    case LonWire::CodeQueryNvConfig:
        return got.size() >= 3;
    default:
        return true;
    }
}

std::optional<std::span<const quint8>> FetchedValue(const TniMessage &answer, quint16 index)
{
    const auto r = answer.Received();
    if (answer.Code != LonWire::SuccessCode(LonWire::CodeNvFetch) || r.empty())
        return std::nullopt;
    if (r[0] == 0xFF) {
        if (r.size() < 3 || quint16(r[1] << 8 | r[2]) != index)
            return std::nullopt;
        return r.subspan(3);
    }
    if (r[0] != index)
        return std::nullopt;
    return r.subspan(1);
}
