#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <initializer_list>
#include <optional>

// Sets environment variables for a test and puts back what was there before; a null value
// unsets the variable.
class EnvironmentChange
{
public:
    EnvironmentChange(std::initializer_list<QPair<QByteArray, QByteArray>> changes)
    {
        for (const auto& [name, value] : changes) {
            m_saved.append({name, qEnvironmentVariableIsSet(name.constData())
                                      ? std::optional<QByteArray>(qgetenv(name.constData()))
                                      : std::nullopt});
            if (value.isNull())
                qunsetenv(name.constData());
            else
                qputenv(name.constData(), value);
        }
    }
    ~EnvironmentChange()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->second)
                qputenv(it->first.constData(), *it->second);
            else
                qunsetenv(it->first.constData());
        }
    }
    EnvironmentChange(const EnvironmentChange&) = delete;
    EnvironmentChange& operator=(const EnvironmentChange&) = delete;

private:
    QList<QPair<QByteArray, std::optional<QByteArray>>> m_saved;
};
