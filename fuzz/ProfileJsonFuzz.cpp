// The stored button profile (JSON under "activeButtonProfile") through its reader; what
// it reads must write back and read again as the same profile.

#include "FuzzInput.h"
#include "shifting/ButtonProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto read = ButtonProfile::fromJson(FuzzInput::bytes(data, size));
    const auto* profile = std::get_if<ButtonProfile>(&read);
    if (!profile)
        return 0;
    const auto written = profile->toJson();
    if (const auto* json = std::get_if<QByteArray>(&written)) {
        const auto again = ButtonProfile::fromJson(*json);
        if (!std::holds_alternative<ButtonProfile>(again))
            FuzzInput::broken("a profile that was read and written reads again");
    }
    return 0;
}
