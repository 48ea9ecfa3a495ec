#pragma once
// TQelLonWorksCom: one client's driver object. It keeps the client's site settings,
// attaches to the site of its Description and turns the site's command slot into the
// answers of Setup, Connect, Disconnect, GetValue and PutValue.

#include "site/SiteClient.h"
#include "site/SiteController.h"
#include "site/TypeSite.h"

#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <optional>

class TSiteRegistry;

class TQelLonWorksCom : public TSiteClient
{
public:
    explicit TQelLonWorksCom(TSiteRegistry *registry);
    // The release: uncounts a remote client and leaves the site.
    ~TQelLonWorksCom() override;

    TQelLonWorksCom(const TQelLonWorksCom &) = delete;
    TQelLonWorksCom &operator=(const TQelLonWorksCom &) = delete;

    // Each answers its failure value for any fault of its own, except a limit reached:
    // Connect and PutValue throw TLimitExceeded, which the bus turns into a refusal.
    bool Setup(const QVariant &request);
    bool Connect(const QVariant &request);
    bool Disconnect(const QVariant &request);
    QVariant GetValue(const QVariant &request);
    QVariant PutValue(const QVariant &request);

    // The answers of a request that could not be read at all.
    static QStringList FailureAnswer();
    // The answer of a GetValue with command that only reads the slot, computed from a view
    // of it for client; none when the call changes the slot (it hands over a command's
    // outcome or starts a command). Any thread may ask.
    static std::optional<QStringList> SlotAnswer(const TCommandSlotView &slot,
                                                 const TSiteClient *client,
                                                 const QString &command);

    // FSiteForm: the site this object is attached to; none once it is gone.
    TSiteController *SiteForm() const { return FSiteForm.data(); }
    const TSite &Site() const { return FSite; }
    bool VersionChecked() const { return FVersionChecked; }

private:
    void FillSite(const QVariant &request);
    void Detach();
    QVariant BuildGetValueAnswer(const QVariant &request);
    static QVariant CollectResult(const TCommandSlot &slot);

    TSiteRegistry *FRegistry;
    QPointer<TSiteController> FSiteForm;   // cleared by Qt when the user closes the site's window
    TSite FSite;
    bool FVersionChecked = false;
};
