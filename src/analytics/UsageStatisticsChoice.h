#pragma once

class Defaults;

// Whether the user lets Cogwise send usage statistics: on unless switched off. The one
// reader and writer of the stored opt-out, for the window and the headless mode alike.
class UsageStatisticsChoice
{
public:
    static bool isShared(const Defaults& defaults);
    static void store(Defaults& defaults, bool share);
};
