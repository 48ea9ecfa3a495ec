#include "ldv/tids/InterfaceTids.h"

#include "ldv/tids/TidStateFile.h"

#include <QRandomGenerator>

#include <cstdio>
#include <map>

namespace ldv {

std::shared_ptr<InterfaceTids> InterfaceTids::of(const QString &name, int64_t now)
{
    // One per interface name of the interfaces file: a few, kept for the process's life
    // so that handles opened one after another go on where the last one stopped.
    static std::map<QString, std::shared_ptr<InterfaceTids>> tables;
    std::shared_ptr<InterfaceTids> &tids = tables[name.toLower()];
    if (!tids)
        tids = load(tidStatePath(name), now);
    return tids;
}

std::shared_ptr<InterfaceTids> InterfaceTids::load(const QString &path, int64_t now)
{
    if (const auto kept = readTidState(path, now, HoldMs))
        return std::make_shared<InterfaceTids>(path, ip852::TidTable(*kept));
    // Nothing kept: a random first TID makes a clash with a previous run's unlikely.
    return std::make_shared<InterfaceTids>(path, ip852::TidTable(uint8_t(QRandomGenerator::global()->bounded(1, 16))));
}

InterfaceTids::InterfaceTids(QString stateFile, ip852::TidTable table)
    : m_stateFile(std::move(stateFile)), m_table(std::move(table))
{
}

uint8_t InterfaceTids::next(const QByteArray &destination, bool priority, int64_t now)
{
    m_changed = true;
    return m_table.next(destination, priority, now);
}

void InterfaceTids::finished(const QByteArray &destination, bool priority, uint8_t tid, int64_t now)
{
    m_table.finished(destination, priority, tid, now, HoldMs);
    m_changed = true;
    save(now);
}

void InterfaceTids::save(int64_t now, bool force)
{
    if (m_stateFile.isEmpty() || !m_changed || (!force && m_saved && now - m_savedAt < SaveIntervalMs))
        return;
    QString error;
    if (!writeTidState(m_stateFile, m_table.snapshot(now, HoldMs), now, error)) {
        if (!m_complained)
            std::fprintf(stderr, "libldv32: transaction IDs not kept for the next run: %s\n",
                         error.toLocal8Bit().constData());
        m_complained = true;
    }
    m_changed = false;
    m_saved = true;
    m_savedAt = now;
}

} // namespace ldv
