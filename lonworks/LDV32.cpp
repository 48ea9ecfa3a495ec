#include "lonworks/LDV32.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstring>
#include <dlfcn.h>

namespace {

// One typed pointer per entry, declared and resolved by name the way Qt's serial-bus
// plugins bind a vendor's CAN library.
#define LDV_ENTRY(returnType, symbolName, ...) \
    using fp_##symbolName = returnType (*)(__VA_ARGS__); \
    fp_##symbolName symbolName = nullptr;

struct TEntries
{
    LDV_ENTRY(const char *, ldv_get_version, void)
    LDV_ENTRY(short, ldv_open, const char *, short *)
    LDV_ENTRY(short, ldv_close, short)
    LDV_ENTRY(short, ldv_read, short, void *, short)
    LDV_ENTRY(short, ldv_write, short, const void *, short)
    LDV_ENTRY(short, ldv_register_event, short, void *)
    LDV_ENTRY(short, ldv_get_debug_info, short, void *, short)
    LDV_ENTRY(short, ldv_xlate_device_name, const char *, char *, int *)
    LDV_ENTRY(short, ldv_xlate_device_name_std, const char *, char *, int *)
    LDV_ENTRY(short, ldv_enable, short, short)
};
#undef LDV_ENTRY

struct TLibrary
{
    void *module = nullptr;
    TEntries entries;
    QString path;
    QString error;
    QStringList missing;
    QString version;

    ~TLibrary() { Release(); }

    void Release()
    {
        if (module)
            dlclose(module);
        module = nullptr;
        entries = TEntries();
    }

    template<typename Fn>
    void Resolve(Fn &entry, const char *name)
    {
        dlerror();
        entry = reinterpret_cast<Fn>(dlsym(module, name));
        if (!entry) {
            missing.append(QString::fromLatin1(name));
            const char *text = dlerror();
            error += (error.isEmpty() ? QString() : QStringLiteral("\n"))
                     + QString::fromLocal8Bit(text ? text : name);
        }
    }
};

TLibrary &Library()
{
    static TLibrary library;
    return library;
}

QString ProgramFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

// The candidates in search order: the override alone, or the program's folder then the
// bare name (dlopen searches the system's library path for it).
QStringList Candidates()
{
    const QString overridePath = qEnvironmentVariable("LDV32_LIBRARY");
    if (!overridePath.isEmpty())
        return {overridePath};
    QStringList list;
    const QString local = ProgramFolder() + QStringLiteral("/libldv32.so");
    if (QFileInfo::exists(local))
        list.append(local);
    list.append(QStringLiteral("libldv32.so"));
    return list;
}

} // namespace

namespace LDV32 {

bool Load()
{
    TLibrary &lib = Library();
    if (lib.module)
        return true;
    lib.error.clear();
    lib.missing.clear();
    lib.version.clear();
    for (const QString &candidate : Candidates()) {
        lib.path = candidate;
        lib.module = dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
        if (lib.module)
            break;
        const char *text = dlerror();
        lib.error = QString::fromLocal8Bit(text ? text : "dlopen failed");
    }
    if (!lib.module)
        return false;
    lib.error.clear();
    TEntries &e = lib.entries;
    lib.Resolve(e.ldv_get_version, "ldv_get_version");
    lib.Resolve(e.ldv_open, "ldv_open");
    lib.Resolve(e.ldv_close, "ldv_close");
    lib.Resolve(e.ldv_read, "ldv_read");
    lib.Resolve(e.ldv_write, "ldv_write");
    lib.Resolve(e.ldv_register_event, "ldv_register_event");
    lib.Resolve(e.ldv_get_debug_info, "ldv_get_debug_info");
    lib.Resolve(e.ldv_xlate_device_name, "ldv_xlate_device_name");
    lib.Resolve(e.ldv_xlate_device_name_std, "ldv_xlate_device_name_std");
    lib.Resolve(e.ldv_enable, "ldv_enable");
    lib.version = GetVersion();
    return true;
}

void Unload() { Library().Release(); }

bool IsLoaded() { return Library().module != nullptr; }
QString LibraryPath() { return Library().path; }
QString ErrorText() { return Library().error; }
QStringList MissingEntries() { return Library().missing; }
QString LibraryVersion() { return Library().version; }

QString LoadProblem()
{
    const TLibrary &lib = Library();
    if (!lib.module)
        return QStringLiteral("the driver library %1 could not be loaded: %2")
            .arg(lib.path.isEmpty() ? QStringLiteral("libldv32.so") : lib.path,
                 lib.error.isEmpty() ? QStringLiteral("it was not loaded") : lib.error);
    // The four entries that are bound but never called do not stop the driver.
    static const char *const called[] = {"ldv_get_version", "ldv_open", "ldv_close", "ldv_read",
                                         "ldv_write", "ldv_xlate_device_name_std"};
    QStringList missing;
    for (const char *name : called)
        if (lib.missing.contains(QLatin1String(name)))
            missing.append(QLatin1String(name));
    if (missing.isEmpty())
        return {};
    return QStringLiteral("the driver library %1 lacks the entr%2 %3")
        .arg(lib.path, missing.size() == 1 ? QStringLiteral("y") : QStringLiteral("ies"),
             missing.join(QStringLiteral(", ")));
}

qint16 Open(const QByteArray &name, qint16 &handle)
{
    const auto entry = Library().entries.ldv_open;
    if (!entry)
        return MissingStatus;
    std::array<char, NameBufferSize> buffer{};
    std::memcpy(buffer.data(), name.constData(), std::min<size_t>(name.size(), NameBufferSize - 1));
    short h = -1;
    const qint16 status = entry(buffer.data(), &h);
    if (status == 0)
        handle = h;
    return status;
}

qint16 Close(qint16 handle)
{
    const auto entry = Library().entries.ldv_close;
    return entry ? entry(handle) : MissingStatus;
}

qint16 Read(qint16 handle, void *buffer, qint16 length)
{
    const auto entry = Library().entries.ldv_read;
    return entry ? entry(handle, buffer, length) : MissingStatus;
}

qint16 Write(qint16 handle, const void *buffer, qint16 length)
{
    const auto entry = Library().entries.ldv_write;
    return entry ? entry(handle, buffer, length) : MissingStatus;
}

QString GetVersion()
{
    const auto entry = Library().entries.ldv_get_version;
    const char *text = entry ? entry() : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

QString XlateDeviceNameStd(const QByteArray &name)
{
    const auto entry = Library().entries.ldv_xlate_device_name_std;
    if (!entry)
        return QString();
    std::array<char, NameBufferSize> in{};
    std::array<char, NameBufferSize> out{};
    std::memcpy(in.data(), name.constData(), std::min<size_t>(name.size(), NameBufferSize - 1));
    int size = NameBufferSize;
    entry(in.data(), out.data(), &size);
    out.back() = '\0';
    return QString::fromUtf8(out.data());
}

} // namespace LDV32
