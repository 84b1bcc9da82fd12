#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <optional>

#include "corvel.hpp"
#include "memory_limit.hpp"

// Every way the run can fail ends here, with one GBK line on standard error
// and a non-zero status, never with an abort or a lost report taken for
// success. The driver's buffers release themselves on the way out.
int main() {
  const int dataCount = 100000;
  // The array and one node per element, with the sort's sentinel.
  const std::int64_t need =
      std::int64_t{dataCount} * static_cast<std::int64_t>(sizeof(int)) +
      std::int64_t{dataCount + 1} * static_cast<std::int64_t>(sizeof(ListNode)) + kRestOfProcess;
  try {
    const std::optional<std::int64_t> limit = systemMemoryLimit();
    if (!fitsUnder(need, limit)) {
      writeTooLittleMemory("corvel", need, limit);
      return EXIT_FAILURE;
    }
    compareBubbleSorts(dataCount);
  } catch (const std::bad_alloc&) {
    writeTooLittleMemory("corvel", need, std::nullopt);
    return EXIT_FAILURE;
  } catch (const std::exception&) {
    // Nothing else in the run throws: the random device failed. GBK:
    // "随机数设备不可用" (the random device is unavailable).
    std::cerr << "corvel: \xcb\xe6\xbb\xfa\xca\xfd\xc9\xe8\xb1\xb8\xb2\xbb\xbf\xc9\xd3\xc3"
              << std::endl;
    return EXIT_FAILURE;
  }
  if (!std::cout.flush()) {
    // GBK: "报告未能写入标准输出" (the report could not be written to
    // standard output).
    std::cerr << "corvel: \xb1\xa8\xb8\xe6\xce\xb4\xc4\xdc\xd0\xb4\xc8\xeb\xb1\xea\xd7\xbc\xca\xe4"
                 "\xb3\xf6"
              << std::endl;
    return EXIT_FAILURE;
  }
  return 0;
}
