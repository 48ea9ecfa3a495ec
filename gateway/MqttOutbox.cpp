#include "gateway/MqttOutbox.h"

bool TMqttOutbox::Add(const TMqttMessage &message)
{
    if (message.Retain) {
        if (const auto known = FRetained.constFind(message.Topic); known != FRetained.cend()) {
            FLine[known.value()] = message;
            return true;
        }
        FRetained.insert(message.Topic, FNext);
        FLine.emplace(FNext++, message);
        return true;
    }
    bool kept = true;
    if (qsizetype(FEvents.size()) >= FMaxEvents && !FEvents.empty()) {
        FLine.erase(FEvents.front());
        FEvents.pop_front();
        kept = false;
    }
    FEvents.push_back(FNext);
    FLine.emplace(FNext++, message);
    return kept;
}

TMqttMessage TMqttOutbox::Take()
{
    auto first = FLine.begin();
    TMqttMessage message = std::move(first->second);
    if (message.Retain)
        FRetained.remove(message.Topic);
    else
        FEvents.pop_front();   // events leave in order: the first of the line is the oldest
    FLine.erase(first);
    return message;
}

void TMqttOutbox::Clear()
{
    FLine.clear();
    FRetained.clear();
    FEvents.clear();
}
