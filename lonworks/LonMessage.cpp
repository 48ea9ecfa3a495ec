#include "lonworks/LonMessage.h"

#include <QString>

#include <algorithm>
#include <stdexcept>

void TniMessage::SetData(std::span<const quint8> bytes)
{
    const size_t n = std::min(bytes.size(), Data.size());
    Data.fill(0);
    std::copy_n(bytes.begin(), n, Data.begin());
    DataLength = quint8(n);
}

std::span<const quint8> TniMessage::Received() const
{
    return std::span<const quint8>(ReceivedData.data(), ReceivedLength);
}

TListOfniMessage::TListOfniMessage(int capacity)
{
    FItems.reserve(size_t(std::max(capacity, 0)));
}

TniMessage &TListOfniMessage::Items(int i) const
{
    if (i < 0 || i >= Count()) {
        const QString text = QStringLiteral("Index (%1) outside range 1..%2").arg(i).arg(Count() - 1);
        throw std::out_of_range(text.toStdString());
    }
    return *FItems[size_t(i)];
}

void TListOfniMessage::Add(std::unique_ptr<TniMessage> message)
{
    if (message)
        FItems.push_back(std::move(message));
}

void TListOfniMessage::Clear()
{
    FItems.clear();
}
