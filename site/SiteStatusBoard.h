#pragma once
// TSiteStatusBoard: a site's command slot as last published, for threads other than the
// site's own. The site's thread publishes a copy whenever calls could have seen a change;
// any thread reads the latest copy. A closed board stands for a site that is gone: it
// has nothing to read, and callers then ask the site's thread.

#include "site/CommandSlotView.h"

#include <QMutex>

#include <memory>

class TSiteStatusBoard
{
public:
    TSiteStatusBoard() = default;
    TSiteStatusBoard(const TSiteStatusBoard &) = delete;
    TSiteStatusBoard &operator=(const TSiteStatusBoard &) = delete;

    // A view equal to the one published is not copied again.
    void Publish(const TCommandSlotView &view);
    void Close();
    // The latest view; none before the first Publish and once closed.
    std::shared_ptr<const TCommandSlotView> Current() const;

private:
    mutable QMutex FMutex;
    std::shared_ptr<const TCommandSlotView> FView;
    bool FClosed = false;
};
