#pragma once
// Opens a network description on the simulator library (libldv32.so beside the test) for
// one TniNetworkInterface, and reads back the frames the driver wrote from the
// simulator's trace file (LONSIM_TRACE).

#include "lonworks/LDV32.h"
#include "lonworks/LonLib.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QTest>

// Frames the host wrote, as bytes.
using TFrames = QList<QByteArray>;

class TSimNetwork
{
public:
    // Loads the library and points the trace at a file of its own; call from initTestCase.
    static bool Prepare(QTemporaryDir &dir)
    {
        qputenv("LONSIM_TRACE", QFile::encodeName(dir.filePath(QStringLiteral("trace.txt"))));
        return LDV32::Load();
    }

    explicit TSimNetwork(const QString &fixture)
    {
        const QByteArray path = QFile::encodeName(QStringLiteral(LW_FIXTURES "/") + fixture);
        FStatus = Ni.Open(path);
        Mark();
    }
    ~TSimNetwork()
    {
        if (FStatus == 0)
            Ni.Close();
    }
    bool IsOpen() const { return FStatus == 0; }

    // Forgets the frames written so far.
    void Mark() { FMark = Lines().size(); }
    // Frames written since the last Mark(), optionally only those with the given code.
    TFrames Writes(int code = -1) const
    {
        TFrames frames;
        const QList<QByteArray> lines = Lines();
        for (qsizetype i = FMark; i < lines.size(); ++i) {
            const qsizetype at = lines[i].indexOf(" write ");
            if (at < 0)
                continue;
            const QByteArray frame = QByteArray::fromHex(lines[i].mid(at + 7));
            if (code < 0 || (frame.size() > 16 && quint8(frame[16]) == code))
                frames.append(frame);
        }
        return frames;
    }

    TniNetworkInterface Ni;

private:
    static QList<QByteArray> Lines()
    {
        QFile file(qEnvironmentVariable("LONSIM_TRACE"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        lines.removeLast();   // the text after the last newline: nothing, or a line still being written
        return lines;
    }

    qint16 FStatus = -1;
    qsizetype FMark = 0;
};

// The data bytes (after the code) of a written frame.
inline QByteArray FrameData(const QByteArray &frame)
{
    return frame.mid(17);
}

// A device key as FindDevices forms it.
inline QString DeviceKey(int domain, int subnet, int node, const QByteArray &neuronIdHex)
{
    QString key = QStringLiteral("%1:%2:%3:").arg(domain).arg(subnet).arg(node);
    for (char c : QByteArray::fromHex(neuronIdHex))
        key += QChar(quint8(c));
    return key;
}
