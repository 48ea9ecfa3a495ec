#pragma once
// A device interface as a device interface file (XIF, the text form) describes it: the
// program ID that identifies the device's application, the device's self-documentation,
// its message tags, its network variables with their types and field layouts, the
// configuration-property variables with their initial values, and the file records.
// Plain data; xif::parseInterface (XifParser.h) builds it, docs/templates.md describes it.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace xif {

using ProgramId = std::array<uint8_t, 8>;

// "9F:FF:FF:05:01:84:04:60"
QString programIdText(const ProgramId &id);

// How one field line lays out its bytes.
enum class FieldKind {
    Character = 0,   // characters, one byte each (with an array count: a text)
    Integer8 = 1,
    Integer16 = 2,
    BitField = 3,    // bits of one byte: bitOffset from the most significant bit, size = width
    Block = 4,       // size bytes without structure (a union, or the whole variable)
    Typeless = 5,    // size bytes, read as a block
};

struct Field {
    FieldKind kind = FieldKind::Block;
    int bitOffset = 0;
    int size = 0;          // width in bits for a bit field, bytes for a block, else 0
    bool isSigned = false;
    int arrayCount = 0;    // 0: a single item
    int offset = 0;        // byte offset inside the variable, worked out by the parser
    int line = 0;          // line of the file, for messages
};

struct Variable {
    QString name;
    int index = 0;
    std::array<int, 3> rates{};   // the three numbers after the index
    QList<int> flags;             // the flags line
    bool output = false;          // flags[3] == 1
    bool configProperty = false;  // flags[12] == 1
    QByteArray selfDoc;           // the variable's self-documentation, escapes decoded
    int typeNumber = 0;           // standard type number; 0 for a user-defined type
    QList<Field> fields;
    int size = 0;                 // bytes, the sum of the fields
    QByteArray initialValue;      // from NVVAL (configuration properties only)
    int line = 0;
};

struct Tag {
    QString name;
    int index = 0;
    std::array<int, 3> numbers{};
    QList<int> flags;
    int line = 0;
};

struct FileRecord {
    QString name;
    int number = 0;
    int kind = 0;
    QList<QByteArray> lines;      // the body as written
};

struct DeviceInterface {
    QString sourceName;           // the file it was read from
    QStringList header;           // the free text lines before the program ID
    ProgramId programId{};
    QList<QList<qint64>> deviceLines;
    QByteArray selfDoc;           // the device's self-documentation, escapes decoded
    QList<Tag> tags;
    QList<Variable> variables;
    QList<FileRecord> files;

    // The text after the first ";" of the device's self-documentation: the device's own
    // description ("&3.4@0;Thermostat" gives "Thermostat"); empty when there is none.
    QString selfDocText() const;
    // The variable with that index, or nullptr.
    const Variable *variableAt(int index) const;
};

} // namespace xif
