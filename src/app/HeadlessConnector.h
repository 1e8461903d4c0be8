#pragma once

#include <QObject>

class ConnectionService;

// Without a window nobody picks a unit: connects to the first device whose name
// looks like a Di2 unit, and scans again whenever a scan ends without one.
// The saved unit is reconnected by the connection service itself.
class HeadlessConnector : public QObject
{
    Q_OBJECT

public:
    explicit HeadlessConnector(ConnectionService& service, QObject* parent = nullptr);

private:
    void onStateChanged();

    ConnectionService& m_service;
};
