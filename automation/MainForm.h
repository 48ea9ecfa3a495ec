#pragma once
// TMainForm: the driver's main window, a frame holding one sub-window per site. It shows
// the sites of its registry as they are made, answers DEBUGMODE, and asks before closing
// while clients still hold driver objects.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTime>

class QMdiArea;
class QMdiSubWindow;
class QMessageBox;
class QTimer;
class TSiteController;
class TSiteRegistry;

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(TSiteRegistry *registry, QWidget *parent = nullptr);
    ~TMainForm() override;

    static QString Caption();

    // DEBUGMODE of Setup: "TRUE" shows, "FALSE" hides, "TOGGLE" flips the window;
    // a visible window is then restored and raised.
    void ApplyDebugMode(const QString &mode);

    QMdiArea *MdiArea() const { return FMdiArea; }
    QTimer *DelayTimer() const { return FDelayTimer; }

    // The question asked before closing while clients still hold driver objects.
    static QString CloseWarningText();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildMenu();
    // Opens the window of a site the registry has just made.
    void ShowSite(TSiteController *site);
    QPoint NextSiteWindowPosition(const QMdiSubWindow *created) const;
    void DelayTimerTimer();
    void OnCloseWarningFinished(int button);

    QPointer<TSiteRegistry> FRegistry;
    QMdiArea *FMdiArea = nullptr;
    QTimer *FDelayTimer = nullptr;
    QPointer<QMessageBox> FCloseWarning;
    bool FCloseConfirmed = false;

    // DelayTimer's private counters.
    int FDelayTicks = 0;
    QTime FSampledTime;
};
