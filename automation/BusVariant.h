#pragma once
// Parameter lists and answers on the bus: a request variant holding s, as or av (strings
// or numbers) becomes the QVariant the driver object reads; an answer becomes a variant
// holding as, av (empty elements as empty strings) or ay.

#include <QDBusVariant>
#include <QVariant>

// False when the variant is no parameter list (another signature, a nested container).
// Throws TLimitExceeded for a list with too many entries or an entry that is too long.
bool RequestFromBus(const QDBusVariant &in, QVariant &request);
// Throws TLimitExceeded for an answer larger than the bus should be asked to carry.
QDBusVariant AnswerToBus(const QVariant &answer);
