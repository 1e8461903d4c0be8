#pragma once

#include <QUrl>

// Where Cogwise may talk to: https anywhere, plain http only to this machine (tests, local tools).
namespace NetworkPolicy {

bool isAllowedEndpoint(const QUrl& url);

} // namespace NetworkPolicy
