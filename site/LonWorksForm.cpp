// The site window: its components, the clock, the Block box, closing and destruction.
#include "site/LonWorksForm.h"

#include "site/TypeSite.h"
#include "lonworks/LonInterface.h"
#include "site/SiteNetwork.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTime>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const char *const ClientsHint = "The Number of Clients Connected to this Site";
const char *const BlockHint = "Temporarily Block Clients Access to Site";
const char *const TimeHint =
    "Displays the Current Time of Day of this Local Computer or the Halvane Panel if Connected";

} // namespace

TLonWorksForm::TLonWorksForm(QWidget *parent)
    : QWidget(parent)
    , FSite(new TSite(this))
    , FInterface(new TniNetworkInterface)
    , FResultData(QString())
{
    BuildComponents();
    setWindowTitle(QStringLiteral("LonWorks Driver"));
}

TLonWorksForm::~TLonWorksForm()
{
    // A form released without a disconnect job still holds the driver handle: give it
    // back, or the interface stays open (and unopenable) for the rest of the process.
    if (FConnected && !FWorkingOffline)
        CloseSiteInterface(*FInterface);
    delete FInterface;
}

void TLonWorksForm::BuildComponents()
{
    ToolBar1 = new QToolBar(this);
    Label1 = new QLabel(QStringLiteral("Clients: "), ToolBar1);
    Label1->setToolTip(QLatin1String(ClientsHint));
    ClientCountLbl = new QLabel(QStringLiteral("0"), ToolBar1);
    ClientCountLbl->setToolTip(QLatin1String(ClientsHint));
    BlockChk = new QCheckBox(QStringLiteral("Block"), ToolBar1);
    BlockChk->setToolTip(QLatin1String(BlockHint));
    BlockChk->setCursor(Qt::PointingHandCursor);
    ToolBar1->addWidget(Label1);
    ToolBar1->addWidget(ClientCountLbl);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(BlockChk);
    connect(BlockChk, &QCheckBox::clicked, this, &TLonWorksForm::OnBlockClicked);

    Panel1 = new QWidget(this);
    MessagePnl = new QLabel(Panel1);
    MessagePnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TimePnl = new QLabel(QStringLiteral("Local Time:"), Panel1);
    TimePnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TimePnl->setToolTip(QLatin1String(TimeHint));
    auto *bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(MessagePnl, 1);
    bottom->addWidget(TimePnl);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ToolBar1);
    layout->addStretch(1);
    layout->addWidget(Panel1);
    resize(360, 160);
}

void TLonWorksForm::ScheduleRelease()
{
    // A client that leaves while this form's tick waits on the network must not free the
    // form under the running job: the release then happens when the tick has ended.
    if (FTickDepth > 0) {
        FReleaseScheduled = true;
        return;
    }
    // From here on the form is gone for its site: a client connecting before the deletion
    // gets a new form, which must be able to open the interface this one holds.
    FReleasing = true;
    if (FConnected && !FWorkingOffline)
        CloseSiteInterface(*FInterface);
    FConnected = false;
    // Inside the main window the sub-window frame goes with the form.
    QWidget *target = this;
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        target = frame;
    target->deleteLater();
}

void TLonWorksForm::AssignSite(const TSite &site)
{
    FSite->AssignFrom(&site);
}

void TLonWorksForm::ShowSiteCaption()
{
    setWindowTitle(FSite->Description);
}

void TLonWorksForm::ShowClientCount()
{
    ClientCountLbl->setText(QString::number(FRemoteClientCount));
}

void TLonWorksForm::ShowMessageText(const QString &text)
{
    MessagePnl->setText(text);
    QCoreApplication::processEvents();
}

void TLonWorksForm::RefreshClock()
{
    const QTime now = QTime::currentTime();
    const int hour12 = now.hour() % 12 == 0 ? 12 : now.hour() % 12;
    TimePnl->setText(QStringLiteral("Local Time: ")
                     + QString::asprintf("%02d:%02d:%02d %s", hour12, now.minute(), now.second(),
                                         now.hour() < 12 ? "am" : "pm"));
}

bool TLonWorksForm::IsBlocked() const
{
    return BlockChk->isChecked();
}

void TLonWorksForm::OnBlockClicked(bool checked)
{
    if (checked)
        Block();
    else
        Unblock();
}

void TLonWorksForm::Block()
{
    BlockChk->setChecked(true);
    FBusy = true;
    FLocked = true;
    FCommandClient = this;
}

void TLonWorksForm::Unblock()
{
    BlockChk->setChecked(false);
    FBusy = false;
    FLocked = false;
    FLockComment.clear();
    FCommandClient = nullptr;
    FCommandTimeout = 0;
}

void TLonWorksForm::closeEvent(QCloseEvent *event)
{
    if (FConnected) {
        event->ignore();
        if (!FCloseRefusal) {
            FCloseRefusal = new QMessageBox(QMessageBox::Information, windowTitle(),
                QStringLiteral("This window cannot be closed because it is still connected to a Site.\n"
                               "Disconnect from the Site or minimize the application to hide on taskbar."),
                QMessageBox::Ok, this);
            FCloseRefusal->setAttribute(Qt::WA_DeleteOnClose);
        }
        FCloseRefusal->open();
        return;
    }
    event->accept();
    // Inside the main window the sub-window deletes itself (and the form) on close.
    if (!qobject_cast<QMdiSubWindow *>(parentWidget()))
        deleteLater();
}
