#pragma once
// TMainForm: the driver's main window, a frame holding one sub-window per site. It finds
// or creates the site form of a Description, drives every form's 100 ms tick and asks
// before closing while clients still hold driver objects.

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTime>

#include <array>

class QMdiArea;
class QMdiSubWindow;
class QMessageBox;
class QTimer;
#include "site/LonWorksForm.h"
class TSite;

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int ServerSlotCount = 32;

    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The one main window of the process, or none before it exists.
    static TMainForm *Instance();
    static QString Caption();

    TLonWorksForm *FindOrCreateSiteForm(const TSite &site);
    void RemoveSiteForm(TLonWorksForm *form);
    int FirstFreeServerSlot() const;
    // The site form listed under a Description (case-insensitive), or none.
    TLonWorksForm *FindSiteForm(const QString &description) const;
    // Sites served now (a form on its way out no longer counts). Creating a site past
    // DriverLimits::kMaxSitesPerProcess throws TLimitExceeded.
    int SiteCount() const;

    // DEBUGMODE of Setup: "TRUE" shows, "FALSE" hides, "TOGGLE" flips the window;
    // a visible window is then restored and raised.
    void ApplyDebugMode(const QString &mode);

    QMdiArea *MdiArea() const { return FMdiArea; }
    QTimer *ProcessTimer = nullptr;
    QTimer *DelayTimer = nullptr;

    // The question asked before closing while clients still hold driver objects.
    static QString CloseWarningText();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct TSiteEntry
    {
        QString Description;
        QPointer<TLonWorksForm> Form;
        QObject *Object = nullptr;   // the form as a QObject, to match its destroyed signal
    };

    void BuildMenu();
    QPoint NextSiteWindowPosition(const QMdiSubWindow *created) const;
    void ProcessTimerTimer();
    void DelayTimerTimer();
    void ForgetSiteObject(QObject *object);
    void OnCloseWarningFinished(int button);

    QMdiArea *FMdiArea = nullptr;
    QList<TSiteEntry> FSites;
    std::array<QObject *, ServerSlotCount> FServerSlots{};
    QPointer<QMessageBox> FCloseWarning;
    bool FCloseConfirmed = false;

    // DelayTimer's private counters.
    int FDelayTicks = 0;
    QTime FSampledTime;
};
