// Single point commands that go to the network at once: POINTGETVALUE (job 14) reads one
// point, POINTMODIFY (job 12) hands one point's new value to WritePoint.
#include "site/LonWorksForm.h"

#include "support/ParamList.h"
#include "site/TypeSite.h"
#include "lonworks/LonInterface.h"
#include "site/PointModifyRequest.h"
#include "site/PointNetwork.h"
#include "snvt/FieldDecoder.h"
#include "support/StrLib.h"

#include <array>

namespace {

constexpr int SingleReadBufferSize = 256;

bool IsCommStatusObject(const PointAddress &address)
{
    return address.HasObject && address.ObjectName.toUpper().contains(QLatin1String("X1"));
}

} // namespace

void TLonWorksForm::RunPointGetValue()
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
                                    address.VariableType, address.Parameter, FSite->TempsInF);
                if (address.Scale != 0.0 && !value.isEmpty())
                    value = FormatFixed(ScaleNumber(value) / address.Scale, 4);
                success = true;
            }
            if (success)
                FResultData = QStringList{StrParam(QStringLiteral("VALUE"), value), QString()};
        }
    } catch (...) {
        success = false;
    }
    SetErrorText(success ? QString() : QStringLiteral("Could not read data from panel."));
    CompleteJob(success);
}

void TLonWorksForm::RunPointModify()
{
    bool success = false;
    try {
        QString point;
        FindParam(FRequest, QStringLiteral("POINT"), point);
        if (IsOnline()) {
            const TPointModifyRequest request = ParsePointModify(point);
            success = WritePoint(request.Address, request.Value, request.StateFlag, request.ObjectValue);
        }
    } catch (...) {
        success = false;
    }
    SetErrorText(success ? QString() : QStringLiteral("Could not modify point."));
    CompleteJob(success);
}
