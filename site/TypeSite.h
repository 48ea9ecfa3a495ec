#pragma once
// TSite: one site's connection settings. Each driver object fills one from its Connect
// request; each site form keeps its own copy taken from its first client. The twenty
// published settings are Qt properties, readable and writable by name.

#include "site/PollSettings.h"

#include <QObject>
#include <QString>

class TSite : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Description MEMBER Description)
    Q_PROPERTY(bool OfflineMode MEMBER OfflineMode)
    Q_PROPERTY(bool DirectConnect MEMBER DirectConnect)
    Q_PROPERTY(QString Username MEMBER Username)
    Q_PROPERTY(QString Password MEMBER Password)
    Q_PROPERTY(QString DeviceType MEMBER DeviceType)
    Q_PROPERTY(QString Address MEMBER Address)
    Q_PROPERTY(qint32 UpdateRate MEMBER UpdateRate)
    Q_PROPERTY(QString PanelType MEMBER PanelType)
    Q_PROPERTY(QString PanelTypeID MEMBER PanelTypeID)
    Q_PROPERTY(qint32 PanelTypeIndex MEMBER PanelTypeIndex)
    Q_PROPERTY(bool IsRemoteClient MEMBER IsRemoteClient)
    Q_PROPERTY(QString LonDeviceName MEMBER LonDeviceName)
    Q_PROPERTY(bool TempsInF MEMBER TempsInF)
    Q_PROPERTY(QString Dom0ID MEMBER Dom0ID)
    Q_PROPERTY(QString Dom1ID MEMBER Dom1ID)
    Q_PROPERTY(quint8 Dom0Node MEMBER Dom0Node)
    Q_PROPERTY(quint8 Dom1Node MEMBER Dom1Node)
    Q_PROPERTY(quint8 Dom0Subnet MEMBER Dom0Subnet)
    Q_PROPERTY(quint8 Dom1Subnet MEMBER Dom1Subnet)

public:
    explicit TSite(QObject *owner = nullptr);

    // Copies another record's settings; DirectConnect stays this record's own.
    // A source that is not a TSite changes nothing.
    void AssignFrom(const QObject *source);

    bool IsRemoteClient = false;
    bool OfflineMode = false;
    bool DirectConnect = false;
    qint32 UpdateRate = 0;
    QString Address;
    QString DeviceType;
    QString Username;
    QString Password;
    QString Description;
    QString PanelType;
    QString PanelTypeID;
    qint32 PanelTypeIndex = 0;
    QString LonDeviceName;
    bool TempsInF = false;
    QString Dom0ID;
    QString Dom1ID;
    quint8 Dom0Node = 0;
    quint8 Dom1Node = 0;
    quint8 Dom0Subnet = 0;
    quint8 Dom1Subnet = 0;
    qint32 ServerIndex = 0;   // carried and copied, deliberately not a property
    TPollSettings PollSettings;   // POLLBUDGET, POLLSHARE, CHANNEL, POLLRETRY; not a property
};
