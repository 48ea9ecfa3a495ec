#include "lonsim/DescriptionLoader.h"

#include "lonsim/HexBytes.h"
#include "lonsim/Responder.h"
#include "lonsim/ValueCodec.h"
#include "lonsim/XifDevice.h"
#include "xif/XifParser.h"

#include "support/JsonRules.h"
#include "support/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringConverter>

namespace lonsim {

namespace {

struct LoadError {
    QString what;
};

// Walks the JSON tree, keeping the path of the item being read for error messages.
class Reader {
public:
    explicit Reader(QString where) : m_where(std::move(where)) {}
    [[noreturn]] void fail(const QString &what) const { throw LoadError{m_where + QLatin1String(": ") + what}; }
    Reader at(const QString &item) const { return Reader(m_where + QLatin1Char('.') + item); }
    Reader at(const QString &item, qsizetype i) const
    {
        return Reader(m_where + QLatin1Char('.') + item + QLatin1Char('[') + QString::number(i) + QLatin1Char(']'));
    }

    qint64 integer(const QJsonObject &o, const char *key, qint64 min, qint64 max, qint64 fallback) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return fallback;
        return integerValue(v, key, min, max);
    }
    qint64 required(const QJsonObject &o, const char *key, qint64 min, qint64 max) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            fail(QLatin1String(key) + QLatin1String(" is missing"));
        return integerValue(v, key, min, max);
    }
    qint64 integerValue(const QJsonValue &v, const char *key, qint64 min, qint64 max) const
    {
        qint64 n = 0;
        if (v.isDouble()) {
            const double d = v.toDouble();
            if (d != double(qint64(d)))
                fail(QLatin1String(key) + QLatin1String(" is not a whole number"));
            n = qint64(d);
        } else if (v.isString()) {
            bool ok = false;
            const QString s = v.toString().trimmed();
            n = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? s.mid(2).toLongLong(&ok, 16)
                                                                      : s.toLongLong(&ok, 10);
            if (!ok)
                fail(QLatin1String(key) + QLatin1String(" is not a number: ") + s);
        } else {
            fail(QLatin1String(key) + QLatin1String(" must be a number"));
        }
        if (n < min || n > max)
            fail(QStringLiteral("%1 must be between %2 and %3").arg(QLatin1String(key)).arg(min).arg(max));
        return n;
    }
    QByteArray hex(const QJsonObject &o, const char *key, int size, bool mandatory) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (mandatory)
                fail(QLatin1String(key) + QLatin1String(" is missing"));
            return QByteArray(size, '\0');
        }
        const auto bytes = parseHex(v.toString());
        if (!v.isString() || !bytes || bytes->size() != size)
            fail(QStringLiteral("%1 must be %2 bytes in hex").arg(QLatin1String(key)).arg(size));
        return *bytes;
    }
    QString text(const QJsonObject &o, const char *key) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isString())
            fail(QLatin1String(key) + QLatin1String(" must be a text"));
        return v.toString();
    }
    bool flag(const QJsonObject &o, const char *key, bool fallback) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        if (!v.isBool())
            fail(QLatin1String(key) + QLatin1String(" must be true or false"));
        return v.toBool();
    }
    QJsonObject object(const QJsonObject &o, const char *key) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return {};
        if (!v.isObject())
            fail(QLatin1String(key) + QLatin1String(" must be an object"));
        return v.toObject();
    }
    QJsonArray array(const QJsonObject &o, const char *key) const
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return {};
        if (!v.isArray())
            fail(QLatin1String(key) + QLatin1String(" must be a list"));
        return v.toArray();
    }

    // Refuses keys the format does not know, so that a misspelt key is not silently ignored.
    void onlyKeys(const QJsonObject &o, std::initializer_list<const char *> keys) const
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool known = false;
            for (const char *k : keys)
                known = known || it.key() == QLatin1String(k);
            if (!known)
                fail(QStringLiteral("unknown key ") + it.key());
        }
    }

private:
    QString m_where;
};

