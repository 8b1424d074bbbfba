// The largest single allocation through operator new in this test program, for tests that prove
// hostile input does not make the code allocate what the input merely claims.
#pragma once

#include <atomic>
#include <cstddef>

namespace banklore::testing {

extern std::atomic<std::size_t> largestAllocation;

}  // namespace banklore::testing
