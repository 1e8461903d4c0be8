#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A folder of a test class's own, with a file name in it for each test function and data row,
// so that no test reads what another wrote (settings, caches).
class ScratchDir
{
public:
    // "<function>-<row>", the row's spaces left out.
    QString testFile() const
    {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (const char* row = QTest::currentDataTag())
            name += QLatin1Char('-') + QString::fromLatin1(row).remove(QLatin1Char(' '));
        return m_dir.filePath(name);
    }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString path() const { return m_dir.path(); }

    // Writes a file whole, making its folder if need be.
    static bool write(const QString& path, const QByteArray& text = {})
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    // A file's bytes; empty when it cannot be read.
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};
