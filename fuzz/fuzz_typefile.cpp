// Type files and names files: any bytes as either JSON file. A file is refused as a whole
// (empty, with a reason naming the file) or read into definitions whose fields stay inside
// the largest variable, and whose points, laid over a variable, stay inside it.
#include "fuzz/FuzzCommon.h"
#include "snvt/VariableTypes.h"
#include "xif/DeviceNames.h"
#include "xif/DevicePoints.h"
#include "xif/TypeFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView json(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    QString error;
    if (data[0] & 1) {
        const xif::DeviceNames names = xif::DeviceNames::parse(json, QStringLiteral("n"), error);
        LW_FUZZ_CHECK(error.isEmpty() || error.startsWith(QLatin1String("n: ")));
        const QHash<QString, QString> plant = names.forSite(QStringLiteral("Plant"));
        for (auto it = plant.begin(); it != plant.end(); ++it) {
            LW_FUZZ_CHECK(xif::normalDeviceAddress(it.key()) == it.key());
            LW_FUZZ_CHECK(xif::deviceNameProblem(it.value()).isEmpty());
        }
        return 0;
    }
    const xif::TypeFile file = xif::TypeFile::parse(json, QStringLiteral("t"), error);
    if (!error.isEmpty())
        LW_FUZZ_CHECK(file.isEmpty() && error.startsWith(QLatin1String("t: ")));
    // A variable of 8 bytes in three fields, for types that name field lines.
    xif::Variable variable;
    variable.size = 8;
    variable.fields = {{xif::FieldKind::Integer16, 0, 0, true, 0, 0, 0},
                       {xif::FieldKind::BitField, 0, 3, false, 0, 2, 0},
                       {xif::FieldKind::Block, 0, 5, false, 0, 3, 0}};
    for (const xif::TypeDefinition &type : file.definitions()) {
        LW_FUZZ_CHECK(!type.fields.isEmpty() && type.fields.size() <= xif::MaxTypeFields);
        QString why;
        const auto points = xif::typedFieldPoints(type, &variable, why);
        LW_FUZZ_CHECK(points.has_value() == why.isEmpty());
        if (!points)
            continue;
        for (const xif::FieldPoint &p : *points) {
            const int width = p.variableType == VarText ? p.parameter : std::max(1, FieldWidth(p.variableType));
            LW_FUZZ_CHECK(p.offset >= 0 && p.offset + width <= variable.size);
            LW_FUZZ_CHECK(p.factor == 0 || std::isfinite(1.0 / p.factor));
        }
    }
    for (const xif::TypeBinding &b : file.bindings())
        LW_FUZZ_CHECK(file.definitions().contains(b.type));
    return 0;
}
