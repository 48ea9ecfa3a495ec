#include "site/SiteNetwork.h"

#include "lonworks/LDV32.h"
#include "lonworks/LonInterface.h"
#include "lonworks/LonLib.h"
#include "site/TypeSite.h"

short OpenSiteInterface(TniNetworkInterface &interface, const QString &name)
{
    return interface.Open(name.toLocal8Bit());
}

short CloseSiteInterface(TniNetworkInterface &interface)
{
    return interface.Close();
}

QString SiteInterfaceName(const QString &name)
{
    return LDV32::XlateDeviceNameStd(name.toLocal8Bit());
}

QString SiteLibraryVersion()
{
    return LDV32::GetVersion();
}

QString SiteLibraryProblem()
{
    return LDV32::LoadProblem();
}

void StartSiteInterface(TniNetworkInterface &interface, const TSite &site)
{
    StartNetworkInterface(interface, {site.Dom0ID, site.Dom0Node, site.Dom0Subnet},
                          {site.Dom1ID, site.Dom1Node, site.Dom1Subnet});
}

void ProbeSiteInterface(TniNetworkInterface &interface)
{
    // A frame of a fetch the poller has in flight goes to it, as in an exchange.
    std::unique_ptr<TniMessage> message = ReadMessage(interface);
    if (message && !interface.Pending().Offer(message))
        interface.AddUnsolicited(std::move(message));
}
