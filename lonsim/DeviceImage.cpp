#include "lonsim/DeviceImage.h"

#include "lontalk/DeviceImage.h"

namespace lonsim {

QByteArray readOnlyStructure(const Device &device)
{
    lontalk::ReadOnlyFields f;
    f.neuronId = device.neuronId;
    f.programId = device.programId;
    f.model = device.model;
    f.minorModel = device.minorModel;
    f.nvCount = device.nvIndexCount();
    f.selfDocAddress = device.selfDocAddress;
    return lontalk::readOnlyStructure(f);
}

QByteArray selfDocumentation(const Device &device)
{
    lontalk::SelfDocFields f;
    f.version = device.selfDocVersion;
    f.doc = device.doc;
    for (const NetworkVariable &nv : device.variables)
        f.variables.append({nv.snvt, nv.name, nv.doc, nv.arrayCount, nv.extensionRecord, nv.maxRateEstimate,
                            nv.rateEstimate});
    return lontalk::selfDocumentation(f);
}

} // namespace lonsim
