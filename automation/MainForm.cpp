#include "automation/MainForm.h"

#include "site/DriverLimits.h"
#include "automation/QelLonWorksCom.h"
#include "site/TypeSite.h"
#include "site/LonWorksForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QTimer>

namespace {

TMainForm *gMainForm = nullptr;

const QSize kSiteWindowSize(440, 200);

bool SameDescription(const QString &a, const QString &b)
{
    const QLocale locale;
    return QString::localeAwareCompare(locale.toLower(a), locale.toLower(b)) == 0;
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
{
    gMainForm = this;
    setWindowTitle(Caption());
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
    QGuiApplication::setApplicationDisplayName(Caption());

    FMdiArea = new QMdiArea(this);
    FMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(FMdiArea);
    BuildMenu();
    resize(900, 600);

    FServerSlots.fill(nullptr);

    ProcessTimer = new QTimer(this);
    ProcessTimer->setInterval(100);
    connect(ProcessTimer, &QTimer::timeout, this, &TMainForm::ProcessTimerTimer);
    ProcessTimer->start();

    DelayTimer = new QTimer(this);
    DelayTimer->setInterval(1000);
    connect(DelayTimer, &QTimer::timeout, this, &TMainForm::DelayTimerTimer);
    DelayTimer->start();
}

TMainForm::~TMainForm()
{
    // The forms are children of the frame and go with it; only the list is dropped here.
    ProcessTimer->stop();
    for (const TSiteEntry &entry : std::as_const(FSites))
        if (entry.Object)
            disconnect(entry.Object, nullptr, this, nullptr);
    FSites.clear();
    if (gMainForm == this)
        gMainForm = nullptr;
}

TMainForm *TMainForm::Instance()
{
    return gMainForm;
}

QString TMainForm::Caption()
{
    return QStringLiteral("LonWorks Network Driver") + QString::asprintf(" V%.2f", 1.8);
}

QString TMainForm::CloseWarningText()
{
    return QStringLiteral("There are still active COM objects in this application.  One or "
                          "more clients may have references to these objects, so manually "
                          "closing this application may cause those client application(s) "
                          "to fail.\r\n\r\nAre you sure you want to close this application?");
}

void TMainForm::BuildMenu()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *exitAction = file->addAction(QStringLiteral("E&xit"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
}

TLonWorksForm *TMainForm::FindSiteForm(const QString &description) const
{
    for (const TSiteEntry &entry : FSites)
        if (entry.Form && !entry.Form->IsReleasing()
            && SameDescription(entry.Description, description))
            return entry.Form.data();
    return nullptr;
}

TLonWorksForm *TMainForm::FindOrCreateSiteForm(const TSite &site)
{
    QPointer<TLonWorksForm> form = FindSiteForm(site.Description);
    if (!form && site.PanelTypeIndex == 0) {
        if (SiteCount() >= DriverLimits::kMaxSitesPerProcess)
            throw TLimitExceeded("sites per process", DriverLimits::kMaxSitesPerProcess);
        form = new TLonWorksForm;
        QMdiSubWindow *sub = FMdiArea->addSubWindow(form);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowIcon(windowIcon());
        sub->resize(kSiteWindowSize);
        sub->move(NextSiteWindowPosition(sub));
        QObject *object = form.data();
        connect(object, &QObject::destroyed, this, &TMainForm::ForgetSiteObject);
        FSites.append({site.Description, form, object});
        sub->show();
        QCoreApplication::processEvents();
        if (form)
            form->AssignSite(site);
    }
    if (form && site.IsRemoteClient)
        form->FRemoteClientCount += 1;
    return form.data();
}

QPoint TMainForm::NextSiteWindowPosition(const QMdiSubWindow *created) const
{
    // Site windows fill the frame side by side, row by row; once the grid is taken they
    // step down from the top left corner.
    QList<QPoint> taken;
    for (const QMdiSubWindow *sub : FMdiArea->subWindowList())
        if (sub != created)
            taken.append(sub->pos());
    const int columns = qMax(1, FMdiArea->width() / kSiteWindowSize.width());
    const int rows = qMax(1, FMdiArea->height() / kSiteWindowSize.height());
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const QPoint cell(column * kSiteWindowSize.width(), row * kSiteWindowSize.height());
            if (!taken.contains(cell))
                return cell;
        }
    const int step = 28;
    const int offset = static_cast<int>(taken.size() % 8) * step;
    return {offset, offset};
}

int TMainForm::SiteCount() const
{
    int count = 0;
    for (const TSiteEntry &entry : FSites)
        count += entry.Form && !entry.Form->IsReleasing() ? 1 : 0;
    return count;
}

void TMainForm::RemoveSiteForm(TLonWorksForm *form)
{
    for (qsizetype i = 0; i < FSites.size(); ++i) {
        if (FSites.at(i).Form.data() == form && form) {
            disconnect(FSites.at(i).Object, nullptr, this, nullptr);
            FSites.removeAt(i);
            return;
        }
    }
}

void TMainForm::ForgetSiteObject(QObject *object)
{
    for (qsizetype i = 0; i < FSites.size(); ++i) {
        if (FSites.at(i).Object == object) {
            FSites.removeAt(i);
            return;
        }
    }
}

int TMainForm::FirstFreeServerSlot() const
{
    for (int i = 0; i < ServerSlotCount; ++i)
        if (!FServerSlots[static_cast<size_t>(i)])
            return i;
    return -1;
}

void TMainForm::ApplyDebugMode(const QString &mode)
{
    if (mode == QLatin1String("TRUE"))
        show();
    else if (mode == QLatin1String("FALSE"))
        hide();
    else if (mode == QLatin1String("TOGGLE"))
        setVisible(!isVisible());
    if (isVisible()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        raise();
        activateWindow();
    }
}

void TMainForm::ProcessTimerTimer()
{
    ProcessTimer->stop();
    // Restarted however the ticks end, also when one of them throws.
    struct TRestart
    {
        QTimer *Timer;
        ~TRestart() { Timer->start(); }
    } restart{ProcessTimer};

    QList<QPointer<TLonWorksForm>> forms;
    const QList<QMdiSubWindow *> subs = FMdiArea->subWindowList();
    for (QMdiSubWindow *sub : subs)
        if (auto *form = qobject_cast<TLonWorksForm *>(sub->widget()))
            forms.append(form);
    for (const QPointer<TLonWorksForm> &form : std::as_const(forms)) {
        if (!form)
            continue;
        try {
            form->ProcessTick();
        } catch (...) {
            // One site's failed tick must not stop the others.
        }
    }
}

void TMainForm::DelayTimerTimer()
{
    ++FDelayTicks;
    if (FDelayTicks % 20 == 0)
        FSampledTime = QTime::currentTime();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (TQelLonWorksCom::InstanceCount() > 0 && !FCloseConfirmed) {
        event->ignore();
        if (FCloseWarning)
            return;
        FCloseWarning = new QMessageBox(QMessageBox::Warning, QStringLiteral("COM Server Warning"),
                                        CloseWarningText(), QMessageBox::Yes | QMessageBox::No,
                                        this);
        FCloseWarning->setDefaultButton(QMessageBox::No);
        FCloseWarning->setAttribute(Qt::WA_DeleteOnClose);
        connect(FCloseWarning, &QMessageBox::finished, this, &TMainForm::OnCloseWarningFinished);
        FCloseWarning->open();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TMainForm::OnCloseWarningFinished(int button)
{
    if (button != QMessageBox::Yes)
        return;
    FCloseConfirmed = true;
    QCoreApplication::quit();
}
