// The project's four sorts under Google Benchmark, beside the standard
// library's sorts as baselines: sizes that double, input shapes, fresh
// unsorted data for every timed iteration, repetitions with median and
// spread, time per element and a complexity fit per sort and shape. Every
// result is checked, outside the timing, to be sorted. The JSON output's
// context names the compiler and the flags it built with.
//
//   sortbench                                  everything but 10^8 elements
//   sortbench --huge                           plus the array sorts at 10^8
//   sortbench --benchmark_filter=StackQuick/   one sort
//   sortbench --benchmark_filter=^Std          the baselines
//   sortbench --benchmark_filter=/Descending/  one shape

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "corvel.hpp"
#include "dunmark.hpp"
#include "input_shapes.hpp"

namespace {

// Above this many elements a quadratic case takes more than seconds.
constexpr int kQuadraticLimit = 1 << 15;

struct BenchedSort {
  const char* name;
  int smallest;
  int largest;
  // Sorts `values` in place and returns the seconds the sort itself took.
  double (*timedSort)(std::vector<int>& values);
  // How its time grows on shapes that are not quadratic for it.
  benchmark::BigO usualComplexity;
  // Shapes on which this sort takes time quadratic in the size.
  std::vector<std::string> quadraticShapes;
};

template <class Sort>
double secondsFor(Sort sort) {
  const auto start = std::chrono::steady_clock::now();
  sort();
  benchmark::ClobberMemory();
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

int sizeOf(const std::vector<int>& values) { return static_cast<int>(values.size()); }

double timeArrayBubble(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { bubbleSortArray(values.data(), sizeOf(values)); });
}

double timeListBubble(std::vector<int>& values) {
  ListNode* head = buildList(values.data(), sizeOf(values));
  benchmark::DoNotOptimize(head);
  const double seconds = secondsFor([&] { bubbleSortList(&head); });
  std::size_t i = 0;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode) {
    values[i++] = node->key;
  }
  freeList(head);
  return seconds;
}

double timeStackQuick(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { stackQuickSort(values.data(), sizeOf(values)); });
}

double timeRecursiveQuick(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { recursiveQuickSort(values.data(), 0, sizeOf(values) - 1); });
}

double timeStdSort(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { std::sort(values.begin(), values.end()); });
}

double timeStdStableSort(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { std::stable_sort(values.begin(), values.end()); });
}

double timeStdHeapSort(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] {
    std::make_heap(values.begin(), values.end());
    std::sort_heap(values.begin(), values.end());
  });
}

double timeStdListSort(std::vector<int>& values) {
  std::list<int> list(values.begin(), values.end());
  benchmark::DoNotOptimize(&list);
  const double seconds = secondsFor([&] { list.sort(); });
  std::copy(list.begin(), list.end(), values.begin());
  return seconds;
}

const std::vector<BenchedSort>& benchedSorts() {
  static const std::vector<BenchedSort> sorts = {
      // Ascending and all-equal input take the bubble sorts one pass.
      {"ArrayBubble",
       1 << 10,
       1 << 16,
       timeArrayBubble,
       benchmark::oN,
       {"Random", "Descending", "OrganPipe", "FewDistinct"}},
      {"ListBubble",
       1 << 10,
       1 << 16,
       timeListBubble,
       benchmark::oN,
       {"Random", "Descending", "OrganPipe", "FewDistinct"}},
      // Equal keys all go left of the pivot, and a descending range's first
      // element is the pivot it picks: both split off one element a level.
      {"StackQuick",
       1 << 13,
       1 << 23,
       timeStackQuick,
       benchmark::oNLogN,
       {"Descending", "AllEqual", "FewDistinct", "OrganPipe"}},
      // Its depth bound hands such ranges to a heap sort instead.
      {"RecursiveQuick", 1 << 13, 1 << 23, timeRecursiveQuick, benchmark::oNLogN, {}},
      // Baselines, "Std" first so that one filter selects them: the array
      // sorts over both families' sizes, the list sort over the list's.
      {"StdSort", 1 << 10, 1 << 23, timeStdSort, benchmark::oNLogN, {}},
      {"StdStableSort", 1 << 10, 1 << 23, timeStdStableSort, benchmark::oNLogN, {}},
      {"StdHeapSort", 1 << 10, 1 << 23, timeStdHeapSort, benchmark::oNLogN, {}},
      {"StdListSort", 1 << 10, 1 << 16, timeStdListSort, benchmark::oNLogN, {}},
  };
  return sorts;
}

