#pragma once

class Defaults;

// Whether the rider lets Cogwise send usage statistics. The one reader and writer of the stored
// opt-out, for the window and the headless mode alike. A fresh profile has not decided yet and
// shares nothing until the welcome screen has asked; a profile that went past that screen in an
// earlier version, which never asked, shares unless switched off.
class UsageStatisticsChoice
{
public:
    static bool isDecided(const Defaults& defaults);
    // False while undecided.
    static bool isShared(const Defaults& defaults);
    static void store(Defaults& defaults, bool share);
};
