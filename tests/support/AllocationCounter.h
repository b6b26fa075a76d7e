#pragma once
#include <cstddef>

// Counts global operator new calls made by the current thread while a
// scope is alive, so tests can prove a hot path allocates nothing.
namespace velotap::test {

class AllocationScope {
public:
    AllocationScope();
    ~AllocationScope();
    std::size_t count() const;

private:
    std::size_t m_start;
};

} // namespace velotap::test
