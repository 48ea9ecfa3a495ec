#include "xif/XifParser.h"

#include "xif/BoundedFile.h"

#include <QFileInfo>

#include <optional>

namespace xif {

namespace {

struct Refusal {
    int line = 0;
    QString why;
};

[[noreturn]] void refuse(int line, const QString &why)
{
    throw Refusal{line, why};
}

QString shown(QByteArrayView text)
{
    constexpr qsizetype kShown = 40;
    const QString s = QString::fromLatin1(text.first(std::min(text.size(), kShown)));
    return text.size() > kShown ? s + QStringLiteral("...") : s;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

QList<QByteArrayView> tokens(QByteArrayView text)
{
    QList<QByteArrayView> out;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !isBlank(text[i]))
            ++i;
        if (i > start)
            out.append(text.sliced(start, i - start));
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A decimal whole number low..high, or nullopt.
std::optional<qint64> decimal(QByteArrayView token, qint64 low, qint64 high)
{
    bool negative = false;
    if (!token.isEmpty() && (token.front() == '-' || token.front() == '+')) {
        negative = token.front() == '-';
        token = token.sliced(1);
    }
    if (token.isEmpty() || token.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (char c : token) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative)
        value = -value;
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

// The lines of the file, with universal line ends, and the position of the reader.
class Lines {
public:
    explicit Lines(QByteArrayView bytes)
    {
        qsizetype start = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '\0')
                refuse(int(m_lines.size()) + 1, QStringLiteral("a NUL byte: not a text file"));
            if (c != '\n' && c != '\r')
                continue;
            add(bytes.sliced(start, i - start));
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        if (start < bytes.size())
            add(bytes.sliced(start));
    }

    bool atEnd() const { return m_pos >= m_lines.size(); }
    QByteArrayView peek() const { return atEnd() ? QByteArrayView() : m_lines.at(m_pos); }
    // Line number of the next line (one past the last at the end).
    int number() const { return int(m_pos) + 1; }
    QByteArrayView take(const char *what)
    {
        if (atEnd())
            refuse(number(), QStringLiteral("the file ends where %1 belongs").arg(QLatin1String(what)));
        return m_lines.at(m_pos++);
    }
    void skipBlank()
    {
        while (!atEnd() && trimmed(peek()).isEmpty())
            ++m_pos;
    }

private:
    void add(QByteArrayView line)
    {
        if (line.size() > MaxLineLength)
            refuse(int(m_lines.size()) + 1, QStringLiteral("a line longer than %1 characters").arg(MaxLineLength));
        m_lines.append(line);
    }

    QList<QByteArrayView> m_lines;
    qsizetype m_pos = 0;
};

// A line of whole numbers, each within low..high.
QList<qint64> numberLine(QByteArrayView line, int lineNo, qint64 low, qint64 high, const char *what)
{
    QList<qint64> numbers;
    for (QByteArrayView token : tokens(line)) {
        const auto n = decimal(token, low, high);
        if (!n)
            refuse(lineNo, QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4")
                               .arg(QLatin1String(what), shown(token)).arg(low).arg(high));
        numbers.append(*n);
    }
    if (numbers.isEmpty())
        refuse(lineNo, QStringLiteral("%1: a line of numbers expected").arg(QLatin1String(what)));
    return numbers;
}

int number(QByteArrayView token, int lineNo, qint64 low, qint64 high, const QString &what)
{
    const auto n = decimal(token, low, high);
    if (!n)
        refuse(lineNo, QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"")
                           .arg(what).arg(low).arg(high).arg(shown(token)));
    return int(*n);
}

std::optional<ProgramId> programIdOf(QByteArrayView line)
{
    line = trimmed(line);
    if (line.size() != 23)
        return std::nullopt;
    ProgramId id{};
    for (int i = 0; i < 8; ++i) {
        const int high = hexDigit(line[3 * i]);
        const int low = hexDigit(line[3 * i + 1]);
        if (high < 0 || low < 0 || (i < 7 && line[3 * i + 2] != ':'))
            return std::nullopt;
        id[std::size_t(i)] = uint8_t(high << 4 | low);
    }
    return id;
}

// Self-documentation text: "\xNN" is the byte NN, "\\" a backslash; any other byte stands
// for itself.
void appendUnescaped(QByteArray &out, QByteArrayView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')
            && hexDigit(text[i + 2]) >= 0 && hexDigit(text[i + 3]) >= 0) {
            out.append(char(hexDigit(text[i + 2]) << 4 | hexDigit(text[i + 3])));
            i += 3;
        } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out.append('\\');
            ++i;
        } else {
            out.append(text[i]);
        }
    }
}

