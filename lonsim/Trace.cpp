#include "lonsim/Trace.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <memory>

namespace lonsim {

void traceFrame(const QString &interfaceLabel, const char *direction, const uint8_t *bytes, int length)
{
    static std::unique_ptr<QFile> file;
    const QString path = qEnvironmentVariable("LONSIM_TRACE");
    if (path.isEmpty())
        return;
    if (!file || file->fileName() != path) {
        file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return;
    }
    if (!file->isOpen())
        return;
    const QByteArray hex = bytes && length > 0
                               ? QByteArray(reinterpret_cast<const char *>(bytes), length).toHex(' ').toUpper()
                               : QByteArray();
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' '
                            + interfaceLabel.toUtf8() + ' ' + direction + ' ' + hex + '\n';
    file->write(line);
    file->flush();
}

} // namespace lonsim