void runSort(benchmark::State& state, const BenchedSort& sort, const InputShape& shape) {
  const int size = static_cast<int>(state.range(0));
  std::mt19937 gen(static_cast<unsigned>(size));
  for (auto _ : state) {
    std::vector<int> values = shape.make(size, gen);
    state.SetIterationTime(sort.timedSort(values));
    if (!std::is_sorted(values.begin(), values.end())) {
      // Stop here: Google Benchmark's own error path (SkipWithError) ends
      // in a crash in Debian's 1.7.1 when it fits the complexity of a
      // benchmark whose runs all failed.
      std::fflush(stdout);
      std::fprintf(stderr, "UNSORTED RESULT: %s on %s input of %d elements\n", sort.name,
                   shape.name, size);
      std::fprintf(stderr, "sortbench: a sort left its input unsorted\n");
      std::exit(1);
    }
  }
  state.SetComplexityN(size);
  state.counters["per_element"] =
      benchmark::Counter(static_cast<double>(size), benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

const char* const kBenchedShapes[] = {"Random",   "Ascending",   "Descending",
                                      "AllEqual", "FewDistinct", "OrganPipe"};

void registerBenchmarks(bool huge) {
  for (const BenchedSort& sort : benchedSorts()) {
    for (const char* const shapeName : kBenchedShapes) {
      const InputShape& shape = *findShape(shapeName);
      const bool quadratic = std::find(sort.quadraticShapes.begin(), sort.quadraticShapes.end(),
                                       shape.name) != sort.quadraticShapes.end();
      // The bubble sorts' random case goes to the top size; other
      // quadratic cases stop where they would take more than seconds.
      const bool capped = quadratic && std::string(shape.name) != "Random";
      const int largest = capped ? std::min(sort.largest, kQuadraticLimit) : sort.largest;
      auto* benchmark = benchmark::RegisterBenchmark(
          (std::string(sort.name) + "/" + shape.name).c_str(),
          [&sort, &shape](benchmark::State& state) { runSort(state, sort, shape); });
      for (int size = sort.smallest; size <= largest; size *= 2) {
        benchmark->Arg(size);
      }
      if (huge && shape.name == std::string("Random") && sort.largest >= 1 << 23) {
        benchmark->Arg(100000000);
      }
      benchmark->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Complexity(quadratic ? benchmark::oNSquared : sort.usualComplexity)
          ->ComputeStatistics(
              "min",
              [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
          ->ComputeStatistics("max", [](const std::vector<double>& v) {
            return *std::max_element(v.begin(), v.end());
          });
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Five repetitions of at least 0.2 s of sorting each, aggregates only,
  // unless the command line says otherwise (later flags win). Data is made
  // afresh for every iteration, so a longer minimum mostly adds waiting.
  std::string defaults[] = {"--benchmark_repetitions=5", "--benchmark_min_time=0.2",
                            "--benchmark_report_aggregates_only=true"};
  std::vector<char*> args = {argv[0]};
  for (std::string& flag : defaults) {
    args.push_back(flag.data());
  }
  bool huge = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--huge") == 0) {
      huge = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 2;
  }
  benchmark::AddCustomContext("compiler", SORTBENCH_COMPILER " " __VERSION__);
  benchmark::AddCustomContext("build_flags", SORTBENCH_FLAGS);
  registerBenchmarks(huge);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
