#pragma once
// Run-time binding of the LonWorks driver library (libldv32.so): loaded once at start-up,
// its ten entries resolved by name; a call whose library or entry is missing fails with -1.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace LDV32 {

// Status of every call that cannot be made (no library, or the entry is missing).
constexpr qint16 MissingStatus = -1;
// Statuses of the library the driver acts on.
constexpr qint16 DeviceError = 4;           // the interface failed (an adapter unplugged)
constexpr qint16 NoMessage = 6;             // ldv_read: nothing to read now
constexpr qint16 NoBufferAvailable = 7;     // ldv_write: not now, write again shortly
// Capacity of the name buffers handed to the library (1,024 characters and a NUL).
constexpr int NameBufferSize = 1025;

// Loads the library unless it is loaded already and resolves its entries; true when
// loaded. LDV32_LIBRARY (a path) overrides the search; otherwise libldv32.so is taken
// from the program's own folder, then from the system's library path.
bool Load();
// Releases the library; every entry becomes empty. Also done at process exit.
void Unload();

bool IsLoaded();
QString LibraryPath();        // the file that was loaded (or last tried)
QString ErrorText();          // dlopen/dlsym text of the last load, empty when clean
QStringList MissingEntries(); // entries the loaded library does not export
QString LibraryVersion();     // ldv_get_version() as read at load
// Why calls into the library cannot be made, as a sentence naming the library and the
// loader's reason ("the driver library /x/libldv32.so could not be loaded: ..."); empty
// when the library is loaded with every entry the driver calls.
QString LoadProblem();

qint16 Open(const QByteArray &name, qint16 &handle);
qint16 Close(qint16 handle);
qint16 Read(qint16 handle, void *buffer, qint16 length);
qint16 Write(qint16 handle, const void *buffer, qint16 length);
QString GetVersion();
// The library's standard name for an interface; empty when the entry is missing.
QString XlateDeviceNameStd(const QByteArray &name);

} // namespace LDV32
