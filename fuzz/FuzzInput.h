#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What every harness shares: one application object for the process, a private folder
// for the files a harness writes, and a way to report a broken promise as a finding.
namespace FuzzInput {

inline QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

inline const QTemporaryDir& folder()
{
    static const QTemporaryDir directory;
    return directory;
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A promise of the code under test that the input broke: libFuzzer keeps the input.
[[noreturn]] inline void broken(const char* promise)
{
    qFatal("broken promise: %s", promise);
    std::abort();
}

} // namespace FuzzInput
