#pragma once
// TQelLonWorksCom: one client's driver object. It keeps the client's site settings,
// attaches to the site form of its Description and turns the form's command slot into
// the answers of Setup, Connect, Disconnect, GetValue and PutValue.

#include "site/TypeSite.h"
#include "site/SiteClient.h"

#include <QPointer>
#include <QStringList>
#include <QVariant>

#include "site/LonWorksForm.h"
class TMainForm;

class TQelLonWorksCom : public TSiteClient
{
public:
    explicit TQelLonWorksCom(TMainForm *mainForm);
    // The release: uncounts a remote client and leaves the site form.
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

    // Driver objects alive in this process.
    static int InstanceCount();

    TLonWorksForm *SiteForm() const { return FSiteForm.data(); }
    const TSite &Site() const { return FSite; }
    bool VersionChecked() const { return FVersionChecked; }

private:
    void FillSite(const QVariant &request);
    void Detach();
    QVariant BuildGetValueAnswer(const QVariant &request);
    static QVariant CollectResult(const TLonWorksForm &form);

    TMainForm *FMainForm;
    QPointer<TLonWorksForm> FSiteForm;   // cleared by Qt when the user closes the window
    TSite FSite;
    bool FVersionChecked = false;
};
