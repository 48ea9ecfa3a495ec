#pragma once
// The checks of POINTVERIFY: a point address must parse and every field must lie within
// what the network and the value codes can carry.

#include <QString>

// The empty text for a valid address, otherwise the message for the client.
QString VerifyPointAddress(const QString &text);
