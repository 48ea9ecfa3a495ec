#include "lonsim/NetworkRegistry.h"

namespace lonsim {

NetworkRegistry &NetworkRegistry::instance()
{
    static NetworkRegistry registry;
    return registry;
}

Network *NetworkRegistry::find(const QString &key) const
{
    const auto it = m_networks.find(key);
    return it == m_networks.end() ? nullptr : it->second.get();
}

Network *NetworkRegistry::obtain(const QString &key, const std::function<LoadResult()> &load, QString &error)
{
    if (Network *existing = find(key))
        return existing;
    LoadResult result = load();
    if (!result.model) {
        error = result.error;
        return nullptr;
    }
    const QString scale = qEnvironmentVariable("LONSIM_TIME_SCALE");
    bool ok = false;
    const double factor = scale.toDouble(&ok);
    if (ok && factor > 0 && factor <= 100)
        result.model->timeScale = factor;
    auto network = std::make_unique<Network>(std::move(*result.model), key);
    Network *raw = network.get();
    m_networks.emplace(key, std::move(network));
    return raw;
}

std::vector<Network *> NetworkRegistry::networks() const
{
    std::vector<Network *> out;
    for (const auto &[key, network] : m_networks)
        out.push_back(network.get());
    return out;
}

} // namespace lonsim
