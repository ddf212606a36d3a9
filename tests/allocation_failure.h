// A test seam: the n-th allocation of the running program through operator
// new fails (it throws std::bad_alloc, or returns null for the nothrow
// forms). Linked only into the fault-injection tests, which replace the
// global operator new with it.
#pragma once

#include <cstdint>

// The n-th allocation from now on fails (1 = the next one); 0 turns failure
// off. Only that one allocation fails.
void fail_allocation_at(std::uint64_t n);

// Allocations attempted since the last fail_allocation_at, failed ones included.
std::uint64_t allocations_seen();
