// WritePoint: an ordinary write fetches the point's variable, encodes the one field and
// sends the whole variable back; an object write sends a five-byte object command to the
// device's object command variable.
#include "site/LonWorksForm.h"

#include "site/TypeSite.h"
#include "lonworks/LonInterface.h"
#include "site/DeviceObject.h"
#include "site/PointNetwork.h"
#include "snvt/FieldEncoder.h"
#include "support/StrLib.h"

#include <array>
#include <cmath>

namespace {

constexpr int WriteBufferSize = 256;

} // namespace

bool TLonWorksForm::WritePoint(const QString &address, const QString &value, qint32 stateFlag,
                               const QString &objectValue)
{
    PointAddress parsed;
    if (!ParsePointAddress(address, parsed))
        return false;
    const bool written = parsed.HasObject ? WriteObject(parsed, stateFlag, objectValue) : WriteField(parsed, value);
    if (written)
        StorePointValue(address, parsed.HasObject ? objectValue : value);
    return written;
}

bool TLonWorksForm::WriteObject(const PointAddress &address, qint32 stateFlag, const QString &objectValue)
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

bool TLonWorksForm::WriteField(const PointAddress &address, const QString &value)
{
    if (value.isEmpty())
        return false;
    QString text = value;
    if (address.Scale != 0.0) {
        const double scaled = ReadFlagOrDouble(value) * address.Scale;
        if (!std::isfinite(scaled))
            return false;
        text = FormatFixed(scaled, 4);
    }
    QByteArray bytes(WriteBufferSize, '\0');
    quint8 length = 0;
    if (FetchPointVariable(*FInterface, address, address.VariableIndex,
                           std::span<quint8>(reinterpret_cast<quint8 *>(bytes.data()), bytes.size()), length)
        != 0)
        return false;
    if (!EncodeField(text, bytes, length, address.VariableOffset, address.VariableType, address.Parameter,
                     FSite->TempsInF))
        return false;
    return UpdatePointVariable(*FInterface, address, address.VariableIndex,
                               std::span<const quint8>(reinterpret_cast<const quint8 *>(bytes.constData()), length))
        == 0;
}
