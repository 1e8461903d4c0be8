#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

class QObject;

// The desktop's helpers (xdg-email, xdg-open), run without waiting for them: each tells in the
// end whether it did its job, so that the window can say when it did not.
namespace ExternalProgram {

// Nothing when the program did its job; otherwise what went wrong, in its own words.
using Done = std::function<void(std::optional<QString> error)>;
// Runs a program found on PATH; calls done once, on the GUI thread.
using Runner = std::function<void(const QString& program, const QStringList& arguments, Done done)>;

// A helper that is still running after this long has started what it opened and stays with it
// (xdg-email runs some mail clients in the foreground): that counts as done.
constexpr auto handOverTime = std::chrono::seconds{10};

// Runs the program as a child of `context`, which must outlive the call of `done`.
void run(QObject& context, const QString& program, const QStringList& arguments, Done done);

} // namespace ExternalProgram
