// Device interface files: any bytes as the text of a XIF file. A file is either refused
// with "<file>:<line>: <reason>" or read into variables whose sizes and field offsets stay
// inside the variable; the points made from its field lines, and the entries of a device
// that uses the file as its template, stay inside the variable too.
#include "fuzz/FuzzCommon.h"
#include "snvt/VariableTypes.h"
#include "xif/DevicePoints.h"
#include "xif/XifParser.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const xif::ParseResult parsed = xif::parseInterface(bytes, QStringLiteral("f.xif"));
    if (!parsed.interface) {
        LW_FUZZ_CHECK(parsed.error.startsWith(QLatin1String("f.xif:")));
        return 0;
    }
    const xif::DeviceInterface &d = *parsed.interface;
    LW_FUZZ_CHECK(d.variables.size() <= xif::MaxVariables && d.tags.size() <= xif::MaxTags);
    const xif::Template tmpl{d, QStringLiteral("f"), QStringLiteral("f.xif")};
    xif::DeviceReport device;
    device.address = QStringLiteral("0:1:2");
    device.programId = d.programId;
    QStringList entries;
    for (const xif::Variable &v : d.variables) {
        LW_FUZZ_CHECK(v.size >= 1 && v.size <= xif::MaxVariableBytes);
        LW_FUZZ_CHECK(!v.configProperty || v.initialValue.size() == v.size);
        for (const xif::Field &f : v.fields)
            LW_FUZZ_CHECK(f.offset >= 0 && f.offset < v.size);
        for (const xif::FieldPoint &p : xif::rawFieldPoints(v))
            LW_FUZZ_CHECK(p.offset >= 0 && p.offset + std::max(1, FieldWidth(p.variableType)) <= v.size);
        LW_FUZZ_CHECK(d.variableAt(v.index) == &v);
        // The template names every variable the device reports without a name.
        entries.clear();
        LW_FUZZ_CHECK(xif::expandVariable(device, {v.index, 0, {}, -1}, &tmpl, xif::TypeFile(), false, entries)
                      == v.name);
    }
    return 0;
}
