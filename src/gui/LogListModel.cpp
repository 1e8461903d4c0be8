#include "gui/LogListModel.h"

#include "app/AppViewModel.h"
#include "gui/ViewRules.h"

#include <QLocale>

namespace {

// The locale's standard time, with seconds: events come in bursts within a minute.
QString timeFormat()
{
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s')))
        format.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return format;
}

} // namespace

LogListModel::LogListModel(AppViewModel& viewModel, QObject* parent)
    : QAbstractListModel(parent)
    , m_viewModel(viewModel)
    , m_count(static_cast<int>(viewModel.logs().size()))
{
    connect(&viewModel, &AppViewModel::logsChanged, this, &LogListModel::reload);
}

void LogListModel::reload()
{
    // The list is capped and cleared as a whole; a reset keeps that simple and cheap at 200 rows.
    beginResetModel();
    endResetModel();
    const int count = static_cast<int>(m_viewModel.logs().size());
    if (count != m_count) {
        m_count = count;
        Q_EMIT countChanged(count);
    }
}

int LogListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_viewModel.logs().size());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Log& log = m_viewModel.logs().at(index.row());
    switch (role) {
    case messageRole:
        return log.message;
    case timeRole:
        return QLocale().toString(log.timestamp.time(), timeFormat());
    case iconRole:
        return ViewRules::logIcon(log.message).icon;
    case iconColorRole:
        return ViewRules::logIcon(log.message).color;
    default:
        return {};
    }
}

QHash<int, QByteArray> LogListModel::roleNames() const
{
    return {{messageRole, "message"}, {timeRole, "time"}, {iconRole, "icon"}, {iconColorRole, "iconColor"}};
}

void LogListModel::clear()
{
    m_viewModel.clearLogs();
}
