#pragma once
// Reading the text form of a device interface file (XIF). The format is line oriented:
// free header text, the program ID, the device lines, the device's self-documentation,
// then TAG and VAR records, FILE records and the NVVAL section (docs/templates.md).
// A malformed file is refused with "<file>:<line>: <reason>"; sizes and counts are bounded
// so that a hostile file costs at most linear work in its size.

#include "xif/DeviceInterface.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace xif {

// Limits of one file.
inline constexpr qint64 MaxFileBytes = 1024 * 1024;
inline constexpr int MaxLineLength = 4096;
inline constexpr int MaxHeaderLines = 32;
inline constexpr int MaxDeviceLines = 16;
inline constexpr int MaxVariables = 4096;       // indexes 0..4095, as point addresses take
inline constexpr int MaxTags = 4096;
inline constexpr int MaxFieldLines = 228 * 8;   // every bit of the largest variable
inline constexpr int MaxVariableBytes = 228;    // the largest network variable
inline constexpr int MaxFileRecords = 256;
inline constexpr int MaxSelfDocBytes = 65535;
inline constexpr int MaxTypeNumber = 255;       // the byte of a self-documentation descriptor
inline constexpr int MaxNameLength = 255;

struct ParseResult {
    std::optional<DeviceInterface> interface;
    QString error;    // "<file>:<line>: <reason>" when refused
};

// bytes: the whole file; sourceName names it in messages.
ParseResult parseInterface(QByteArrayView bytes, const QString &sourceName);

// Reads and parses a file: a regular file (a symbolic link to one is followed) of at
// most MaxFileBytes, opened without blocking.
ParseResult readInterfaceFile(const QString &path);

} // namespace xif