// Either one "*" line (no self-documentation) or '"' lines joined without separator.
QByteArray selfDocumentation(Lines &lines)
{
    if (trimmed(lines.peek()) == "*") {
        lines.take("the self-documentation");
        return {};
    }
    if (!lines.peek().startsWith('"'))
        refuse(lines.number(), QStringLiteral("self-documentation expected: '\"' lines or \"*\", found \"%1\"")
                                   .arg(shown(lines.peek())));
    QByteArray doc;
    while (!lines.atEnd() && lines.peek().startsWith('"')) {
        const int at = lines.number();
        appendUnescaped(doc, lines.take("the self-documentation").sliced(1));
        if (doc.size() > MaxSelfDocBytes)
            refuse(at, QStringLiteral("self-documentation longer than %1 bytes").arg(MaxSelfDocBytes));
    }
    return doc;
}

QList<int> flagsLine(Lines &lines, const char *record)
{
    const int at = lines.number();
    const QList<qint64> numbers = numberLine(lines.take("the flags line"), at, 0, 255, "flags");
    if (numbers.size() < 13)
        refuse(at, QStringLiteral("the %1's flags line has %2 numbers; 13 expected")
                       .arg(QLatin1String(record)).arg(numbers.size()));
    QList<int> flags;
    for (qint64 n : numbers)
        flags.append(int(n));
    return flags;
}

