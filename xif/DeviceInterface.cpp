#include "xif/DeviceInterface.h"

#include "support/Windows1252.h"

#include <algorithm>

namespace xif {

QString programIdText(const ProgramId &id)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(id.data()), qsizetype(id.size()))
                                   .toHex(':')).toUpper();
}

QString DeviceInterface::selfDocText() const
{
    const qsizetype semicolon = selfDoc.indexOf(';');
    return semicolon < 0 ? QString() : FromWindows1252(QByteArrayView(selfDoc).sliced(semicolon + 1));
}

const Variable *DeviceInterface::variableAt(int index) const
{
    // Indexes count up in file order (the parser checks it).
    const auto it = std::lower_bound(variables.begin(), variables.end(), index,
                                     [](const Variable &v, int i) { return v.index < i; });
    return it != variables.end() && it->index == index ? &*it : nullptr;
}

} // namespace xif