template <std::size_t N>
std::array<uint8_t, N> fixedBytes(const QByteArray &bytes)
{
    std::array<uint8_t, N> out{};
    for (std::size_t i = 0; i < N && i < std::size_t(bytes.size()); ++i)
        out[i] = uint8_t(bytes[qsizetype(i)]);
    return out;
}

QByteArray windows1252(const QString &text)
{
    QStringEncoder encoder("windows-1252");
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

DomainAddress readDomain(const Reader &r, const QJsonObject &o)
{
    r.onlyKeys(o, {"id", "subnet", "node", "key"});
    DomainAddress d;
    const auto id = parseHex(r.text(o, "id"));
    if (!id || !(id->size() == 0 || id->size() == 1 || id->size() == 3 || id->size() == 6))
        r.fail(QStringLiteral("id must be 0, 1, 3 or 6 bytes in hex"));
    d.id = *id;
    d.subnet = uint8_t(r.required(o, "subnet", 0, 255));
    d.node = uint8_t(r.required(o, "node", 0, 127));
    if (o.contains(QLatin1String("key")))
        d.key = r.hex(o, "key", 6, true);
    return d;
}

AnswerFault readFault(const Reader &r, const QJsonObject &o)
{
    AnswerFault f;
    if (o.isEmpty())
        return f;
    r.onlyKeys(o, {"every", "codes", "kind"});
    f.every = int(r.integer(o, "every", 0, 1000000, 1));
    const QJsonArray codes = r.array(o, "codes");
    for (qsizetype i = 0; i < codes.size(); ++i)
        f.codes.append(int(r.at(QStringLiteral("codes"), i).integerValue(codes.at(i), "code", 0, 255)));
    return f;
}

Behaviour readBehaviour(const Reader &r, const QJsonObject &o)
{
    r.onlyKeys(o, {"silent", "delayMs", "drop", "double", "malformed", "ignoresUnselect"});
    Behaviour b;
    b.silent = r.flag(o, "silent", false);
    b.delayMs = int(r.integer(o, "delayMs", 0, 600000, 0));
    b.drop = readFault(r.at(QStringLiteral("drop")), r.object(o, "drop"));
    b.doubled = readFault(r.at(QStringLiteral("double")), r.object(o, "double"));
    const QJsonObject bad = r.object(o, "malformed");
    b.malformed = readFault(r.at(QStringLiteral("malformed")), bad);
    if (!bad.isEmpty()) {
        const std::optional<MalformKind> kind = malformKindNamed(bad.value(QLatin1String("kind")).toString());
        if (!kind || *kind == MalformKind::None)
            r.at(QStringLiteral("malformed"))
                .fail(QStringLiteral("kind must be wrongLength, wrongCode, lyingLength, oversized or otherVariable"));
        b.malformKind = *kind;
    }
    b.ignoresUnselect = r.flag(o, "ignoresUnselect", false);
    return b;
}

// One value: hex text, {"s16": 2150}, {"text": "..."}, or a list of these joined.
QByteArray readValue(const Reader &r, const QJsonValue &v)
{
    if (v.isString()) {
        const auto bytes = parseHex(v.toString());
        if (!bytes)
            r.fail(QStringLiteral("value is not hex bytes: ") + v.toString());
        return *bytes;
    }
    if (v.isArray()) {
        QByteArray joined;
        const QJsonArray parts = v.toArray();
        for (qsizetype i = 0; i < parts.size(); ++i)
            joined += readValue(r.at(QStringLiteral("value"), i), parts.at(i));
        return joined;
    }
    if (!v.isObject() || v.toObject().size() != 1)
        r.fail(QStringLiteral("value must be hex text, a typed value such as {\"s16\": 2150}, or a list of them"));
    const QJsonObject o = v.toObject();
    const QString key = o.begin().key();
    if (key == QLatin1String("text"))
        return windows1252(o.begin().value().toString()) + QByteArray(1, '\0');
    const auto format = parseValueFormat(key);
    if (!format || !o.begin().value().isDouble())
        r.fail(QStringLiteral("unknown typed value ") + key);
    return encodeValue(*format, o.begin().value().toDouble());
}

ValueChange readChange(const Reader &r, const QJsonObject &o, int size)
{
    ValueChange c;
    if (o.isEmpty())
        return c;
    r.onlyKeys(o, {"kind", "periodMs", "from", "to", "offset", "format"});
    const QString kind = r.text(o, "kind");
    if (kind == QLatin1String("ramp"))
        c.kind = ValueChange::Ramp;
    else if (kind == QLatin1String("sine"))
        c.kind = ValueChange::Sine;
    else if (kind == QLatin1String("toggle"))
        c.kind = ValueChange::Toggle;
    else
        r.fail(QStringLiteral("kind must be ramp, sine or toggle"));
    c.periodMs = int(r.integer(o, "periodMs", 1, 86400000, 60000));
    c.from = o.value(QLatin1String("from")).toDouble();
    c.to = o.value(QLatin1String("to")).toDouble();
    c.offset = int(r.integer(o, "offset", 0, 255, 0));
    const auto format = parseValueFormat(o.value(QLatin1String("format")).toString(QStringLiteral("s16")));
    if (!format)
        r.fail(QStringLiteral("format must be u8, s8, u16, s16, u32, s32 or f32"));
    c.format = *format;
    if (c.offset + formatSize(c.format) > size)
        r.fail(QStringLiteral("the changing field does not fit in the variable"));
    return c;
}

NetworkVariable readVariable(const Reader &r, const QJsonObject &o, int runningIndex)
{
    r.onlyKeys(o, {"index", "name", "snvt", "direction", "arrayCount", "doc", "size", "value", "values", "selector",
                   "change", "unsolicitedMs", "extensionRecord", "maxRateEstimate", "rateEstimate", "authenticated"});
    NetworkVariable nv;
    nv.index = int(r.integer(o, "index", 0, 4095, runningIndex));
    if (nv.index != runningIndex)
        r.fail(QStringLiteral("index must be %1: variables are numbered in order, an array taking one index per element").arg(runningIndex));
    nv.name = r.text(o, "name");
    nv.snvt = int(r.integer(o, "snvt", 0, 255, 0));
    const QString direction = o.value(QLatin1String("direction")).toString(QStringLiteral("in"));
    if (direction != QLatin1String("in") && direction != QLatin1String("out"))
        r.fail(QStringLiteral("direction must be in or out"));
    nv.output = direction == QLatin1String("out");
    nv.authenticated = r.flag(o, "authenticated", false);
    nv.arrayCount = int(r.integer(o, "arrayCount", 1, 4096, 1));
    nv.doc = r.text(o, "doc");
    nv.selector = int(r.integer(o, "selector", -1, 0x3FFF, -1));
    nv.extensionRecord = r.flag(o, "extensionRecord", true);
    nv.rateEstimate = int(r.integer(o, "rateEstimate", -1, 255, -1));
    nv.maxRateEstimate = int(r.integer(o, "maxRateEstimate", -1, 255, -1));

    QList<QByteArray> values;
    const QJsonValue single = o.value(QLatin1String("value"));
    const QJsonArray perElement = r.array(o, "values");
    if (!perElement.isEmpty()) {
        if (perElement.size() != nv.arrayCount)
            r.fail(QStringLiteral("values must have one entry per array element"));
        for (qsizetype i = 0; i < perElement.size(); ++i)
            values.append(readValue(r.at(QStringLiteral("values"), i), perElement.at(i)));
    } else if (!single.isUndefined()) {
        const QByteArray v = readValue(r.at(QStringLiteral("value")), single);
        for (int i = 0; i < nv.arrayCount; ++i)
            values.append(v);
    }
    int longest = 0;
    for (const QByteArray &v : values)
        longest = std::max(longest, int(v.size()));
    nv.size = int(r.integer(o, "size", 1, 228, longest));
    if (nv.size == 0)
        r.fail(QStringLiteral("size is missing (and no value gives it)"));
    if (longest > nv.size)
        r.fail(QStringLiteral("value is longer than size"));
    for (int i = 0; i < nv.arrayCount; ++i) {
        QByteArray v = i < values.size() ? values.at(i) : QByteArray();
        v.append(QByteArray(nv.size - v.size(), '\0'));
        nv.initial.append(v);
    }
    nv.change = readChange(r.at(QStringLiteral("change")), r.object(o, "change"), nv.size);
    nv.unsolicited.periodMs = int(r.integer(o, "unsolicitedMs", 0, 86400000, 0));
    return nv;
}

DeviceFile readFile(const Reader &r, const QJsonObject &o)
{
    r.onlyKeys(o, {"index", "text", "hex", "size"});
    DeviceFile f;
    f.index = int(r.integer(o, "index", 0, 65535, 0));
    if (o.contains(QLatin1String("text"))) {
        f.data = windows1252(r.text(o, "text"));
    } else if (o.contains(QLatin1String("hex"))) {
        const auto bytes = parseHex(r.text(o, "hex"));
        if (!bytes)
            r.fail(QStringLiteral("hex is not hex bytes"));
        f.data = *bytes;
    } else {
        // A generated file: its bytes count 0, 1, 2, ... 255, 0, ... so that every
        // position can be checked after a transfer.
        const int size = int(r.required(o, "size", 0, 65535));
        f.data.resize(size);
        for (int i = 0; i < size; ++i)
            f.data[i] = char(i & 0xFF);
    }
    if (f.data.size() > 65535)
        r.fail(QStringLiteral("a file holds at most 65535 bytes"));
    return f;
}

// The device's variables from a device interface file (relative to the description's
// folder), with the initial values the description gives by variable name or index.
void readInterface(const Reader &r, const QJsonObject &o, const QString &folder, Device &d)
{
    const QString path = QDir(folder).filePath(r.text(o, "xif"));
    const xif::ParseResult parsed = xif::readInterfaceFile(path);
    if (!parsed.interface)
        r.fail(QStringLiteral("xif: ") + parsed.error);
    const ProgramId programId = d.programId;
    applyInterface(d, *parsed.interface, r.flag(o, "selfDocNames", true));
    if (o.contains(QLatin1String("programId")))
        d.programId = programId;
    // The variables lie in file order, one per record: position = record.
    QHash<QString, qsizetype> byName;
    for (qsizetype i = 0; i < parsed.interface->variables.size(); ++i) {
        byName.insert(parsed.interface->variables.at(i).name, i);
        byName.insert(QString::number(parsed.interface->variables.at(i).index), i);
    }
    const QJsonObject values = r.object(o, "initialValues");
    const Reader vr = r.at(QStringLiteral("initialValues"));
    for (auto it = values.begin(); it != values.end(); ++it) {
        const qsizetype at = byName.value(it.key(), -1);
        if (at < 0)
            vr.fail(QStringLiteral("%1 names no variable of %2").arg(it.key(), path));
        NetworkVariable &nv = d.variables[at];
        QByteArray value = readValue(vr.at(it.key()), it.value());
        if (value.size() > nv.size)
            vr.at(it.key()).fail(QStringLiteral("value is longer than the variable's %1 bytes").arg(nv.size));
        value.append(QByteArray(nv.size - value.size(), '\0'));
        nv.initial = {value};
    }
}

Device readDevice(const Reader &r, const QJsonObject &o, const QString &folder)
{
    r.onlyKeys(o, {"name", "domains", "neuronId", "programId", "model", "minorModel", "selfDocAddress",
                   "selfDocVersion", "doc", "variables", "files", "fileRequestNv", "filePacketIntervalMs",
                   "duplicateDetection", "behaviour", "xif", "selfDocNames", "initialValues"});
    Device d;
    d.name = r.text(o, "name");
    if (d.name.isEmpty())
        r.fail(QStringLiteral("name is missing"));
    const QJsonArray domains = r.array(o, "domains");
    if (domains.isEmpty() || domains.size() > 2)
        r.fail(QStringLiteral("a device is a member of one or two domains"));
    for (qsizetype i = 0; i < domains.size(); ++i)
        d.domains.append(readDomain(r.at(QStringLiteral("domains"), i), domains.at(i).toObject()));
    d.neuronId = fixedBytes<6>(r.hex(o, "neuronId", 6, true));
    d.programId = fixedBytes<8>(r.hex(o, "programId", 8, false));
    d.model = uint8_t(r.integer(o, "model", 0, 255, 0));
    d.minorModel = uint8_t(r.integer(o, "minorModel", 0, 15, 0));
    const QJsonValue where = o.value(QLatin1String("selfDocAddress"));
    if (where.isString() && where.toString() == QLatin1String("query"))
        d.selfDocAddress = 0xFFFF;
    else
        d.selfDocAddress = uint16_t(r.integer(o, "selfDocAddress", 0, 0xFFFF, 0x4000));
    if (d.selfDocAddress != 0 && d.selfDocAddress != 0xFFFF && d.selfDocAddress >= 0xF000)
        r.fail(QStringLiteral("selfDocAddress must lie below 0xF000, the read-only structure"));
    d.selfDocVersion = int(r.integer(o, "selfDocVersion", 0, 1, 1));
    d.doc = r.text(o, "doc");
    const QJsonArray variables = r.array(o, "variables");
    int running = 0;
    for (qsizetype i = 0; i < variables.size(); ++i) {
        const Reader vr = r.at(QStringLiteral("variables"), i);
        if (!variables.at(i).isObject())
            vr.fail(QStringLiteral("must be an object"));
        d.variables.append(readVariable(vr, variables.at(i).toObject(), running));
        running += d.variables.last().arrayCount;
        if (d.selfDocVersion == 0 && running > 255)
            vr.fail(QStringLiteral("a version 0 self-documentation counts at most 255 variables"));
    }
    if (o.contains(QLatin1String("xif"))) {
        if (!variables.isEmpty() || o.contains(QLatin1String("doc")))
            r.fail(QStringLiteral("xif gives the variables and the documentation: no variables or doc beside it"));
        readInterface(r, o, folder, d);
        running = d.nvIndexCount();
        if (d.selfDocVersion == 0 && running > 255)
            r.fail(QStringLiteral("a version 0 self-documentation counts at most 255 variables"));
    } else if (o.contains(QLatin1String("selfDocNames")) || o.contains(QLatin1String("initialValues"))) {
        r.fail(QStringLiteral("selfDocNames and initialValues go with xif"));
    }
    const QJsonArray files = r.array(o, "files");
    for (qsizetype i = 0; i < files.size(); ++i)
        d.files.append(readFile(r.at(QStringLiteral("files"), i), files.at(i).toObject()));
    d.fileRequestNv = int(r.integer(o, "fileRequestNv", -1, 4095, -1));
    if (!d.files.isEmpty() && (d.fileRequestNv < 0 || d.fileRequestNv >= running))
        r.fail(QStringLiteral("fileRequestNv must name one of the device's variables"));
    d.filePacketIntervalMs = int(r.integer(o, "filePacketIntervalMs", 0, 10000, 2));
    d.duplicateDetection = r.flag(o, "duplicateDetection", true);
    d.behaviour = readBehaviour(r.at(QStringLiteral("behaviour")), r.object(o, "behaviour"));
    return d;
}

// "channel": {"kind": "TP/FT-10" | "PL-20" | "IP", "bitRate": n}; absent: untimed.
lontalk::channel::Channel readChannel(const Reader &r, const QJsonObject &o)
{
    if (o.isEmpty())
        return {};
    r.onlyKeys(o, {"kind", "bitRate"});
    const std::optional<lontalk::channel::Channel> channel = lontalk::channel::parseChannel(r.text(o, "kind"));
    if (!channel)
        r.fail(QStringLiteral("kind must be TP/FT-10, PL-20 or IP"));
    lontalk::channel::Channel c = *channel;
    if (c.medium != lontalk::channel::Medium::None)
        c.bitRate = int(r.integer(o, "bitRate", lontalk::channel::MinBitRate, lontalk::channel::MaxBitRate, c.bitRate));
    return c;
}

NetworkModel readNetwork(const Reader &r, const QJsonObject &o, const QString &fallbackName, const QString &folder)
{
    r.onlyKeys(o, {"name", "timeScale", "channel", "interface", "devices"});
    NetworkModel n;
    n.name = o.value(QLatin1String("name")).toString(fallbackName);
    n.timeScale = o.value(QLatin1String("timeScale")).toDouble(1.0);
    if (!(n.timeScale > 0 && n.timeScale <= 100))
        r.fail(QStringLiteral("timeScale must be above 0 and at most 100"));
    n.channel = readChannel(r.at(QStringLiteral("channel")), r.object(o, "channel"));
    const Reader ir = r.at(QStringLiteral("interface"));
    const QJsonObject io = r.object(o, "interface");
    if (io.isEmpty())
        r.fail(QStringLiteral("interface is missing"));
    ir.onlyKeys(io, {"name", "neuronId", "programId", "model", "minorModel", "domains", "behaviour"});
    n.iface.name = ir.text(io, "name");
    n.iface.neuronId = fixedBytes<6>(ir.hex(io, "neuronId", 6, true));
    n.iface.programId = fixedBytes<8>(ir.hex(io, "programId", 8, false));
    n.iface.model = uint8_t(ir.integer(io, "model", 0, 255, 0));
    n.iface.minorModel = uint8_t(ir.integer(io, "minorModel", 0, 15, 0));
    const QJsonArray domains = ir.array(io, "domains");
    if (domains.size() > 2)
        ir.fail(QStringLiteral("an interface has two domain table entries"));
    for (qsizetype i = 0; i < domains.size(); ++i)
        n.iface.domains[std::size_t(i)] = readDomain(ir.at(QStringLiteral("domains"), i), domains.at(i).toObject());
    n.iface.behaviour = readBehaviour(ir.at(QStringLiteral("behaviour")), ir.object(io, "behaviour"));
    const QJsonArray devices = r.array(o, "devices");
    n.devices.reserve(devices.size());
    QSet<QString> names;
    names.reserve(devices.size());
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const Reader dr = r.at(QStringLiteral("devices"), i);
        if (!devices.at(i).isObject())
            dr.fail(QStringLiteral("must be an object"));
        n.devices.append(readDevice(dr, devices.at(i).toObject(), folder));
        const qsizetype before = names.size();
        names.insert(n.devices.last().name);
        if (names.size() == before)
            dr.fail(QStringLiteral("two devices are named ") + n.devices.last().name);
    }
    return n;
}

} // namespace

