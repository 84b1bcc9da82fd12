// Times both quicksorts on one copy each of the same random ints, drawn as
// dunmark draws them, at a size given on the command line (default 10^7):
// a quicker comparison of builds than dunmark's 10^8. Prints the two times
// in milliseconds; exits 1 if either sort got it wrong.
//
//   quicksort_timing [size]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "dunmark.hpp"

namespace {

template <class Sort>
double millisecondsFor(Sort sort) {
  const auto start = std::chrono::steady_clock::now();
  sort();
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 10000000;
  std::mt19937 gen(std::random_device{}());
  std::uniform_int_distribution<int> dis(1, 100000000);
  std::vector<int> first(static_cast<std::size_t>(size));
  for (int& value : first) {
    value = dis(gen);
  }
  std::vector<int> second = first;

  const double stackTime = millisecondsFor([&] { stackQuickSort(first.data(), size); });
  const double recursiveTime =
      millisecondsFor([&] { recursiveQuickSort(second.data(), 0, size - 1); });
  if (!std::is_sorted(first.begin(), first.end()) || first != second) {
    std::fprintf(stderr, "quicksort_timing: a sort left its input unsorted\n");
    return 1;
  }
  std::printf("stack %.1f ms, recursive %.1f ms\n", stackTime, recursiveTime);
  return 0;
}
