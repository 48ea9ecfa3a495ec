#include "lontalk/DeviceImage.h"

#include <QStringConverter>

#include <algorithm>

namespace lontalk {

namespace {

QByteArray cString(const QString &text)
{
    QStringEncoder encoder("windows-1252");
    QByteArray bytes = encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
    bytes.append('\0');
    return bytes;
}

// One descriptor and its extension record; arrayCount 0 means "no count field".
void describe(QByteArray &descriptors, QByteArray &records, const SelfDocVariable &nv,
              const QString &name, int arrayCount)
{
    const bool withRecord = nv.extensionRecord;
    descriptors.append(char(withRecord ? 0x80 : 0x00));
    descriptors.append(char(nv.snvt & 0xFF));
    if (!withRecord)
        return;
    uint8_t flags = 0;
    QByteArray body;
    if (nv.maxRateEstimate >= 0) {
        flags |= 0x80;
        body.append(char(nv.maxRateEstimate));
    }
    if (nv.rateEstimate >= 0) {
        flags |= 0x40;
        body.append(char(nv.rateEstimate));
    }
    if (!name.isEmpty()) {
        flags |= 0x20;
        body += cString(name);
    }
    if (!nv.doc.isEmpty()) {
        flags |= 0x10;
        body += cString(nv.doc);
    }
    if (arrayCount > 0) {
        flags |= 0x08;
        body.append(char(arrayCount >> 8));
        body.append(char(arrayCount & 0xFF));
    }
    records.append(char(flags));
    records += body;
}

} // namespace

QByteArray readOnlyStructure(const ReadOnlyFields &f)
{
    QByteArray b(ReadOnlyLength, '\0');
    for (int i = 0; i < 6; ++i)
        b[i] = char(f.neuronId[std::size_t(i)]);
    b[6] = char(f.model);
    b[7] = char(f.minorModel & 0x0F);
    b[8] = char(0xEF);                  // fixed NV table, just below the read-only structure
    b[9] = char(0x00);
    b[10] = char(0x40 | std::min(f.nvCount, 63));   // runs when unconfigured; NV count
    b[11] = char(f.selfDocAddress >> 8);
    b[12] = char(f.selfDocAddress & 0xFF);
    for (int i = 0; i < 8; ++i)
        b[13 + i] = char(f.programId[std::size_t(i)]);
    b[21] = char(0x60 | 0x0F);          // two domains, explicit addressing, 15 address entries
    b[22] = char(0x0F);                 // 15 aliases
    b[23] = char(0x0F);                 // 15 receive transactions
    b[24] = char(0xBB);                 // application buffers: 66 bytes out and in
    b[25] = char(0xBB);                 // network buffers: 66 bytes out and in
    b[26] = char(0x22);
    b[27] = char(0x33);
    b[28] = char(0x33);
    return b;
}

QByteArray selfDocumentation(const SelfDocFields &fields)
{
    QByteArray descriptors;
    QByteArray records;
    int count = 0;
    for (const SelfDocVariable &nv : fields.variables) {
        if (fields.version >= 1) {
            describe(descriptors, records, nv, nv.name, nv.arrayCount > 1 ? nv.arrayCount : 0);
            ++count;
            continue;
        }
        for (int j = 0; j < nv.arrayCount; ++j) {
            const QString name = nv.arrayCount > 1 && !nv.name.isEmpty()
                                     ? nv.name + QLatin1Char('[') + QString::number(j) + QLatin1Char(']')
                                     : nv.name;
            describe(descriptors, records, nv, name, 0);
            ++count;
        }
    }
    QByteArray header;
    header.append('\0').append('\0');
    header.append(char(count & 0xFF));
    header.append(char(fields.version));
    if (fields.version >= 1)
        header.append(char((count >> 8) & 0xFF));
    header.append('\0');                // message tag count
    QByteArray image = header + descriptors + cString(fields.doc) + records;
    const int total = std::min<int>(int(image.size()), 0xFFFF);
    image.truncate(total);
    image[0] = char(total >> 8);
    image[1] = char(total & 0xFF);
    return image;
}

} // namespace lontalk
