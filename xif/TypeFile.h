#pragma once
// The type file: what a user knows about the user-defined types of their devices, which a
// device interface file gives only as raw field lines. It names each type's fields and
// gives their scaling and units, and says which variables have the type: by program ID
// and variable (name or index), or by variable name on any device. Format in
// docs/templates.md; a file that breaks a rule is refused as a whole, naming the item.

#include "xif/DeviceInterface.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace xif {

inline constexpr qint64 MaxTypeFileBytes = 1024 * 1024;
inline constexpr int MaxTypeDefinitions = 1024;
inline constexpr int MaxTypeFields = 256;
inline constexpr int MaxTypeBindings = 4096;
inline constexpr int MaxFieldNameLength = 64;
inline constexpr int MaxUnitsLength = 32;

// How a field of a type that lays itself out reads its bytes.
enum class FieldFormat { U8, S8, U16, S16, S32, U32, F32, Text, Bits };

struct TypeField {
    QString name;
    double factor = 0;     // value = raw × factor; 0: none
    QString units;
    // The layout, when the type gives its own (all fields then give one).
    bool hasLayout = false;
    int offset = 0;
    FieldFormat format = FieldFormat::U8;
    int length = 0;        // text: characters
    int mask = 0;          // bits: the bits of the byte at offset
};

struct TypeDefinition {
    QString name;
    int size = 0;          // 0: any; else the variable's size must match
    QList<TypeField> fields;
    bool laysOut() const { return !fields.isEmpty() && fields.first().hasLayout; }
};

struct TypeBinding {
    std::optional<ProgramId> programId;   // none: any device
    QString variable;                     // a variable name, or empty with index
    int index = -1;
    QString type;
};

class TypeFile {
public:
    // Reads a type file; on refusal the result is empty and error says why.
    static TypeFile parse(QByteArrayView json, const QString &sourceName, QString &error);

    // Adds the definitions and bindings of `other` that this file does not have (a type
    // of the same name, a binding of the same device and variable stay as they are).
    void addMissing(const TypeFile &other);

    // The type the file gives a variable of a device; nullptr when none.
    const TypeDefinition *typeFor(const ProgramId &programId, const QString &variable, int index) const;
    const QHash<QString, TypeDefinition> &definitions() const { return m_types; }
    const QList<TypeBinding> &bindings() const { return m_bindings; }
    bool isEmpty() const { return m_types.isEmpty(); }

private:
    void rebuildIndex();

    QHash<QString, TypeDefinition> m_types;
    QList<TypeBinding> m_bindings;
    QHash<QString, QString> m_index;   // device and variable -> type name
};

} // namespace xif
