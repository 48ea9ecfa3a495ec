#pragma once
// The site form's calls into the network layer: opening and closing its interface through
// the driver library, the identity texts the library reports, and the interface start-up.

#include <QString>

class TSite;
class TniNetworkInterface;

// ldv_open of the site's interface name; on status 0 the handle is in the interface.
short OpenSiteInterface(TniNetworkInterface &interface, const QString &name);
// ldv_close of the interface's handle; the handle is forgotten whatever the result.
short CloseSiteInterface(TniNetworkInterface &interface);
// Name text from ldv_xlate_device_name_std and the library's version text.
QString SiteInterfaceName(const QString &name);
QString SiteLibraryVersion();
// Why no call into the driver library can be made (not loaded, entries missing); empty
// when it is whole.
QString SiteLibraryProblem();
// Reads the interface's identity and applies the site's domain settings.
void StartSiteInterface(TniNetworkInterface &interface, const TSite &site);
// One read of the interface (nothing is sent), so that its Lost state is the library's
// word of now even on a site that has not used it for a while; a frame read goes where an
// exchange would put it (a fetch in flight, or the unsolicited messages).
void ProbeSiteInterface(TniNetworkInterface &interface);
