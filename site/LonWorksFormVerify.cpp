// POINTVERIFY: checks a point address for a client before the client stores it.
#include "site/LonWorksForm.h"

#include "support/ParamList.h"
#include "snvt/PointVerify.h"

void TLonWorksForm::RunPointVerify()
{
    QString message = QStringLiteral("Invalid Point Address. See the help file for proper formatting.");
    QString name;
    QString address;
    bool valid = false;
    try {
        FindParam(FRequest, QStringLiteral("POINTNAME"), name);
        FindParam(FRequest, QStringLiteral("POINTADDRESS"), address);
        message = VerifyPointAddress(address);
        valid = message.isEmpty();
    } catch (...) {
        valid = false;
    }
    if (valid) {
        SetErrorText(QString());
        FResultData = QStringList{QStringLiteral("POINTNAME=") + name,
                                  QStringLiteral("POINTADDRESS=") + address, QString()};
    } else {
        SetErrorText(message);
    }
    CompleteJob(valid);
}
