#include "site/SiteNetwork.h"

#include "lonworks/LDV32.h"
#include "lonworks/LonInterface.h"
#include "lonworks/LonLib.h"
#include "site/TypeSite.h"

short OpenSiteInterface(TniNetworkInterface &interface, const QString &name)
{
    qint16 handle = -1;
    const qint16 status = LDV32::Open(name.toLocal8Bit(), handle);
    if (status == 0)
        interface.Handle = handle;
    return status;
}

short CloseSiteInterface(TniNetworkInterface &interface)
{
    if (interface.Handle < 0)
        return 0;
    const qint16 status = LDV32::Close(interface.Handle);
    interface.Handle = -1;
    return status;
}

QString SiteInterfaceName(const QString &name)
{
    return LDV32::XlateDeviceNameStd(name.toLocal8Bit());
}

QString SiteLibraryVersion()
{
    return LDV32::GetVersion();
}

void StartSiteInterface(TniNetworkInterface &interface, const TSite &site)
{
    StartNetworkInterface(interface, {site.Dom0ID, site.Dom0Node, site.Dom0Subnet},
                          {site.Dom1ID, site.Dom1Node, site.Dom1Subnet});
}
