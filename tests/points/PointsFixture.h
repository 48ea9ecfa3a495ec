#pragma once
// Shared pieces of the points tests: a site connected to the POINTS fixture network
// on the simulator, points lists sent by stand-in clients, and the fetches the site wrote
// (read back from the simulator's trace file).

#include "../site_form/SiteFormFixture.h"

#include "lonworks/LDV32.h"
#include "lonworks/LonInterface.h"
#include "lonworks/LonLib.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <array>

// Nodes of the POINTS network (subnet 1 of domain 0).
constexpr int PanelNode = 10;
constexpr int SlowNode = 11;
constexpr int DeadNode = 12;
// Nodes of the ANSWERS network (answers.json, subnet 1 of domain 0).
constexpr int ConfusedNode = 13;    // answers a fetch with the next variable's value
constexpr int GarbledNode = 14;     // answers memory reads with another request's code
constexpr int TinyNode = 15;        // self-documentation shorter than one 16-byte read
constexpr int TinyByQueryNode = 16; // the same, reached through Query SNVT

class TPointsSite
{
public:
    // Loads the library, pins the locale and points the trace at a file of its own.
    static bool Prepare(QTemporaryDir &dir)
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qputenv("LONSIM_TRACE", QFile::encodeName(dir.filePath(QStringLiteral("trace.txt"))));
        return LDV32::Load();
    }

    // description: a network description of the fixtures (ANSWERS: answers.json holds the
    // devices whose answers do not fit their requests and the short self-documentations).
    explicit TPointsSite(const QString &description = QStringLiteral("points.json"))
        : Controller(MakeSite(QStringLiteral("Points"), false, QStringLiteral(LW_FIXTURES "/") + description))
    {
        Attach(*Controller, Client);
        Controller->ReleaseCommand(&Client);
        Mark();
    }

    bool IsOnline() const { return Controller->IsOnline(); }

    // Sends a points list of addresses for the client (names P0, P1, ...).
    bool SendPoints(TTestClient &client, const QStringList &addresses)
    {
        return Controller->ReceivePointsList(&client, PointsRequest(addresses));
    }
    bool SendPoints(const QStringList &addresses) { return SendPoints(Client, addresses); }

    static QStringList PointsRequest(const QStringList &addresses)
    {
        QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
        for (int i = 0; i < addresses.size(); ++i)
            request.append(QStringLiteral("POINT%1={P%1}{%2}").arg(i).arg(addresses.at(i)));
        return request;
    }

    TPointData Point(const QString &address) const
    {
        const TPointData *point = Controller->Poller().Points().Find(address);
        return point ? *point : TPointData();
    }

    // Ticks until the site has sent `count` fetches to node (or maxTicks ran out).
    int TickUntilFetches(int node, int count, int maxTicks = 200)
    {
        for (int tick = 1; tick <= maxTicks; ++tick) {
            Tick(*Controller);
            if (Fetches(node).size() >= count)
                return tick;
        }
        return -1;
    }

    // Starts a command for the client and runs it on the next tick; the answer's state.
    int Run(int job, const QStringList &request)
    {
        Controller->StartCommand(&Client, job, request);
        Tick(*Controller);
        const int state = Controller->CommandSlot().CommandState();
        Controller->ReleaseCommand(&Client);
        return state;
    }

    // The current bytes of a variable of a device, read over the network.
    QByteArray DeviceValue(int node, int index)
    {
        std::array<quint8, 256> bytes{};
        quint8 length = 0;
        if (FetchNetworkVariable(TSiteTestHook::Interface(*Controller), 0, 1, quint8(node), quint16(index), bytes, length) != 0)
            return QByteArray("no answer");
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), length);
    }

    // Forgets the frames written so far.
    void Mark() { FMark = TraceLines().size(); }
    // The variable indexes of the fetches written to node since the last Mark().
    QList<int> Fetches(int node) const
    {
        QList<int> indexes;
        for (const QByteArray &f : Writes(node))
            if (f.size() > 17 && quint8(f[16]) == 0x73)
                indexes.append(quint8(f[17]));
        return indexes;
    }
    // Network variable updates written to node since the last Mark().
    int Updates(int node) const
    {
        int count = 0;
        for (const QByteArray &f : Writes(node))
            count += quint8(f[16]) >= 0x80 ? 1 : 0;
        return count;
    }

    std::unique_ptr<TSiteController> Controller;
    TTestClient Client;

private:
    // Frames written to node (subnet/node address) since the last Mark().
    QList<QByteArray> Writes(int node) const
    {
        QList<QByteArray> frames;
        const QList<QByteArray> lines = TraceLines();
        for (qsizetype i = FMark; i < lines.size(); ++i) {
            const qsizetype at = lines[i].indexOf(" write ");
            if (at < 0)
                continue;
            const QByteArray f = QByteArray::fromHex(lines[i].mid(at + 7));
            if (f.size() > 16 && quint8(f[5]) == 1 && (quint8(f[6]) & 0x7F) == node)
                frames.append(f);
        }
        return frames;
    }

    static QList<QByteArray> TraceLines()
    {
        QFile file(qEnvironmentVariable("LONSIM_TRACE"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        lines.removeLast();
        return lines;
    }

    qsizetype FMark = 0;
};

// Addresses on the POINTS network.
inline QString PanelAddress(int index, int offset, int type, int parameter, const QString &suffix = QString())
{
    return QStringLiteral("0:1:%1:%2:0:%3:%4:%5").arg(PanelNode).arg(index).arg(offset).arg(type).arg(parameter)
         + suffix;
}
