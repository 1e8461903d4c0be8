#include "gui/SetupCheckViewModel.h"

#include "app/SetupCheck.h"

SetupCheckViewModel::SetupCheckViewModel(SetupCheck& check, QObject* parent)
    : QAbstractListModel(parent)
    , m_check(check)
{
    connect(&m_check, &SetupCheck::finished, this, [this] {
        beginResetModel();
        endResetModel();
        Q_EMIT runningChanged(false);
        Q_EMIT finished();
    });
}

bool SetupCheckViewModel::running() const
{
    return m_check.isRunning();
}

QString SetupCheckViewModel::summary() const
{
    return m_check.summary();
}

int SetupCheckViewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_check.lines().size());
}

QVariant SetupCheckViewModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_check.lines().size())
        return {};
    const SetupCheck::Line& line = m_check.lines().at(index.row());
    switch (role) {
    case okRole:
        return line.ok;
    case labelRole:
        return line.label;
    case adviceRole:
        return line.advice;
    case informationalRole:
        return line.informational;
    default:
        return {};
    }
}

QHash<int, QByteArray> SetupCheckViewModel::roleNames() const
{
    return {
        {okRole, "ok"}, {labelRole, "label"}, {adviceRole, "advice"}, {informationalRole, "informational"}};
}

void SetupCheckViewModel::run()
{
    if (m_check.isRunning())
        return;
    m_check.start(true);
    Q_EMIT runningChanged(true);
}
