#include "lonsim/Trace.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <memory>

namespace lonsim {

namespace {

// The trace file, opened (again) when LONSIM_TRACE names another one; null when none is set.
QFile *traceFile()
{
    static std::unique_ptr<QFile> file;
    const QString path = qEnvironmentVariable("LONSIM_TRACE");
    if (path.isEmpty())
        return nullptr;
    if (!file || file->fileName() != path) {
        file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return nullptr;
    }
    return file->isOpen() ? file.get() : nullptr;
}

void writeLine(QFile &file, const QString &label, const QByteArray &rest)
{
    file.write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' + label.toUtf8() + ' ' + rest
               + '\n');
    file.flush();
}

FrameObserver &frameObserver()
{
    static FrameObserver observer;
    return observer;
}

} // namespace

void setFrameObserverForTest(FrameObserver observer)
{
    frameObserver() = std::move(observer);
}

void traceFrame(const QString &interfaceLabel, const char *direction, const uint8_t *bytes, int length,
                int hiddenFrom, int hiddenCount)
{
    if (const FrameObserver &observer = frameObserver())
        observer(direction, bytes, length);
    QFile *file = traceFile();
    if (!file)
        return;
    QByteArray hex = bytes && length > 0
                         ? QByteArray(reinterpret_cast<const char *>(bytes), length).toHex(' ').toUpper()
                         : QByteArray();
    for (int i = std::max(0, hiddenFrom); i < std::min(length, hiddenFrom + hiddenCount); ++i)
        hex.replace(3 * i, 2, "**");
    writeLine(*file, interfaceLabel, QByteArray(direction) + ' ' + hex);
}

void traceText(const QString &label, const QString &text)
{
    if (QFile *file = traceFile())
        writeLine(*file, label, text.toUtf8());
}

} // namespace lonsim
