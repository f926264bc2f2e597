// Counts the program's heap allocations: linking AllocationCounting.cpp replaces the global
// operator new and delete of the benchmark it is part of.
#pragma once

#include <cstdint>

// Allocations made so far, on any thread.
std::uint64_t allocationCount();
