#pragma once

#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QUuid>
#include <functional>

class ConnectionService;

// Without a window nobody picks a unit. With a saved unit, the connection service waits
// for that unit and nothing else is ever connected. Without one, a Di2 unit is
// connected only when it is the only one in range; with several (another rider's of
// the same model, say) they are listed and Cogwise waits for `--device ADDRESS`.
class HeadlessConnector : public QObject
{
    Q_OBJECT

public:
    // How a unit's identifier is shown to the rider: its Bluetooth address where there is one.
    using AddressOf = std::function<QString(const QUuid& identifier)>;

    HeadlessConnector(ConnectionService& service, AddressOf addressOf, QTextStream& out,
                      QObject* parent = nullptr);

private:
    void onStateChanged();

    ConnectionService& m_service;
    AddressOf m_addressOf;
    QTextStream& m_out;
    QStringList m_listed; // what was last listed, to list each change once
};
