#include "automation/MainForm.h"

#include "automation/SiteRegistry.h"
#include "site/LonWorksForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QTimer>

namespace {

const QSize kSiteWindowSize(440, 200);

} // namespace

TMainForm::TMainForm(TSiteRegistry *registry, QWidget *parent)
    : QMainWindow(parent)
    , FRegistry(registry)
{
    setWindowTitle(Caption());
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
    QGuiApplication::setApplicationDisplayName(Caption());

    FMdiArea = new QMdiArea(this);
    FMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(FMdiArea);
    BuildMenu();
    resize(900, 600);

    FDelayTimer = new QTimer(this);
    FDelayTimer->setInterval(1000);
    connect(FDelayTimer, &QTimer::timeout, this, &TMainForm::DelayTimerTimer);
    FDelayTimer->start();

    if (registry) {
        connect(registry, &TSiteRegistry::SiteCreated, this, &TMainForm::ShowSite);
        connect(registry, &TSiteRegistry::DebugModeRequested, this, &TMainForm::ApplyDebugMode);
    }
}

TMainForm::~TMainForm() = default;

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

void TMainForm::ShowSite(TSiteController *site)
{
    auto *form = new TLonWorksForm(site);
    QMdiSubWindow *sub = FMdiArea->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(windowIcon());
    sub->resize(kSiteWindowSize);
    sub->move(NextSiteWindowPosition(sub));
    sub->show();
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

void TMainForm::DelayTimerTimer()
{
    ++FDelayTicks;
    if (FDelayTicks % 20 == 0)
        FSampledTime = QTime::currentTime();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (FRegistry && FRegistry->ObjectCount() > 0 && !FCloseConfirmed) {
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
