#pragma once
// Templates: device interface files kept in template folders and matched to discovered
// devices by program ID, with the type files kept beside them. The folders are the
// "lonworks/templates" folders of the data folders, the user's first:
// $XDG_DATA_HOME (~/.local/share), then $XDG_DATA_DIRS (/usr/local/share, /usr/share).
// Where two files carry one program ID the first folder's wins (within a folder, the
// first by file name). Files that are refused are skipped, each noted in problems().

#include "xif/DeviceInterface.h"
#include "xif/TypeFile.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

namespace xif {

inline constexpr int MaxTemplateFiles = 4096;               // all folders together
inline constexpr qint64 MaxTemplateBytes = 64 * 1024 * 1024; // all files together
inline const QString TypeFileName = QStringLiteral("types.json");

struct Template {
    DeviceInterface interface;
    QString name;    // the file's name without its extension: the device name it gives
    QString path;
};

class TemplateCatalogue {
public:
    static QStringList defaultFolders();

    // Reads every *.xif (any letter case) and the types.json of each folder.
    void load(const QStringList &folders);

    const Template *find(const ProgramId &programId) const;
    const TypeFile &types() const { return m_types; }
    int size() const { return int(m_templates.size()); }
    // "<file>:<line>: <reason>" for each file skipped.
    const QStringList &problems() const { return m_problems; }

private:
    QList<std::shared_ptr<const Template>> m_templates;
    QHash<QString, std::shared_ptr<const Template>> m_byProgramId;
    TypeFile m_types;
    QStringList m_problems;
};

} // namespace xif
