#include "lonworks/LonLib.h"
#include "support/StrLib.h"
#include "support/Windows1252.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

// Sequential reads of the self-documentation bytes; every read past the end fails.
class TDocReader
{
public:
    explicit TDocReader(std::span<const quint8> bytes) : FBytes(bytes) {}

    size_t Position() const { return FPos; }
    void Seek(size_t pos) { FPos = pos; }
    std::optional<quint8> Byte(size_t at) const
    {
        return at < FBytes.size() ? std::optional<quint8>(FBytes[at]) : std::nullopt;
    }
    std::optional<quint8> Next()
    {
        auto b = Byte(FPos);
        if (b)
            ++FPos;
        return b;
    }
    // A NUL-terminated string; fails when the terminator is missing.
    std::optional<QString> String()
    {
        for (size_t i = FPos; i < FBytes.size(); ++i) {
            if (FBytes[i] == 0) {
                const auto text = FBytes.subspan(FPos, i - FPos);
                FPos = i + 1;
                return FromWindows1252(QByteArrayView(text.data(), qsizetype(text.size())));
            }
        }
        return std::nullopt;
    }

private:
    std::span<const quint8> FBytes;
    size_t FPos = 0;
};

struct TExtension
{
    QString Name;
    int Count = 1;
};

// One extension record; nullopt when it runs past the bytes read.
std::optional<TExtension> ReadExtension(TDocReader &reader, quint8 version)
{
    TExtension ext;
    const auto e = reader.Next();
    if (!e)
        return std::nullopt;
    if ((*e & 0x80) && !reader.Next())
        return std::nullopt;
    if ((*e & 0x40) && !reader.Next())
        return std::nullopt;
    if (*e & 0x20) {
        const auto name = reader.String();
        if (!name)
            return std::nullopt;
        ext.Name = *name;
    }
    if (*e & 0x10) {
        const auto doc = reader.String();
        if (!doc)
            return std::nullopt;
        if (ext.Name.isEmpty() && doc->contains(u';'))
            ext.Name = TextAfter(*doc, QStringLiteral(";"));
    }
    if (version > 0 && (*e & 0x08)) {
        const auto high = reader.Next();
        const auto low = reader.Next();
        if (!high || !low)
            return std::nullopt;
        ext.Count = *high << 8 | *low;
    }
    return ext;
}

void AppendDecimal(QString &text, int value)
{
    std::array<char16_t, 12> digits{};
    size_t at = digits.size();
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[--at] = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        text += u'-';
    text += QStringView(digits.data() + at, qsizetype(digits.size() - at));
}

// One line, with "[element]" after the name for an array element (element >= 0). Built
// in place: a device's arrays give one line per element, so each costs one allocation.
QString Line(quint8 domain, quint8 subnet, quint8 node, int index, quint8 snvt, const QString &name,
             int element)
{
    QString line;
    line.reserve(40 + name.size());
    for (const int value : {int(domain), int(subnet), int(node), index, int(snvt)}) {
        line += u'{';
        AppendDecimal(line, value);
        line += u'}';
    }
    line += u'{';
    line += name;
    if (element >= 0) {
        line += u'[';
        AppendDecimal(line, element);
        line += u']';
    }
    line += u'}';
    return line;
}

// The lines of the documented variables (array elements one by one), at most maxLines.
void AppendLines(const TDeviceSelfDoc &doc, quint8 domain, quint8 subnet, quint8 node, QStringList &lines,
                 int maxLines)
{
    const qsizetype lastLine = lines.size() + maxLines;
    for (const TSelfDocVariable &variable : doc.Variables) {
        if (!variable.Documented)
            continue;
        const QString name = variable.Name.isEmpty()
                                 ? QStringLiteral("NoName") + QString::number(variable.Index)
                                 : variable.Name;
        for (int j = 0; j < variable.Count && variable.Index + j <= LonLib::MaxVariableIndex; ++j) {
            if (lines.size() >= lastLine)
                return;
            lines.append(Line(domain, subnet, node, variable.Index + j, variable.Snvt, name,
                              variable.Count > 1 ? j : -1));
        }
    }
}

} // namespace

