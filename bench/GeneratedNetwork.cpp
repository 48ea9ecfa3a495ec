#include "GeneratedNetwork.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString TGeneratedNetwork::VariableName(int v)
{
    return QStringLiteral("nvoValue%1").arg(v, 4, 10, QLatin1Char('0'));
}

int TGeneratedNetwork::SelfDocBytes() const
{
    // Header (length, count, version, count, tag count), two descriptor bytes per variable,
    // the empty documentation string, then per variable the flags byte and the name.
    const int header = 6;
    const int nameBytes = int(VariableName(0).size()) + 1;
    return header + 2 * Variables + 1 + Variables * (1 + nameBytes);
}

QString TGeneratedNetwork::Write(const QTemporaryDir &dir, const QString &name) const
{
    QJsonArray devices;
    for (int d = 0; d < Devices; ++d) {
        QJsonArray variables;
        for (int v = 0; v < Variables; ++v) {
            QByteArray value(VariableSize, '\0');
            for (int i = 0; i < VariableSize; ++i)
                value[i] = char((v + i) & 0x7F);
            variables.append(QJsonObject{{"name", VariableName(v)},
                                         {"direction", "out"},
                                         {"snvt", Snvt},
                                         {"value", QString::fromLatin1(value.toHex(' '))}});
        }
        // Subnets 1..: 100 nodes each, so any number of devices gets valid addresses.
        const QString neuronId = QStringLiteral("05:00:00:%1:%2:01")
                                     .arg(d / 256, 2, 16, QLatin1Char('0'))
                                     .arg(d % 256, 2, 16, QLatin1Char('0'));
        devices.append(QJsonObject{
            {"name", QStringLiteral("Device%1").arg(d)},
            {"neuronId", neuronId},
            {"domains", QJsonArray{QJsonObject{{"id", "4C"}, {"subnet", 1 + d / 100}, {"node", 1 + d % 100}}}},
            {"selfDocAddress", "0x4000"},
            {"variables", variables}});
    }
    QJsonObject root{
        {"name", name},
        {"timeScale", 0.001},
        {"interface", QJsonObject{{"neuronId", "05:00:00:00:00:01"},
                                  {"domains", QJsonArray{QJsonObject{{"id", "4C"}, {"subnet", 1}, {"node", 126}},
                                                         QJsonObject{{"id", "12:34:56"}, {"subnet", 2}, {"node", 126}}}}}},
        {"devices", devices}};
    if (!Channel.isEmpty())
        root.insert("channel", QJsonObject{{"kind", Channel}});
    const QString path = dir.filePath(name + QStringLiteral(".json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QJsonDocument(root).toJson());
    return path;
}
