#include "site/SiteStatusBoard.h"

#include <QMutexLocker>

void TSiteStatusBoard::Publish(const TCommandSlotView &view)
{
    const QMutexLocker locker(&FMutex);
    if (FClosed || (FView && *FView == view))
        return;
    FView = std::make_shared<const TCommandSlotView>(view);
}

void TSiteStatusBoard::Close()
{
    const QMutexLocker locker(&FMutex);
    FClosed = true;
    FView.reset();
}

std::shared_ptr<const TCommandSlotView> TSiteStatusBoard::Current() const
{
    const QMutexLocker locker(&FMutex);
    return FView;
}
