#pragma once
// TLonWorksForm: the window of one site. It shows the site's controller (caption, count
// of remote clients, progress message, local time) and its Block box blocks and unblocks
// the site. It refuses to close while the site is connected; closed, it takes the site
// with it.

#include "site/SiteController.h"

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QMessageBox;
class QToolBar;

class TLonWorksForm : public QWidget
{
    Q_OBJECT

public:
    // The components carry their names as object names (ClientCountLbl, BlockChk,
    // MessagePnl, TimePnl, ...).
    explicit TLonWorksForm(TSiteController *site, QWidget *parent = nullptr);
    ~TLonWorksForm() override;

    // The site shown; none once it is gone.
    TSiteController *Site() const { return FSite.data(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildComponents();
    void RefreshClock();
    void OnBlockClicked(bool checked);
    void OnSiteReleasing();

    QPointer<TSiteController> FSite;
    QToolBar *ToolBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *ClientCountLbl = nullptr;
    QCheckBox *BlockChk = nullptr;
    QWidget *Panel1 = nullptr;
    QLabel *MessagePnl = nullptr;
    QLabel *TimePnl = nullptr;
    QPointer<QMessageBox> FCloseRefusal;
};
