#pragma once

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

class SetupCheck;

// "Check Setup" in Settings: the setup check's lines (ok, label, advice), run on request
// without holding up the window; the lines stay until the next check has finished.
class SetupCheckViewModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(QString summary READ summary NOTIFY finished)

public:
    enum Role { okRole = Qt::UserRole + 1, labelRole, adviceRole, informationalRole };

    explicit SetupCheckViewModel(SetupCheck& check, QObject* parent = nullptr);

    bool running() const;
    QString summary() const;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Also listens a few seconds for the unit; does nothing while a check runs.
    Q_INVOKABLE void run();

Q_SIGNALS:
    void runningChanged(bool running);
    void finished();

private:
    SetupCheck& m_check;
};