LoadResult loadDescription(const QByteArray &json, const QString &sourceName)
{
    LoadResult result;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("%1: not valid JSON at offset %2: %3")
                           .arg(sourceName).arg(parseError.offset).arg(parseError.errorString());
        return result;
    }
    if (!doc.isObject()) {
        result.error = sourceName + QStringLiteral(": the description must be a JSON object");
        return result;
    }
    if (const QString twice = jsonrules::duplicateKey(json); !twice.isEmpty()) {
        result.error = sourceName + QStringLiteral(": ") + twice;
        return result;
    }
    try {
        const QFileInfo source(sourceName);
        result.model = readNetwork(Reader(sourceName), doc.object(), source.completeBaseName(), source.absolutePath());
    } catch (const LoadError &e) {
        result.error = e.what;
    }
    return result;
}

LoadResult loadDescriptionFile(const QString &path)
{
    QString why;
    const std::optional<QByteArray> bytes = ReadUserFile(path, MaxDescriptionBytes, why);
    if (!bytes) {
        LoadResult result;
        result.error = path + QStringLiteral(": cannot be read: ") + why;
        return result;
    }
    return loadDescription(*bytes, path);
}

int Device::nvIndexCount() const
{
    int count = 0;
    for (const NetworkVariable &nv : variables)
        count += nv.arrayCount;
    return count;
}

} // namespace lonsim