bool validName(QByteArrayView name)
{
    if (name.isEmpty() || name.size() > MaxNameLength)
        return false;
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

// "<KEYWORD> <name> <index> <n> <n> <n>"
void recordLine(QByteArrayView line, int at, const char *keyword, QString &name, int &index,
                std::array<int, 3> &numbers, int highestIndex)
{
    const QList<QByteArrayView> parts = tokens(line);
    if (parts.size() != 6)
        refuse(at, QStringLiteral("%1 <name> <index> <n> <n> <n> expected, found \"%2\"")
                       .arg(QLatin1String(keyword), shown(line)));
    if (!validName(parts.at(1)))
        refuse(at, QStringLiteral("the name \"%1\" is not 1 to %2 letters, digits and \"_\"")
                       .arg(shown(parts.at(1))).arg(MaxNameLength));
    name = QString::fromLatin1(parts.at(1));
    index = number(parts.at(2), at, 0, highestIndex, QStringLiteral("the index"));
    for (int i = 0; i < 3; ++i)
        numbers[std::size_t(i)] = number(parts.at(3 + i), at, 0, 65535, QStringLiteral("number %1").arg(4 + i));
}

// Byte offsets of the fields and the variable's size: characters and 8-bit integers take a
// byte, 16-bit integers two, blocks their size, each times its array count; bit fields
// share a byte while each starts past the end of the one before.
void layFields(Variable &v)
{
    int offset = 0;
    int bitEnd = -1;    // end of the last bit field in the current byte; -1: no byte open
    for (Field &f : v.fields) {
        const int count = std::max(1, f.arrayCount);
        if (f.kind == FieldKind::BitField) {
            if (f.bitOffset + f.size > 8)
                refuse(f.line, QStringLiteral("a bit field of %1 bits at bit %2 does not fit in its byte")
                                   .arg(f.size).arg(f.bitOffset));
            if (f.size < 1)
                refuse(f.line, QStringLiteral("a bit field must be 1 to 8 bits wide"));
            if (bitEnd < 0 || f.bitOffset < bitEnd) {
                f.offset = offset;
                offset += count;
            } else {
                f.offset = offset - 1;
            }
            bitEnd = f.bitOffset + f.size;
            continue;
        }
        bitEnd = -1;
        int width = 0;
        switch (f.kind) {
        case FieldKind::Character: case FieldKind::Integer8: width = 1; break;
        case FieldKind::Integer16: width = 2; break;
        case FieldKind::Block: case FieldKind::Typeless: width = f.size; break;
        case FieldKind::BitField: break;
        }
        if (width < 1)
            refuse(f.line, QStringLiteral("a block of 0 bytes"));
        f.offset = offset;
        offset += width * count;
        if (offset > MaxVariableBytes)
            break;
    }
    if (offset > MaxVariableBytes)
        refuse(v.line, QStringLiteral("the variable %1 takes more than %2 bytes").arg(v.name).arg(MaxVariableBytes));
    v.size = offset;
}

Variable variableRecord(Lines &lines, int expectedIndex)
{
    Variable v;
    v.line = lines.number();
    recordLine(lines.take("a VAR line"), v.line, "VAR", v.name, v.index, v.rates, MaxVariables - 1);
    if (v.index != expectedIndex)
        refuse(v.line, QStringLiteral("the variable %1 has index %2; %3 expected (indexes count up in file order)")
                           .arg(v.name).arg(v.index).arg(expectedIndex));
    v.flags = flagsLine(lines, "variable");
    v.output = v.flags.at(3) == 1;
    v.configProperty = v.flags.at(12) == 1;
    v.selfDoc = selfDocumentation(lines);

    const int typeAt = lines.number();
    const QList<QByteArrayView> type = tokens(lines.take("the type line"));
    if (type.size() != 3)
        refuse(typeAt, QStringLiteral("<type number> * <field lines> expected"));
    v.typeNumber = number(type.at(0), typeAt, 0, MaxTypeNumber, QStringLiteral("the type number"));
    const int count = number(type.at(2), typeAt, 1, MaxFieldLines, QStringLiteral("the field line count"));
    for (int i = 0; i < count; ++i) {
        Field f;
        f.line = lines.number();
        const QList<qint64> n = numberLine(lines.take("a field line"), f.line, 0, 65535, "field line");
        if (n.size() != 5)
            refuse(f.line, QStringLiteral("a field line has 5 numbers: kind, bit offset, size, signed, array count"));
        if (n.at(0) > int(FieldKind::Typeless))
            refuse(f.line, QStringLiteral("unknown field kind %1 (0 to 5)").arg(n.at(0)));
        if (n.at(1) > 7 || n.at(3) > 1 || n.at(2) > MaxVariableBytes || n.at(4) > MaxVariableBytes)
            refuse(f.line, QStringLiteral("a field line's bit offset is 0..7, size and array count at most %1, "
                                          "signed 0 or 1").arg(MaxVariableBytes));
        f.kind = FieldKind(n.at(0));
        f.bitOffset = int(n.at(1));
        f.size = int(n.at(2));
        f.isSigned = n.at(3) == 1;
        f.arrayCount = int(n.at(4));
        v.fields.append(f);
    }
    layFields(v);
    return v;
}

Tag tagRecord(Lines &lines)
{
    Tag t;
    t.line = lines.number();
    recordLine(lines.take("a TAG line"), t.line, "TAG", t.name, t.index, t.numbers, MaxTags - 1);
    t.flags = flagsLine(lines, "tag");
    return t;
}

// Lines up to a blank line or the end of the file.
QList<QByteArrayView> section(Lines &lines)
{
    QList<QByteArrayView> body;
    while (!lines.atEnd() && !trimmed(lines.peek()).isEmpty())
        body.append(lines.take("a line"));
    return body;
}

FileRecord fileRecord(Lines &lines)
{
    const int at = lines.number();
    const QList<QByteArrayView> parts = tokens(lines.take("a FILE line"));
    if (parts.size() != 4 || !validName(parts.at(1)))
        refuse(at, QStringLiteral("FILE <name> <n> <n> expected"));
    FileRecord f;
    f.name = QString::fromLatin1(parts.at(1));
    f.number = number(parts.at(2), at, 0, 65535, QStringLiteral("the file number"));
    f.kind = number(parts.at(3), at, 0, 255, QStringLiteral("the file kind"));
    for (QByteArrayView line : section(lines))
        f.lines.append(line.toByteArray());
    return f;
}

// Hex bytes of one NVVAL line: "\x0B \xB8" or "0x0B B8" (a "0x" prefix before the first).
void nvvalBytes(QByteArrayView line, int at, QByteArray &out)
{
    for (QByteArrayView token : tokens(line)) {
        if (token.startsWith("0x") || token.startsWith("0X"))
            token = token.sliced(2);
        QByteArray digits;
        for (qsizetype i = 0; i < token.size(); ++i) {
            if (token[i] == '\\' && i + 1 < token.size() && (token[i + 1] == 'x' || token[i + 1] == 'X')) {
                ++i;
                continue;
            }
            if (hexDigit(token[i]) < 0)
                refuse(at, QStringLiteral("NVVAL: \"%1\" is not hex bytes").arg(shown(token)));
            digits.append(token[i]);
        }
        if (digits.isEmpty() || digits.size() % 2)
            refuse(at, QStringLiteral("NVVAL: \"%1\" is not hex bytes").arg(shown(token)));
        out += QByteArray::fromHex(digits);
    }
}

// One value per configuration-property variable, in variable order, each exactly its size.
void initialValues(Lines &lines, DeviceInterface &d)
{
    const int at = lines.number();
    lines.take("NVVAL");
    QByteArray bytes;
    int lineNo = lines.number();
    for (QByteArrayView line : section(lines))
        nvvalBytes(line, lineNo++, bytes);
    qsizetype used = 0;
    for (Variable &v : d.variables) {
        if (!v.configProperty)
            continue;
        if (used + v.size > bytes.size())
            refuse(at, QStringLiteral("NVVAL holds %1 bytes; the configuration properties take more (%2 is short)")
                           .arg(bytes.size()).arg(v.name));
        v.initialValue = bytes.mid(used, v.size);
        used += v.size;
    }
    if (used != bytes.size())
        refuse(at, QStringLiteral("NVVAL holds %1 bytes; the configuration properties take %2")
                       .arg(bytes.size()).arg(used));
}

DeviceInterface parseLines(Lines &lines)
{
    DeviceInterface d;
    // Free text up to the program ID.
    for (;;) {
        if (lines.atEnd() || lines.number() > MaxHeaderLines)
            refuse(lines.number(), QStringLiteral("no program ID (eight hex bytes such as 9F:FF:FF:05:01:84:04:60) "
                                                  "in the first %1 lines").arg(MaxHeaderLines));
        if (const auto id = programIdOf(lines.peek())) {
            d.programId = *id;
            lines.take("the program ID");
            break;
        }
        d.header.append(QString::fromLatin1(lines.take("the header")));
    }
    while (!lines.atEnd() && trimmed(lines.peek()) != "*") {
        const int at = lines.number();
        if (d.deviceLines.size() >= MaxDeviceLines)
            refuse(at, QStringLiteral("more than %1 device lines before \"*\"").arg(MaxDeviceLines));
        d.deviceLines.append(numberLine(lines.take("the device lines"), at, 0, 0xFFFFFFFFLL, "device line"));
    }
    if (d.deviceLines.isEmpty() || d.deviceLines.first().size() < 5)
        refuse(lines.number(), QStringLiteral("the first device line needs at least 5 numbers"));
    lines.take("\"*\" after the device lines");
    d.selfDoc = selfDocumentation(lines);

    int nextIndex = 0;
    int nextTag = 0;
    bool sawNvval = false;
    for (lines.skipBlank(); !lines.atEnd(); lines.skipBlank()) {
        const QByteArrayView line = trimmed(lines.peek());
        if (line.startsWith("VAR ") || line.startsWith("VAR\t")) {
            if (d.variables.size() >= MaxVariables)
                refuse(lines.number(), QStringLiteral("more than %1 variables").arg(MaxVariables));
            d.variables.append(variableRecord(lines, nextIndex));
            nextIndex = d.variables.last().index + std::max(1, d.variables.last().rates[2]);
        } else if (line.startsWith("TAG ") || line.startsWith("TAG\t")) {
            if (d.tags.size() >= MaxTags)
                refuse(lines.number(), QStringLiteral("more than %1 message tags").arg(MaxTags));
            d.tags.append(tagRecord(lines));
            if (d.tags.last().index != nextTag)
                refuse(d.tags.last().line, QStringLiteral("the tag %1 has index %2; %3 expected")
                                               .arg(d.tags.last().name).arg(d.tags.last().index).arg(nextTag));
            ++nextTag;
        } else if (line.startsWith("FILE ") || line.startsWith("FILE\t")) {
            if (d.files.size() >= MaxFileRecords)
                refuse(lines.number(), QStringLiteral("more than %1 FILE records").arg(MaxFileRecords));
            d.files.append(fileRecord(lines));
        } else if (line == "NVVAL") {
            if (sawNvval)
                refuse(lines.number(), QStringLiteral("a second NVVAL section"));
            sawNvval = true;
            initialValues(lines, d);
        } else {
            refuse(lines.number(), QStringLiteral("VAR, TAG, FILE or NVVAL expected, found \"%1\"").arg(shown(line)));
        }
    }
    // A configuration property without NVVAL starts as zeros.
    if (!sawNvval) {
        for (Variable &v : d.variables)
            if (v.configProperty)
                v.initialValue = QByteArray(v.size, '\0');
    }
    const QList<qint64> &first = d.deviceLines.first();
    if (first.at(3) != d.variables.size())
        refuse(lines.number(), QStringLiteral("the device line declares %1 variables; the file holds %2")
                                   .arg(first.at(3)).arg(d.variables.size()));
    if (first.at(4) != d.tags.size())
        refuse(lines.number(), QStringLiteral("the device line declares %1 message tags; the file holds %2")
                                   .arg(first.at(4)).arg(d.tags.size()));
    return d;
}

} // namespace

ParseResult parseInterface(QByteArrayView bytes, const QString &sourceName)
{
    ParseResult result;
    try {
        if (bytes.size() > MaxFileBytes)
            refuse(0, QStringLiteral("larger than %1 bytes").arg(MaxFileBytes));
        Lines lines(bytes);
        result.interface = parseLines(lines);
        result.interface->sourceName = sourceName;
    } catch (const Refusal &r) {
        result.error = r.line > 0 ? QStringLiteral("%1:%2: %3").arg(sourceName).arg(r.line).arg(r.why)
                                  : QStringLiteral("%1: %2").arg(sourceName, r.why);
    }
    return result;
}

ParseResult readInterfaceFile(const QString &path)
{
    QString error;
    const std::optional<QByteArray> bytes = readBoundedFile(path, MaxFileBytes, error);
    if (!bytes) {
        ParseResult result;
        result.error = path + QStringLiteral(": ") + error;
        return result;
    }
    return parseInterface(*bytes, path);
}

} // namespace xif
