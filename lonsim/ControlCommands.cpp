#include "lonsim/ControlCommands.h"

#include "lonsim/HexBytes.h"
#include "lonsim/NetworkRegistry.h"
#include "lonsim/Responder.h"

#include <QStringList>

namespace lonsim {

namespace {

AnswerFault faultFrom(const QStringList &words, int first)
{
    AnswerFault fault;
    fault.every = words.value(first).toInt();
    for (int i = first + 1; i < words.size(); ++i)
        fault.codes.append(words.at(i).toInt(nullptr, 0));
    return fault;
}

QString runOnDevice(Network &net, DeviceState &d, const QStringList &w)
{
    const QString &verb = w.at(0);
    const bool on = w.value(2, QStringLiteral("on")) != QLatin1String("off");
    if (verb == QLatin1String("silent")) {
        d.setSilent(on);
    } else if (verb == QLatin1String("answer")) {
        d.setSilent(false);
    } else if (verb == QLatin1String("select")) {
        d.setSelected(on);
    } else if (verb == QLatin1String("delay")) {
        d.setDelay(std::max(0, w.value(2).toInt()));
    } else if (verb == QLatin1String("drop")) {
        d.setDropped(faultFrom(w, 2));
    } else if (verb == QLatin1String("double")) {
        d.setDoubled(faultFrom(w, 2));
    } else if (verb == QLatin1String("malformed")) {
        const auto kind = malformKindNamed(w.value(2));
        if (!kind)
            return QStringLiteral("error: unknown kind ") + w.value(2);
        d.setMalformed(*kind, faultFrom(w, 3));
    } else if (verb == QLatin1String("reset-counts")) {
        d.resetCounts();
    } else if (verb == QLatin1String("set") || verb == QLatin1String("send")) {
        bool ok = false;
        const int index = w.value(2).toInt(&ok);
        if (!ok || index < 0 || index >= d.slotCount())
            return QStringLiteral("error: no variable ") + w.value(2);
        NvSlot &slot = *d.slotAt(index);
        if (verb == QLatin1String("send")) {
            net.sendUnsolicited(d, slot, net.now());
            return QStringLiteral("ok");
        }
        const auto bytes = parseHex(w.mid(3).join(QString()));
        if (!bytes || bytes->size() != d.variableOf(slot).size)
            return QStringLiteral("error: the value must be %1 bytes in hex").arg(d.variableOf(slot).size);
        slot.value = *bytes;
        slot.changing = false;
    } else {
        return QStringLiteral("error: unknown command ") + verb;
    }
    return QStringLiteral("ok");
}

// A `network <name>` line limits later commands to that network (its key or its name).
bool inScope(const Network &net, const QString &network)
{
    return network.isEmpty() || net.key().compare(network, Qt::CaseInsensitive) == 0 || net.model().name == network;
}

} // namespace

QString runControlCommand(NetworkRegistry &registry, const QString &line, QString &network)
{
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty() || w.at(0).startsWith(QLatin1Char('#')))
        return {};
    if (w.at(0) == QLatin1String("network")) {
        network = w.value(1);
        return QStringLiteral("ok");
    }
    if (w.at(0) == QLatin1String("reset-channel")) {
        for (Network *net : registry.networks()) {
            if (inScope(*net, network)) {
                net->resetChannelCounts();
                net->setDirty(true);
            }
        }
        return QStringLiteral("ok");
    }
    if (w.size() < 2)
        return QStringLiteral("error: a command names a device");
    int done = 0;
    QString result = QStringLiteral("error: no device ") + w.at(1);
    for (Network *net : registry.networks()) {
        if (!inScope(*net, network))
            continue;
        for (DeviceState &d : net->devices()) {
            if (w.at(1) != QLatin1String("*") && d.model().name != w.at(1))
                continue;
            result = runOnDevice(*net, d, w);
            net->setDirty(true);
            ++done;
            if (!result.startsWith(QLatin1String("ok")))
                return result;
        }
    }
    return done ? QStringLiteral("ok") : result;
}

} // namespace lonsim
