// The site window: its components, what it shows of the site, the Block box and closing.
#include "site/LonWorksForm.h"

#include "site/SiteController.h"

#include <QCheckBox>
#include <QCloseEvent>
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

TLonWorksForm::TLonWorksForm(TSiteController *site, QWidget *parent)
    : QWidget(parent)
    , FSite(site)
{
    BuildComponents();
    setWindowTitle(QStringLiteral("LonWorks Driver"));
    if (!site)
        return;
    BlockChk->setChecked(site->IsBlocked());
    connect(site, &TSiteController::CaptionChanged, this, &QWidget::setWindowTitle);
    connect(site, &TSiteController::ClientCountChanged, ClientCountLbl,
            [this](int count) { ClientCountLbl->setText(QString::number(count)); });
    connect(site, &TSiteController::MessageChanged, MessagePnl, &QLabel::setText);
    connect(site, &TSiteController::ClockRefreshed, this, &TLonWorksForm::RefreshClock);
    connect(site, &TSiteController::BlockedChanged, BlockChk, &QCheckBox::setChecked);
    connect(site, &TSiteController::Releasing, this, &TLonWorksForm::OnSiteReleasing);
}

TLonWorksForm::~TLonWorksForm() = default;

void TLonWorksForm::BuildComponents()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    Label1 = new QLabel(QStringLiteral("Clients: "), ToolBar1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setToolTip(QLatin1String(ClientsHint));
    ClientCountLbl = new QLabel(QStringLiteral("0"), ToolBar1);
    ClientCountLbl->setObjectName(QStringLiteral("ClientCountLbl"));
    ClientCountLbl->setToolTip(QLatin1String(ClientsHint));
    BlockChk = new QCheckBox(QStringLiteral("Block"), ToolBar1);
    BlockChk->setObjectName(QStringLiteral("BlockChk"));
    BlockChk->setToolTip(QLatin1String(BlockHint));
    BlockChk->setCursor(Qt::PointingHandCursor);
    ToolBar1->addWidget(Label1);
    ToolBar1->addWidget(ClientCountLbl);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(BlockChk);
    connect(BlockChk, &QCheckBox::clicked, this, &TLonWorksForm::OnBlockClicked);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    MessagePnl = new QLabel(Panel1);
    MessagePnl->setObjectName(QStringLiteral("MessagePnl"));
    MessagePnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TimePnl = new QLabel(QStringLiteral("Local Time:"), Panel1);
    TimePnl->setObjectName(QStringLiteral("TimePnl"));
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

void TLonWorksForm::RefreshClock()
{
    const QTime now = QTime::currentTime();
    const int hour12 = now.hour() % 12 == 0 ? 12 : now.hour() % 12;
    TimePnl->setText(QStringLiteral("Local Time: ")
                     + QString::asprintf("%02d:%02d:%02d %s", hour12, now.minute(), now.second(),
                                         now.hour() < 12 ? "am" : "pm"));
}

void TLonWorksForm::OnBlockClicked(bool checked)
{
    if (!FSite)
        return;
    if (checked)
        FSite->Block();
    else
        FSite->Unblock();
}

void TLonWorksForm::OnSiteReleasing()
{
    // Inside the main window the sub-window frame goes with the window.
    QWidget *target = this;
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        target = frame;
    target->deleteLater();
}

void TLonWorksForm::closeEvent(QCloseEvent *event)
{
    if (FSite && FSite->IsConnected()) {
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
    // The site goes with its window, as it always has.
    if (FSite)
        FSite->CloseWithWindow();
    // Inside the main window the sub-window deletes itself (and the window) on close.
    if (!qobject_cast<QMdiSubWindow *>(parentWidget()))
        deleteLater();
}
