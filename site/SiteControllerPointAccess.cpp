// Single point commands that go to the network at once: POINTGETVALUE (job 14) reads one
// point; POINTMODIFY (job 12) hands one point's new value to WritePoint, where an ordinary
// write fetches the point's variable, encodes the one field and sends the whole variable
// back, and an object write sends a five-byte object command to the device's object
// command variable.
#include "site/SiteController.h"

#include "lonworks/LonInterface.h"
#include "site/DeviceObject.h"
#include "site/PointModifyRequest.h"
#include "site/PointNetwork.h"
#include "snvt/FieldDecoder.h"
#include "snvt/FieldEncoder.h"
#include "support/ParamList.h"
#include "support/StrLib.h"

#include <array>

namespace {

constexpr int SingleReadBufferSize = 256;
constexpr int WriteBufferSize = 256;

bool IsCommStatusObject(const PointAddress &address)
{
    return address.HasObject && address.ObjectName.toUpper().contains(QLatin1String("X1"));
}

} // namespace

void TSiteController::RunPointGetValue()
{
    bool success = false;
    try {
        PointAddress address;
        if (!FWorkingOffline && ParseRequestedPoint(address)) {
            std::array<quint8, SingleReadBufferSize> bytes{};
            quint8 length = 0;
            const bool fetched =
                FetchPointVariable(*FInterface, address, address.VariableIndex, bytes, length) == 0;
            QString value;
            if (IsCommStatusObject(address)) {
                value = fetched ? QStringLiteral("1") : QStringLiteral("0");
                success = true;
            } else if (fetched) {
                value = DecodeField(QByteArrayView(bytes.data(), bytes.size()), length, address.VariableOffset,
                                    address.VariableType, address.Parameter, FSite.TempsInF);
                if (address.Scale != 0.0 && !value.isEmpty())
                    value = FormatFixed(ScaleNumber(value) / address.Scale, 4);
                success = true;
            }
            if (success)
                FSlot.SetResultData(QStringList{StrParam(QStringLiteral("VALUE"), value), QString()});
        }
    } catch (...) {
        success = false;
    }
    FSlot.SetErrorText(success ? QString() : QStringLiteral("Could not read data from panel."));
    CompleteJob(success);
}

void TSiteController::RunPointModify()
{
    bool success = false;
    QString refusal;
    try {
        QString point;
        FindParam(FSlot.Request(), QStringLiteral("POINT"), point);
        if (IsOnline()) {
            const TPointModifyRequest request = ParsePointModify(point);
            success = WritePoint(request.Address, request.Value, request.StateFlag, request.ObjectValue, refusal);
        }
    } catch (...) {
        success = false;
    }
    // The usual failure answer, with the reason when the value was refused.
    const QString failure = QStringLiteral("Could not modify point.");
    FSlot.SetErrorText(success ? QString() : (refusal.isEmpty() ? failure : failure + u' ' + refusal));
    CompleteJob(success);
}

bool TSiteController::WritePoint(const QString &address, const QString &value, qint32 stateFlag,
                               const QString &objectValue, QString &refusal)
{
    PointAddress parsed;
    if (!ParsePointAddress(address, parsed))
        return false;
    const bool written = parsed.HasObject ? WriteObject(parsed, stateFlag, objectValue)
                                          : WriteField(parsed, value, refusal);
    if (written)
        FPoller.StorePointValue(address, parsed.HasObject ? objectValue : value);
    return written;
}

bool TSiteController::WriteObject(const PointAddress &address, qint32 stateFlag, const QString &objectValue)
{
    qint16 value = 0;
    TDeviceObject object;
    if (!ObjectCommandValue(objectValue, address.Scale, value) || !ParseDeviceObject(address.ObjectName, object))
        return false;
    quint8 state = quint8(stateFlag & 0xFF);
    if (stateFlag == -1) {
        // Keep the object's present state, read from the device; 0 when it cannot be read.
        std::array<quint8, WriteBufferSize> bytes{};
        quint8 length = 0;
        state = 0;
        if (FetchPointVariable(*FInterface, address, DisabledObjectsVariable, bytes, length) == 0)
            state = BitInBytes(QByteArrayView(bytes.data(), length), StateBit(object)) ? 1 : 0;
    }
    const auto record = ObjectCommandRecord(object, state, value);
    return UpdatePointVariable(*FInterface, address, ObjectCommandVariable, record) == 0;
}

bool TSiteController::WriteField(const PointAddress &address, const QString &value, QString &refusal)
{
    if (value.isEmpty()) {
        refusal = QStringLiteral("No value was given.");
        return false;
    }
    // Refused before the fetch: a value that does not fit sends nothing at all.
    const EncodeResult fits = CheckFieldValue(value, address.VariableType, address.Parameter, FSite.TempsInF,
                                              address.Scale, address.VariableOffset);
    if (!fits) {
        refusal = fits.Reason;
        return false;
    }
    QByteArray bytes(WriteBufferSize, '\0');
    quint8 length = 0;
    if (FetchPointVariable(*FInterface, address, address.VariableIndex,
                           std::span<quint8>(reinterpret_cast<quint8 *>(bytes.data()), bytes.size()), length)
        != 0)
        return false;
    const EncodeResult encoded = EncodeField(value, bytes, length, address.VariableOffset, address.VariableType,
                                             address.Parameter, FSite.TempsInF, address.Scale);
    if (!encoded) {
        refusal = encoded.Reason;
        return false;
    }
    return UpdatePointVariable(*FInterface, address, address.VariableIndex,
                               std::span<const quint8>(reinterpret_cast<const quint8 *>(bytes.constData()), length))
        == 0;
}