void ParseDeviceSelfDoc(std::span<const quint8> bytes, TDeviceSelfDoc &doc, int maxVariables)
{
    TDocReader reader(bytes);
    const quint8 version = reader.Byte(3).value_or(0);
    const int count = version == 0 ? reader.Byte(2).value_or(0)
                                   : reader.Byte(4).value_or(0) << 8 | reader.Byte(2).value_or(0);
    const size_t descriptors = version == 0 ? 5 : 6;
    if (count == 0)
        return;

    // The device's documentation string follows the descriptors; records follow it.
    reader.Seek(descriptors + 2 * size_t(count));
    const auto text = reader.String();
    if (!text)
        return;
    doc.Text = *text;

    // Version 1 and later: one descriptor per array, so element indexes run on across
    // descriptors instead of being the descriptor's position.
    int variableIndex = 0;
    for (int i = 0; i < count && variableIndex <= LonLib::MaxVariableIndex; ++i) {
        const auto d0 = reader.Byte(descriptors + 2 * size_t(i));
        const auto d1 = reader.Byte(descriptors + 2 * size_t(i) + 1);
        if (!d0 || !d1)
            return;
        TSelfDocVariable variable;
        variable.Index = variableIndex;
        variable.Snvt = *d1;
        variable.Documented = *d0 & 0x80;
        if (variable.Documented) {
            const auto ext = ReadExtension(reader, version);
            if (!ext)
                return;
            variable.Name = ext->Name;
            variable.Count = ext->Count;
        }
        if (doc.Variables.size() >= maxVariables)
            return;
        doc.Variables.append(variable);
        variableIndex += variable.Count;
    }
}

void ParseSelfDocumentation(std::span<const quint8> bytes, quint8 domain, quint8 subnet,
                            quint8 node, QStringList &lines, int maxLines)
{
    TDeviceSelfDoc doc;
    ParseDeviceSelfDoc(bytes, doc, maxLines);
    AppendLines(doc, domain, subnet, node, lines, maxLines);
}

qint16 ReadDeviceSelfDoc(TniNetworkInterface &ni, TDeviceSelfDoc &doc, quint8 domain, quint8 subnet,
                         quint8 node, int maxVariables)
{
    TniReadOnlyStructure structure;
    if (ReadReadOnlyStructure(ni, structure, domain, subnet, node) != LonStatus::Ok)
        return LonStatus::Ok;
    doc.ProgramId = structure.ProgramId;
    doc.HasProgramId = true;
    if (structure.SnvtAddress == 0)
        return LonStatus::Ok;

    const bool byQuery = structure.SnvtAddress == 0xFFFF;
    const auto read = [&](quint16 count, quint8 chunk, std::span<quint8> buffer) {
        return byQuery ? QuerySnvt(ni, domain, subnet, node, 0, count, chunk, buffer)
                       : ReadMemory(ni, domain, subnet, node, structure.SnvtAddress, count, chunk, buffer);
    };

    std::array<quint8, 16> header{};
    if (read(16, 16, header) != LonStatus::Ok)
        return LonStatus::Ok;
    const quint16 total = quint16(header[0] << 8 | header[1]);
    const int count = header[3] == 0 ? header[2] : (header[4] << 8 | header[2]);
    if (count == 0)
        return LonStatus::Ok;
    // As many bytes as the documentation declares (at least the header already read).
    std::vector<quint8> b(std::max<size_t>(total, header.size()), 0);
    if (read(total, 0, b) != LonStatus::Ok)
        return LonStatus::Ok;
    ParseDeviceSelfDoc(std::span<const quint8>(b.data(), total), doc, maxVariables);
    return LonStatus::Ok;
}

qint16 ReadSelfDocumentation(TniNetworkInterface &ni, QStringList &lines,
                             quint8 domain, quint8 subnet, quint8 node, int maxLines)
{
    TDeviceSelfDoc doc;
    ReadDeviceSelfDoc(ni, doc, domain, subnet, node, maxLines);
    AppendLines(doc, domain, subnet, node, lines, maxLines);
    return LonStatus::Ok;
}
