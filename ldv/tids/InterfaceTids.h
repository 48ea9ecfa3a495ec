#pragma once
// The transaction IDs of one named interface of the library: one TID table shared by every
// handle opened on it in this process, and carried over to the driver's next run through
// its state file, so that no destination gets the TID it had last while a device may still
// hold its receive record (up to the longest receive timer, 24.6 s). Without a state file
// (no XDG_RUNTIME_DIR) a first run starts at a random TID.

#include "lontalk/ip852/TidTable.h"
#include "lontalk/ip852/Timers.h"

#include <QString>

#include <memory>

namespace ldv {

class InterfaceTids {
public:
    static constexpr int HoldMs = ip852::LongestReceiveMs;
    static constexpr int SaveIntervalMs = 1000;     // the state file is written at most this often

    // The table of interface `name` (letter case ignored) in this process: made on first
    // use from its state file. now: the caller's clock.
    static std::shared_ptr<InterfaceTids> of(const QString &name, int64_t now);
    // A table kept in the state file at path (empty: none), as a new process finds it.
    static std::shared_ptr<InterfaceTids> load(const QString &path, int64_t now);

    InterfaceTids(QString stateFile, ip852::TidTable table);

    uint8_t next(const QByteArray &destination, bool priority, int64_t now);
    void finished(const QByteArray &destination, bool priority, uint8_t tid, int64_t now);
    // Writes the state file when the table changed and the last write is SaveIntervalMs
    // old; with force whenever it changed (a handle closes).
    void save(int64_t now, bool force = false);

    const ip852::TidTable &table() const { return m_table; }

private:
    QString m_stateFile;
    ip852::TidTable m_table;
    bool m_changed = false;
    bool m_complained = false;
    int64_t m_savedAt = 0;
    bool m_saved = false;
};

} // namespace ldv
