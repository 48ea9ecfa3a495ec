#pragma once
// Device objects named in point addresses by a class letter and a number (V, C, I, O, P):
// their ranges, their bits in the device's disabled-objects variable, and the five-byte
// object command that an object write sends.

#include <QString>

#include <array>

// Network variables of a device that carry its objects.
constexpr quint16 DisabledObjectsVariable = 22;   // bitmap of disabled objects (and states)
constexpr quint16 ObjectCommandVariable = 23;     // takes the object command record

struct TDeviceObject
{
    char Letter = 0;   // upper case
    int Code = -1;     // V 0, C 1, I 2, O 3, P 4
    int Number = 0;
};

// "V12", "c3", ...: a letter V, C, I, O or P (any case) and a whole number within the
// letter's range (V and C 1..50, I and O 1..12, P 1..10). False for anything else.
bool ParseDeviceObject(const QString &name, TDeviceObject &object);

// Bit of the disabled-objects variable that says whether the object is disabled
// (V n-1, I n+49, O n+61, P n+73); -1 for the C class, which has none.
int DisabledBit(const TDeviceObject &object);
// Bit of the same variable that holds the object's present state for a write
// (V n-1, C n+49, I n+61, O n+73, P always 0).
int StateBit(const TDeviceObject &object);

// The object value text as the command's 16-bit value: read leniently, multiplied by a
// non-zero scale and truncated toward zero. False when that is no finite number or lies
// outside -32768..32767: the write then fails like any other that cannot be sent.
bool ObjectCommandValue(const QString &text, double scale, qint16 &value);

// Class code, number, state byte, value high byte, value low byte.
std::array<quint8, 5> ObjectCommandRecord(const TDeviceObject &object, quint8 state, qint16 value);
