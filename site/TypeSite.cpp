#include "TypeSite.h"

TSite::TSite(QObject *owner)
    : QObject(owner)
{
}

void TSite::AssignFrom(const QObject *source)
{
    const auto *other = qobject_cast<const TSite *>(source);
    if (!other || other == this)
        return;
    Description = other->Description;
    OfflineMode = other->OfflineMode;
    Username = other->Username;
    Password = other->Password;
    DeviceType = other->DeviceType;
    Address = other->Address;
    UpdateRate = other->UpdateRate;
    PanelType = other->PanelType;
    PanelTypeID = other->PanelTypeID;
    PanelTypeIndex = other->PanelTypeIndex;
    IsRemoteClient = other->IsRemoteClient;
    ServerIndex = other->ServerIndex;
    LonDeviceName = other->LonDeviceName;
    TempsInF = other->TempsInF;
    Dom0ID = other->Dom0ID;
    Dom1ID = other->Dom1ID;
    Dom0Node = other->Dom0Node;
    Dom1Node = other->Dom1Node;
    Dom0Subnet = other->Dom0Subnet;
    Dom1Subnet = other->Dom1Subnet;
    PollSettings = other->PollSettings;
}
