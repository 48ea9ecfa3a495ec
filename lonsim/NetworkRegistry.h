#pragma once
// The networks opened in this process, by name. Interfaces opened on the same name share
// one network; a network, once opened, lives until the process ends, so its devices keep
// their values while no handle is open, as real devices do.

#include "lonsim/DescriptionLoader.h"
#include "lonsim/Network.h"

#include <QString>
#include <functional>
#include <map>
#include <memory>

namespace lonsim {

class NetworkRegistry {
public:
    static NetworkRegistry &instance();

    Network *find(const QString &key) const;
    // The network of that key, built from the model the loader gives when it is new;
    // nullptr (and error set) when the loader fails.
    Network *obtain(const QString &key, const std::function<LoadResult()> &load, QString &error);
    std::vector<Network *> networks() const;

private:
    std::map<QString, std::unique_ptr<Network>> m_networks;
};

// LON1, the demonstration network compiled into the library.
QByteArray builtinNetwork(const QString &name);

} // namespace lonsim
