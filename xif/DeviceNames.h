#pragma once
// The names file: the names a site's user gives its devices, by address. One JSON file
// for every site of the machine's user, found beside the interfaces file (docs/templates.md):
//   { "sites": { "Plant": { "0:1:10": "Boiler room", "0:1:20": "AHU 1" } } }
// Site descriptions match without regard to letter case, as sites do. A file that breaks
// a rule is refused as a whole, naming the item.

#include <QByteArrayView>
#include <QHash>
#include <QString>

namespace xif {

inline constexpr qint64 MaxNamesFileBytes = 1024 * 1024;
inline constexpr int MaxNamedDevices = 65536;     // all sites together
inline constexpr int MaxDeviceNameLength = 64;

// Why a device name is not acceptable (empty when it is): 1 to 64 characters, not only
// blanks, without braces, "/", ":" or control characters, so that it can stand in a
// point entry and in "device/variable".
QString deviceNameProblem(const QString &name);

// "d:s:n" with domain 0..1, subnet 1..255, node 1..127, written without leading zeros;
// empty when the text is no such address.
QString normalDeviceAddress(const QString &text);

class DeviceNames {
public:
    // LONWORKS_DEVICE_NAMES when set; else $XDG_CONFIG_HOME/lonworks/device-names.json
    // when it exists; else /etc/lonworks/device-names.json.
    static QString defaultPath();
    static DeviceNames parse(QByteArrayView json, const QString &sourceName, QString &error);
    // The file at path; a missing file gives no names and no error.
    static DeviceNames load(const QString &path, QString &error);

    // Address ("d:s:n") to name, for the site of that description.
    QHash<QString, QString> forSite(const QString &description) const;

private:
    QHash<QString, QHash<QString, QString>> m_sites;   // by upper-case description
};

} // namespace xif
