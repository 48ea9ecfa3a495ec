#pragma once
// Builds self-documentation bytes in the Neuron layout for tests: header, descriptors,
// the device's documentation string and the extension records.

#include <QByteArray>
#include <QList>

struct TDocVariable
{
    quint8 Snvt = 0;
    bool Record = true;          // descriptor bit 7: an extension record follows
    QByteArray Name;             // empty: no name field
    QByteArray Doc;              // empty: no documentation field
    int Array = 0;               // 0: no array field
    bool SkipHigh = false;       // record flags 7 and 6: one byte each, skipped
    bool SkipNext = false;
};

inline QByteArray BuildSelfDoc(int version, const QList<TDocVariable> &variables,
                               const QByteArray &deviceDoc = "device")
{
    const int n = int(variables.size());
    QByteArray b;
    b.append(2, '\0');                               // total length, set below
    b.append(char(n & 0xFF));
    b.append(char(version));
    b.append(char(version == 0 ? 0 : n >> 8));
    if (version > 0)
        b.append('\0');
    for (const TDocVariable &v : variables) {
        b.append(char((v.Record ? 0x80 : 0) | 0x20));
        b.append(char(v.Snvt));
    }
    b.append(deviceDoc).append('\0');
    for (const TDocVariable &v : variables) {
        if (!v.Record)
            continue;
        const int e = (v.SkipHigh ? 0x80 : 0) | (v.SkipNext ? 0x40 : 0) | (v.Name.isEmpty() ? 0 : 0x20)
                      | (v.Doc.isEmpty() ? 0 : 0x10) | (v.Array ? 0x08 : 0);
        b.append(char(e));
        if (v.SkipHigh)
            b.append(char(0x11));
        if (v.SkipNext)
            b.append(char(0x22));
        if (!v.Name.isEmpty())
            b.append(v.Name).append('\0');
        if (!v.Doc.isEmpty())
            b.append(v.Doc).append('\0');
        if (v.Array && version > 0)
            b.append(char(v.Array >> 8)).append(char(v.Array & 0xFF));
    }
    b[0] = char(b.size() >> 8);
    b[1] = char(b.size() & 0xFF);
    return b;
}
