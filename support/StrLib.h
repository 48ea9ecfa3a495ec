#pragma once
// String, number and bit routines shared by every subsystem: cutting up the driver's
// brace- and colon-separated texts and reading loosely written numbers and switch values.
// Text positions count from 1; nothing here throws for ordinary input.

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Text cutting
QString FirstChars(const QString &text, int count);
QString TrimLeadingBlanks(const QString &text);
QString TextBefore(const QString &text, const QString &sub);
QString TextFrom(const QString &text, const QString &sub);
QString TextAfter(const QString &text, const QString &sub);
QString RemoveFirst(const QString &text, const QString &sub);
QString TextUpToLast(const QString &text, const QString &delimiter);
QString TextBeforeNth(const QString &text, QChar character, int n);
QString TextBetween(const QString &text, QChar open, QChar close, int start);
void SplitBetween(const QString &text, QStringList &list, QChar open, QChar close);
int PosOf(const QString &text, const QString &sub);

// Characters
bool IsDigitChar(QChar c);
bool IsLetterChar(QChar c);

// Numbers and switch values ("12 degF" reads 12, "50%" reads 50, ON/OFF/TRUE/FALSE/-ON)
qint32 ReadFlagOrInt(const QString &text);
float ReadFlagOrSingle(const QString &text);
double ReadFlagOrDouble(const QString &text);

// Strict conversions shared by parameter lists and point addresses.
// Integer: leading blanks, optional sign, decimal digits or hexadecimal after "$", "x"
// or "0x" (either case of x); nothing may follow; the value must fit in 32 bits.
bool ParseInteger(const QString &text, qint32 &value);
// Floating point in the host locale: blanks around, optional sign, digits with the
// locale's decimal separator, optional exponent.
bool ParseLocaleFloat(const QString &text, double &value);

// Fixed-point text with the host's decimal separator and no group separators
// ("%.4f" style): FormatFixed(21.5, 4) gives 21.5000 (or 21,5000).
QString FormatFixed(double value, int decimals);

// Small numeric routines
quint8 ClampByte(quint8 value, quint8 low, quint8 high);
bool InRange(qint32 value, quint16 low, quint16 high);
bool WordBitSet(quint16 value, int bit);
// Bit i counted from the most significant bit of byte 0; false when outside the bytes.
bool BitInBytes(QByteArrayView bytes, int index);
