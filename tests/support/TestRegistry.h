#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

// Test classes register themselves so that one executable can hold a folder's tests
// and run any one of them by name.
namespace TestRegistry {

struct Entry
{
    const char* name;
    std::function<std::unique_ptr<QObject>()> create;
};

inline std::vector<Entry>& entries()
{
    static std::vector<Entry> all;
    return all;
}

inline int add(const char* name, std::function<std::unique_ptr<QObject>()> create)
{
    entries().push_back({name, std::move(create)});
    return static_cast<int>(entries().size());
}

} // namespace TestRegistry

#define COGWISE_TEST(Class)                                                                                  \
    namespace {                                                                                              \
    [[maybe_unused]] const int registered##Class =                                                           \
        TestRegistry::add(#Class, [] { return std::unique_ptr<QObject>(new Class); });                       \
    }
