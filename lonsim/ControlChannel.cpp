#include "lonsim/ControlChannel.h"

#include "lonsim/ControlCommands.h"
#include "lonsim/HexBytes.h"
#include "lonsim/Interface.h"
#include "lonsim/NetworkRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace lonsim {

namespace {

constexpr qint64 PollIntervalMs = 50;

QJsonObject countsOf(const DeviceCounters &c)
{
    return QJsonObject{
        {QStringLiteral("queryId"), c.queryId},       {QStringLiteral("respondToQuery"), c.respondToQuery},
        {QStringLiteral("readMemory"), c.readMemory}, {QStringLiteral("querySnvt"), c.querySnvt},
        {QStringLiteral("fetch"), c.fetch},           {QStringLiteral("nvConfig"), c.nvConfig},
        {QStringLiteral("update"), c.update},         {QStringLiteral("rejectedUpdate"), c.rejectedUpdate},
        {QStringLiteral("failureAnswers"), c.failureAnswers}, {QStringLiteral("dropped"), c.dropped},
        {QStringLiteral("fileTransfers"), c.fileTransfers},   {QStringLiteral("other"), c.other},
        {QStringLiteral("duplicates"), c.duplicates},
        {QStringLiteral("unauthenticated"), c.unauthenticated}, {QStringLiteral("challenges"), c.challenges},
    };
}

QJsonObject stateOf(Network &net)
{
    QJsonObject devices;
    for (const DeviceState &d : net.devices()) {
        QJsonObject values;
        for (int i = 0; i < d.slotCount(); ++i)
            values.insert(QString::number(i), toHex(d.valueAt(d.slots()[std::size_t(i)], net.now(), net.timeScale()), 0));
        devices.insert(d.model().name, QJsonObject{
                                          {QStringLiteral("silent"), d.behaviour().silent},
                                          {QStringLiteral("selected"), d.selected()},
                                          {QStringLiteral("counts"), countsOf(d.counts())},
                                          {QStringLiteral("values"), values},
                                      });
    }
    QJsonObject state{{QStringLiteral("name"), net.model().name},
                      {QStringLiteral("interfaces"), int(net.interfaces().size())},
                      {QStringLiteral("devices"), devices}};
    if (const ChannelTimeline &c = net.channel(); c.timed()) {
        const qint64 now = net.nowNs();
        state.insert(QStringLiteral("channel"),
                     QJsonObject{{QStringLiteral("kind"), QLatin1String(lontalk::channel::figuresOf(c.channel().medium)->name)},
                                 {QStringLiteral("bitRate"), c.channel().bitRate},
                                 {QStringLiteral("load"), c.load(now)},
                                 {QStringLiteral("busyNs"), double(c.busyNs())},
                                 {QStringLiteral("countedNs"), double(now - c.countedSinceNs())},
                                 {QStringLiteral("frames"), double(c.frames())}});
    }
    return state;
}

void publish(NetworkRegistry &registry, const QDir &dir)
{
    QJsonObject networks;
    for (Network *net : registry.networks()) {
        networks.insert(net->key(), stateOf(*net));
        net->setDirty(false);
    }
    QSaveFile file(dir.filePath(QStringLiteral("state.json")));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("networks"), networks}}).toJson());
    file.commit();
}

// Carries out the command files; their results, by file name, to be written once the
// state that follows from them is published.
QList<std::pair<QString, QString>> runCommandFiles(NetworkRegistry &registry, const QDir &dir)
{
    QList<std::pair<QString, QString>> done;
    const QStringList files = dir.entryList({QStringLiteral("*.cmd")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        QFile in(dir.filePath(name));
        if (!in.open(QIODevice::ReadOnly) || in.size() > 1024 * 1024)
            continue;
        const QStringList lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
        in.close();
        QString network;
        QString results;
        for (const QString &line : lines) {
            const QString result = runControlCommand(registry, line, network);
            if (!result.isEmpty())
                results += line.trimmed() + QLatin1String(" => ") + result + QLatin1Char('\n');
        }
        QFile::remove(dir.filePath(name));
        done.append({name.chopped(4) + QLatin1String(".done"), results});
    }
    return done;
}

void writeResults(const QDir &dir, const QList<std::pair<QString, QString>> &done)
{
    for (const auto &[name, results] : done) {
        QSaveFile out(dir.filePath(name));
        if (out.open(QIODevice::WriteOnly)) {
            out.write(results.toUtf8());
            out.commit();
        }
    }
}

} // namespace

void pollControlChannel(NetworkRegistry &registry, bool force)
{
    static QElapsedTimer sinceLast;
    if (!force && sinceLast.isValid() && sinceLast.elapsed() < PollIntervalMs)
        return;
    sinceLast.start();
    const QString folder = qEnvironmentVariable("LONSIM_CONTROL");
    if (folder.isEmpty())
        return;
    const QDir dir(folder);
    if (!dir.exists())
        return;
    const auto done = runCommandFiles(registry, dir);
    bool dirty = !done.isEmpty() || force;
    for (Network *net : registry.networks())
        dirty = dirty || net->dirty();
    if (dirty)
        publish(registry, dir);
    writeResults(dir, done);
}

} // namespace lonsim
