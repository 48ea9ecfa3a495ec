#pragma once
// A minimal host for the simulator tests: builds frames in the interface's explicit
// message format and runs transactions through the raw C entries of libldv32.so.

#include "ldv/ldv32.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QThread>

struct Exchange {
    QList<QByteArray> responses;    // frames with the Response bit
    QList<QByteArray> others;       // incoming messages and foreign frames
    int completion = 0;             // 1 success, 2 failure, 0 none seen
    short writeStatus = 0;
};

class SimHost {
public:
    short handle = -1;
    int tag = 0;

    short open(const char *name) { return ldv_open(name, &handle); }
    ~SimHost()
    {
        if (handle >= 0)
            ldv_close(handle);
    }

    // Address field bytes 5.. for subnet/node, Neuron ID, broadcast and local frames.
    static QByteArray toNode(int domain, int subnet, int node, int retries = 2, int txTimer = 10)
    {
        return QByteArray() + char(1) + char(domain * 128 + node) + char(retries)
               + char(txTimer) + char(subnet);
    }
    static QByteArray toNeuronId(int domain, const QByteArray &neuronId)
    {
        return QByteArray() + char(2) + char(domain * 128) + char(2) + char(10) + char(0) + neuronId;
    }
    static QByteArray broadcast(int domain, int subnet = 0)
    {
        return QByteArray() + char(3) + char(domain * 128) + char(2) + char(10) + char(subnet);
    }
    static QByteArray local() { return QByteArray(1, char(0x7F)); }

    QByteArray frame(int command, const QByteArray &address, int code, const QByteArray &data, int service = 3)
    {
        tag = (tag + 1) % 15;
        QByteArray f(17, '\0');
        f[0] = char(command * 16 + 2);
        f[1] = char(data.size() + 15);
        f[2] = char((service << 5) | tag);
        f[3] = char(0x08);
        f[4] = char(data.size() + 1);
        f.replace(5, address.size(), address);
        f.resize(17);
        f[16] = char(code);
        return f + data;
    }

    short write(const QByteArray &f) { return ldv_write(handle, f.constData(), short(f.size())); }

    // The next frame due within waitMs, or an empty array.
    QByteArray read(int waitMs = 3000)
    {
        QElapsedTimer t;
        t.start();
        do {
            char buffer[1024];
            if (ldv_read(handle, buffer, sizeof buffer) == LDV_OK) {
                const int length = std::min(1024, uint8_t(buffer[1]) + 2);
                return QByteArray(buffer, length);
            }
            QThread::msleep(2);
        } while (t.elapsed() < waitMs);
        return {};
    }

    Exchange exchange(const QByteArray &f, int waitMs = 5000)
    {
        Exchange x;
        x.writeStatus = write(f);
        if (x.writeStatus != LDV_OK)
            return x;
        const bool local = (uint8_t(f[0]) >> 4) == 2;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs) {
            const QByteArray r = read(waitMs - int(t.elapsed()));
            if (r.isEmpty())
                break;
            if (uint8_t(r[3]) & 0x01) {
                x.responses.append(r);
                if (local)
                    break;
            } else if ((uint8_t(r[2]) & 0x0F) == (uint8_t(f[2]) & 0x0F) && r[16] == f[16]
                       && (uint8_t(r[0]) & 0x0F) != 8) {
                x.completion = (uint8_t(r[3]) >> 4) & 0x03;
                break;
            } else {
                x.others.append(r);
            }
        }
        return x;
    }

    // Data bytes (after the code) of a received frame.
    static QByteArray dataOf(const QByteArray &r) { return r.mid(17); }
    static int codeOf(const QByteArray &r) { return uint8_t(r[16]); }
};
