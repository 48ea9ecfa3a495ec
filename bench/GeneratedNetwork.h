#pragma once
// Network descriptions made up for the whole-system benchmarks: D devices with V network
// variables each, written as a description file the simulated network opens by path.

#include <QString>
#include <QTemporaryDir>

struct TGeneratedNetwork
{
    int Devices = 1;
    int Variables = 1;        // per device
    int VariableSize = 10;    // bytes of each variable
    int Snvt = 0;             // SNVT type number of every variable
    QString Channel;          // the channel's kind (TP/FT-10, PL-20); empty: untimed

    // Writes the description into dir; its path, or an empty text when it could not.
    QString Write(const QTemporaryDir &dir, const QString &name) const;
    // Bytes of one device's self-documentation as the simulator lays it out (version 1,
    // one extension record with the name per variable, empty documentation string).
    int SelfDocBytes() const;
    // The name of variable v.
    static QString VariableName(int v);
};
