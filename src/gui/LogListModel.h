#pragma once

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

class AppViewModel;

// The event list of the Logs section, with the time and icon each row shows.
class LogListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { messageRole = Qt::UserRole + 1, timeRole, iconRole, iconColorRole };

    explicit LogListModel(AppViewModel& viewModel, QObject* parent = nullptr);

    int count() const { return rowCount(); }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    Q_INVOKABLE void clear();

Q_SIGNALS:
    void countChanged(int count);

private:
    void reload();

    AppViewModel& m_viewModel;
    int m_count = 0;
};
