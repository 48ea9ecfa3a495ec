#include "lonsim/XifDevice.h"

#include "support/Windows1252.h"

namespace lonsim {

namespace {

QString withoutText(const QString &doc)
{
    const qsizetype semicolon = doc.indexOf(u';');
    return semicolon < 0 ? doc : doc.left(semicolon);
}

} // namespace

void applyInterface(Device &device, const xif::DeviceInterface &interface, bool selfDocNames)
{
    device.programId = interface.programId;
    device.doc = FromWindows1252(interface.selfDoc);
    device.variables.clear();
    for (const xif::Variable &v : interface.variables) {
        NetworkVariable nv;
        nv.index = v.index;
        nv.snvt = v.typeNumber;
        nv.output = v.output;
        nv.size = v.size;
        const QString doc = FromWindows1252(v.selfDoc);
        nv.name = selfDocNames ? v.name : QString();
        nv.doc = selfDocNames ? doc : withoutText(doc);
        QByteArray value = v.initialValue.left(v.size);
        value.append(QByteArray(v.size - value.size(), '\0'));
        nv.initial = {value};
        device.variables.append(nv);
    }
}

} // namespace lonsim
