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

std::vector<Entry>& entries();
int add(const char* name, std::function<std::unique_ptr<QObject>()> create);

} // namespace TestRegistry

#define COGWISE_TEST(Class)                                                                                  \
    namespace {                                                                                              \
    [[maybe_unused]] const int registered##Class =                                                           \
        TestRegistry::add(#Class, [] { return std::unique_ptr<QObject>(new Class); });                       \
    }
