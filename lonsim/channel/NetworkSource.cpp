#include "lonsim/channel/NetworkSource.h"

#include "lonsim/NetworkRegistry.h"

#include <QDir>
#include <QFileInfo>

namespace lonsim::channel {

Network *openNetwork(const QString &name, QString &error)
{
    NetworkRegistry &registry = NetworkRegistry::instance();
    if (!builtinNetwork(name).isEmpty()) {
        const QString key = name.toUpper();
        return registry.obtain(
            key, [key] { return loadDescription(builtinNetwork(key), key + QLatin1String(".json")); }, error);
    }
    QString file;
    if (!name.contains(QLatin1Char('/'))) {
        const QStringList folders = qEnvironmentVariable("LONSIM_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        for (const QString &folder : folders) {
            const QString candidate = QDir(folder).filePath(name + QLatin1String(".json"));
            if (QFileInfo(candidate).isFile()) {
                file = candidate;
                break;
            }
        }
    }
    if (file.isEmpty() && QFileInfo(name).isFile())
        file = name;
    if (file.isEmpty()) {
        error = QStringLiteral("no network named \"%1\": not LON1, no %1.json in LONSIM_PATH, no such file").arg(name);
        return nullptr;
    }
    const QString key = QFileInfo(file).canonicalFilePath();
    return registry.obtain(key, [key] { return loadDescriptionFile(key); }, error);
}

} // namespace lonsim::channel
