#pragma once
// Variable type codes: how the bytes of one point sit inside its network variable
// (the seventh field of a point address), and the bounds test shared by reading and writing.

#include <QtGlobal>

enum VariableTypeCode {
    VarUnsignedByte = 0,
    VarByte = 1,            // read and written exactly as code 0
    VarUnsigned16 = 2,
    VarSigned16 = 3,
    VarFloat = 4,           // IEEE 754 single precision
    VarText = 5,            // Windows-1252 characters, at most `parameter` of them
    VarSigned32 = 6,
    VarBitField = 7,        // bits of one byte selected by the mask `parameter AND 255`
    VarOpaque = 8,          // never read nor written
    VarDate = 9,            // year (16 bits), month, day
    VarTime = 10,           // hour, minute, second
    VarDateTime = 11,       // year (16 bits), month, day, hour, minute, second
    VarSignedByte = 12,     // -128..127
    VarUnsigned32 = 13,     // 0..4294967295
};

inline constexpr int MaxVariableTypeCode = VarUnsigned32;

// Bytes taken by a fixed-width code; 0 for text, the opaque code and unknown codes.
constexpr int FieldWidth(int code)
{
    switch (code) {
    case VarUnsignedByte: case VarByte: case VarBitField: case VarSignedByte: return 1;
    case VarUnsigned16: case VarSigned16: return 2;
    case VarFloat: case VarSigned32: case VarDate: case VarUnsigned32: return 4;
    case VarTime: return 3;
    case VarDateTime: return 7;
    default: return 0;
    }
}

// The raw values an integer code holds (codes 0, 1, 2, 3, 6, 12, 13); false for the others.
constexpr bool IntegerCodeLimits(int code, double &low, double &high)
{
    switch (code) {
    case VarUnsignedByte: case VarByte: low = 0; high = 255; return true;
    case VarSignedByte: low = -128; high = 127; return true;
    case VarUnsigned16: low = 0; high = 65535; return true;
    case VarSigned16: low = -32768; high = 32767; return true;
    case VarSigned32: low = -2147483648.0; high = 2147483647.0; return true;
    case VarUnsigned32: low = 0; high = 4294967295.0; return true;
    default: return false;
    }
}

// True when `width` bytes from `offset` lie inside both the buffer and the bytes that
// were actually received (or fetched).
constexpr bool FieldFits(qint64 bufferSize, qint64 length, qint64 offset, qint64 width)
{
    return offset >= 0 && width >= 0 && offset + width <= length && offset + width <= bufferSize;
}
