#include "ldv/InterfaceNames.h"

#include "lonsim/NetworkRegistry.h"

#include <QDir>
#include <QFileInfo>

namespace ldv {

namespace {

ResolvedName fromFile(const QString &path)
{
    ResolvedName r;
    const QFileInfo info(path);
    r.key = info.canonicalFilePath();
    r.source = r.key;
    r.load = [file = r.key] { return lonsim::loadDescriptionFile(file); };
    return r;
}

} // namespace

ResolvedName resolveInterfaceName(const QString &name)
{
    if (name.isEmpty()) {
        ResolvedName r;
        r.error = QStringLiteral("no interface name given");
        return r;
    }
    if (!lonsim::builtinNetwork(name).isEmpty()) {
        ResolvedName r;
        r.key = name.toUpper();
        r.source = QStringLiteral("the built-in demonstration network");
        r.load = [key = r.key] { return lonsim::loadDescription(lonsim::builtinNetwork(key), key + QLatin1String(".json")); };
        return r;
    }
    const QString path = qEnvironmentVariable("LONSIM_PATH");
    const QStringList folders = path.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (!name.contains(QLatin1Char('/'))) {
        for (const QString &folder : folders) {
            const QString candidate = QDir(folder).filePath(name + QLatin1String(".json"));
            if (QFileInfo(candidate).isFile())
                return fromFile(candidate);
        }
    }
    if (QFileInfo(name).isFile())
        return fromFile(name);
    ResolvedName r;
    r.error = QStringLiteral("no network named \"%1\": it is not LON1, there is no %1.json in LONSIM_PATH (%2) "
                             "and no description file of that path")
                  .arg(name, path.isEmpty() ? QStringLiteral("not set") : path);
    return r;
}

} // namespace ldv
