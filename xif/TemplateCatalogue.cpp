#include "xif/TemplateCatalogue.h"

#include "xif/BoundedFile.h"
#include "xif/XifLog.h"
#include "xif/XifParser.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace xif {

QStringList TemplateCatalogue::defaultFolders()
{
    QStringList folders;
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(data + QStringLiteral("/lonworks/templates"));
    return folders;
}

void TemplateCatalogue::load(const QStringList &folders)
{
    int files = 0;
    qint64 bytes = 0;
    auto skip = [this](const QString &problem) {
        qCWarning(lcXif).noquote() << "template skipped:" << problem;
        m_problems.append(problem);
    };
    for (const QString &folder : folders) {
        const QDir dir(folder);
        if (!dir.exists())
            continue;
        const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*.xif")},
                                                        QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (++files > MaxTemplateFiles || bytes + entry.size() > MaxTemplateBytes) {
                skip(QStringLiteral("%1: past the limit of %2 template files or %3 bytes in all")
                         .arg(entry.filePath()).arg(MaxTemplateFiles).arg(MaxTemplateBytes));
                return;
            }
            bytes += entry.size();
            ParseResult parsed = readInterfaceFile(entry.filePath());
            if (!parsed.interface) {
                skip(parsed.error);
                continue;
            }
            const QString key = programIdText(parsed.interface->programId);
            if (m_byProgramId.contains(key))
                continue;   // an earlier folder (or file) has this program ID
            auto t = std::make_shared<Template>();
            t->interface = std::move(*parsed.interface);
            t->name = entry.completeBaseName();
            t->path = entry.filePath();
            m_templates.append(t);
            m_byProgramId.insert(key, t);
        }
        const QString typesPath = dir.filePath(TypeFileName);
        if (QFileInfo::exists(typesPath)) {
            QString error;
            const std::optional<QByteArray> json = readBoundedFile(typesPath, MaxTypeFileBytes, error);
            const TypeFile types = json ? TypeFile::parse(*json, typesPath, error) : TypeFile();
            if (!error.isEmpty())
                skip(json ? error : typesPath + QStringLiteral(": ") + error);
            else
                m_types.addMissing(types);
        }
    }
}

const Template *TemplateCatalogue::find(const ProgramId &programId) const
{
    const auto it = m_byProgramId.find(programIdText(programId));
    return it == m_byProgramId.end() ? nullptr : it->get();
}

} // namespace xif
