#include "support/TestRegistry.h"

namespace TestRegistry {

std::vector<Entry>& entries()
{
    static std::vector<Entry> all;
    return all;
}

int add(const char* name, std::function<std::unique_ptr<QObject>()> create)
{
    entries().push_back({name, std::move(create)});
    return static_cast<int>(entries().size());
}

} // namespace TestRegistry
