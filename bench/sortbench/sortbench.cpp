// The project's four sorts under Google Benchmark, beside library sorts as
// baselines: sizes that double, input shapes, fresh unsorted data for every
// timed iteration, repetitions with median and spread, run in random order
// so that drift on a shared machine spreads evenly, time per element and a
// complexity fit per sort and shape. Beside each time stands the work
// behind it, counted outside the timing on the same input (exchanges,
// partitions, comparisons), and the time per unit of that work. Every
// result is checked, outside the timing, to be sorted. The JSON output's
// context names the CPU, the compiler, the build's flags and every sort
// with its kind, baselines and unit. Beside the shapes, each sort runs at
// the programs' own sizes on the data they draw: CorvelData, 10^5 values
// from [1, 10^6], and DunmarkData, 10^7 (and 10^8) values from [1, 10^8].
// The array bubble sort also runs built at the unroll factors corvel does
// not use, against corvel's, and both bubble sorts beside their branch-free
// twins, which show what their branch costs.
//
//   sortbench                                  everything but 10^8 elements
//   sortbench --huge                           plus the quicksorts at 10^8
//   sortbench --quick                          a first look in a few minutes
//   sortbench --benchmark_filter=StackQuick/   one sort
//   sortbench --benchmark_filter=^Std          the baselines
//   sortbench --benchmark_filter=/Descending/  one shape

#include <benchmark/benchmark.h>
#if defined(SORTBENCH_HAVE_PDQSORT)
#include <pdqsort.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "branchless_bubble_sorts.hpp"
#include "corvel.hpp"
#include "dunmark.hpp"
#include "input_shapes.hpp"
#include "sort_work.hpp"

// corvel's array bubble sort built with its loop rolled (1) or unrolled by
// 2 or 4, where corvel unrolls it by 8.
void bubbleSortArrayUnrolled1(int* arr, int num);
void bubbleSortArrayUnrolled2(int* arr, int num);
void bubbleSortArrayUnrolled4(int* arr, int num);

namespace {

// How much a run measures, and how often.
struct RunScale {
  // Each sort's largest size is divided by this.
  int sizeDivisor;
  // Above this many elements a quadratic case takes more than it may.
  int quadraticLimit;
  // The programs' data: corvel's for every sort, dunmark's for the sorts of
  // arrays that large.
  int corvelDataSize;
  int dunmarkDataSize;
  const char* repetitions;
  const char* minTime;
  // Whether the terminal shows only the medians and spreads of the
  // repetitions; the JSON keeps every repetition, for a U test between two
  // runs. Google Benchmark shows only the first size of a family when asked
  // for aggregates of single runs, which have none.
  const char* displayAggregatesOnly;
  // Whether the repetitions of all cases run in random order rather than
  // one case after another.
  const char* interleave;
  // Said in the results' context, and so in the plots' titles.
  const char* description;
};

// The programs' own sizes, quadratic cases to seconds, medians of five, each
// of at least 0.1 s of sorting: the input is made afresh for every iteration,
// and where a sort is linear, making it takes most of the time.
constexpr RunScale kFullRun = {1,     1 << 15, 100000, 10000000,  "5",
                               "0.1", "true",  "true", "full run"};
// Every sort, shape and baseline, each case well under a second: the
// largest sizes an eighth, the programs' data a tenth of their sizes.
constexpr RunScale kQuickLook = {
    8,       1 << 14, 10000,
    1000000, "1",     "0.05",
    "false", "false", "quick look: 1 repetition, sizes to an eighth, program data at a tenth"};
constexpr int kHugeSize = 100000000;

const InputShape kCorvelData = {
    "CorvelData", [](int size, std::mt19937& gen) { return uniformValues(size, gen, 1, 1000000); }};
// At 10^8 values from [1, 10^6] each would repeat a hundred times, a load
// that Lomuto partitions pay for and dunmark's data does not have.
const InputShape kDunmarkData = {"DunmarkData", [](int size, std::mt19937& gen) {
                                   return uniformValues(size, gen, 1, 100000000);
                                 }};

// The work a sort did on the inputs of one benchmark run, counted outside
// the timing: totals are reported per sort call, maxima over all calls.
// Counting can take far longer than a sort that has little to do (a
// merge sort's count of the inversions of input already in order), so only
// as many calls are counted as keep the counting's time within the timed
// sorts' own; the time per unit of work is that of the counted calls.
struct WorkTally {
  std::map<std::string, double> totals;
  std::map<std::string, double> maxima;
  int countedCalls = 0;
  double countedSortSeconds = 0;
  double countingSeconds = 0;

  bool countsNextCall() const { return countingSeconds <= countedSortSeconds; }

  void raise(const std::string& name, double value) {
    double& most = maxima[name];
    most = std::max(most, value);
  }
};

struct BenchedSort {
  const char* name;
  // The summary's table that shows it, and the sorts it is compared with
  // there. A library sort has neither: it is a baseline, drawn as one.
  const char* kind;
  std::vector<std::string> baselines;
  int smallest;
  int largest;
  // Sorts `values` in place and returns the seconds the sort itself took.
  double (*timedSort)(std::vector<int>& values);
  // Adds to `tally` what the sort does on `input`, without timing it.
  void (*countWork)(const std::vector<int>& input, WorkTally& tally);
  // The tally's total that its time is divided by.
  const char* workUnit;
  // How its time grows on shapes that are not quadratic for it.
  benchmark::BigO usualComplexity;
  // Shapes on which this sort takes time quadratic in the size.
  std::vector<std::string> quadraticShapes;
  // Whether it runs only on random input and the programs' data.
  bool randomOnly = false;
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

// The array bubble sort as corvel builds it, or built at another unroll
// factor.
template <void (*Sort)(int* arr, int num) = bubbleSortArray>
double timeArrayBubble(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { Sort(values.data(), sizeOf(values)); });
}

// Times a list sort, corvel's or its twin, on `head` and copies the sorted
// keys back to `values`.
template <class ListSort>
double timeListSort(ListNode* head, std::vector<int>& values, ListSort sort) {
  benchmark::DoNotOptimize(head);
  const double seconds = secondsFor([&] { sort(&head); });
  std::size_t i = 0;
  for (const ListNode* node = head; node != nullptr; node = node->nextNode) {
    values[i++] = node->key;
  }
  freeList(head);
  return seconds;
}

// Nodes allocated one after another lie in memory almost like an array, so
// the walk's next node is usually in the cache line or the one prefetched.
double timeListBubble(std::vector<int>& values) {
  return timeListSort(buildList(values.data(), sizeOf(values)), values, bubbleSortList);
}

// The same keys in the same list order, but each step goes to a random
// place among the nodes.
double timeScatteredListBubble(std::vector<int>& values) {
  static std::mt19937 layout(1);
  ListNode* head = scatteredList(values, layout);
  return head == nullptr ? 0 : timeListSort(head, values, bubbleSortList);
}

double timeArrayBubbleBranchless(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { bubbleSortArrayBranchless(values.data(), sizeOf(values)); });
}

double timeListBubbleBranchless(std::vector<int>& values) {
  return timeListSort(buildList(values.data(), sizeOf(values)), values,
                      [](ListNode** head) { bubbleSortListBranchless(head); });
}

double timeStackQuick(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { stackQuickSort(values.data(), sizeOf(values)); });
}

double timeRecursiveQuick(std::vector<int>& values) {
  benchmark::DoNotOptimize(values.data());
  return secondsFor([&] { recursiveQuickSort(values.data(), 0, sizeOf(values) - 1); });
}

void countExchanges(const std::vector<int>& input, WorkTally& tally) {
  tally.totals["exchanges"] += inversions(input);
}

void addQuickSortWork(const QuickSortWork& work, WorkTally& tally) {
  tally.totals["partitions"] += work.partitions;
  tally.totals["pivot_comparisons"] += work.pivotComparisons;
  tally.totals["small_ranges"] += work.smallRanges;
  tally.totals["heap_sorted"] += work.heapSortedElements;
  tally.raise("max_depth", work.maxDepth);
}

void countStackQuick(const std::vector<int>& input, WorkTally& tally) {
  std::vector<int> values = input;
  QuickSortWork work;
  stackQuickSort(values.data(), sizeOf(values), work);
  addQuickSortWork(work, tally);
}

void countRecursiveQuick(const std::vector<int>& input, WorkTally& tally) {
  std::vector<int> values = input;
  QuickSortWork work;
  recursiveQuickSort(values.data(), 0, sizeOf(values) - 1, work);
  addQuickSortWork(work, tally);
}

// The standard library's sorts, each on the container it sorts and with the
// comparison it is given: std::less when timed, a counting one when not.
struct StdSort {
  using Container = std::vector<int>;
  template <class Less>
  static void run(Container& values, Less less) {
    std::sort(values.begin(), values.end(), less);
  }
};

struct StdStableSort {
  using Container = std::vector<int>;
  template <class Less>
  static void run(Container& values, Less less) {
    std::stable_sort(values.begin(), values.end(), less);
  }
};

struct StdHeapSort {
  using Container = std::vector<int>;
  template <class Less>
  static void run(Container& values, Less less) {
    std::make_heap(values.begin(), values.end(), less);
    std::sort_heap(values.begin(), values.end(), less);
  }
};

struct StdListSort {
  using Container = std::list<int>;
  template <class Less>
  static void run(Container& values, Less less) {
    values.sort(less);
  }
};

#if defined(SORTBENCH_HAVE_PDQSORT)
// pdqsort partitions without branches on its own accord only when given
// std::less over numbers. Behind a wrapper it partitions with branches, as
// it does for any comparison a caller passes, timed or counted alike.
struct PdqSort {
  using Container = std::vector<int>;
  template <class Less>
  static void run(Container& values, Less less) {
    pdqsort(values.begin(), values.end(), [less](int a, int b) { return less(a, b); });
  }
};

struct PdqSortBranchless {
  using Container = std::vector<int>;
  template <class Less>
  static void run(Container& values, Less less) {
    pdqsort_branchless(values.begin(), values.end(), less);
  }
};
#endif

template <class Baseline>
double timeBaseline(std::vector<int>& values) {
  typename Baseline::Container container(values.begin(), values.end());
  benchmark::DoNotOptimize(&container);
  const double seconds = secondsFor([&] { Baseline::run(container, std::less<int>()); });
  std::copy(container.begin(), container.end(), values.begin());
  return seconds;
}

template <class Baseline>
void countComparisons(const std::vector<int>& input, WorkTally& tally) {
  typename Baseline::Container container(input.begin(), input.end());
  double comparisons = 0;
  Baseline::run(container, [&comparisons](int a, int b) {
    ++comparisons;
    return a < b;
  });
  tally.totals["comparisons"] += comparisons;
}

// A bubble sort, over 2^10 to 2^16 elements: one exchange per inversion of
// its input, which ascending and all-equal input have none of.
BenchedSort bubbleSort(const char* name, double (*timedSort)(std::vector<int>& values)) {
  return {name,
          "Bubble sorts",
          {"StdListSort"},
          1 << 10,
          1 << 16,
          timedSort,
          countExchanges,
          "exchanges",
          benchmark::oN,
          {"Random", "Descending", "OrganPipe", "FewDistinct"}};
}

// The array bubble sort built at another unroll factor than corvel's 8,
// on random input and corvel's data, against corvel's build.
BenchedSort unrolledBubbleSort(const char* name, double (*timedSort)(std::vector<int>& values)) {
  BenchedSort sort = bubbleSort(name, timedSort);
  sort.kind = "Unroll factors";
  sort.baselines = {"ArrayBubble"};
  sort.randomOnly = true;
  return sort;
}

// A bubble sort without a branch on its comparisons, against the real
// ones: the same exchanges, so the same work.
BenchedSort branchlessTwin(const char* name, double (*timedSort)(std::vector<int>& values)) {
  BenchedSort sort = bubbleSort(name, timedSort);
  sort.kind = "Branch-free twins";
  sort.baselines = {"ArrayBubble", "ListBubble"};
  return sort;
}

// A quicksort of ours, over 2^13 to 2^23 elements.
BenchedSort quickSort(const char* name, double (*timedSort)(std::vector<int>& values),
                      void (*countWork)(const std::vector<int>& input, WorkTally& tally),
                      std::vector<std::string> quadraticShapes) {
  // The standard library's sort, and pdqsort where it is installed: the
  // unstable sort that most others descend from.
  std::vector<std::string> baselines = {"StdSort"};
#if defined(SORTBENCH_HAVE_PDQSORT)
  baselines.insert(baselines.end(), {"PdqSort", "PdqSortBranchless"});
#endif
  return {
      name,      "Quicksorts", std::move(baselines), 1 << 13,           1 << 23,
      timedSort, countWork,    "pivot_comparisons",  benchmark::oNLogN, std::move(quadraticShapes)};
}

// A library sort, timed and counted through `Baseline`, from 2^10 elements.
template <class Baseline>
BenchedSort librarySort(const char* name, int largest) {
  return {name,
          "",
          {},
          1 << 10,
          largest,
          timeBaseline<Baseline>,
          countComparisons<Baseline>,
          "comparisons",
          benchmark::oNLogN,
          {}};
}

// Every sort sortbench times. The plot and summary scripts learn each one's
// kind, baselines and unit from the results, so that a sort added here
// needs no change there.
const std::vector<BenchedSort>& benchedSorts() {
  static const std::vector<BenchedSort> sorts = {
    bubbleSort("ArrayBubble", timeArrayBubble<>),
    bubbleSort("ListBubble", timeListBubble),
    bubbleSort("ScatteredListBubble", timeScatteredListBubble),
    unrolledBubbleSort("ArrayBubbleUnroll1", timeArrayBubble<bubbleSortArrayUnrolled1>),
    unrolledBubbleSort("ArrayBubbleUnroll2", timeArrayBubble<bubbleSortArrayUnrolled2>),
    unrolledBubbleSort("ArrayBubbleUnroll4", timeArrayBubble<bubbleSortArrayUnrolled4>),
    branchlessTwin("ArrayBubbleBranchless", timeArrayBubbleBranchless),
    branchlessTwin("ListBubbleBranchless", timeListBubbleBranchless),
    // Equal keys all go left of the pivot, and a descending range's first
    // element is the pivot it picks: both split off one element a level.
    quickSort("StackQuick", timeStackQuick, countStackQuick,
              {"Descending", "AllEqual", "FewDistinct", "OrganPipe"}),
    // Its depth bound hands such ranges to a heap sort instead.
    quickSort("RecursiveQuick", timeRecursiveQuick, countRecursiveQuick, {}),
    // "Std" first, so that one filter selects the standard library's: the
    // array sorts over both families' sizes, the list sort over the list's.
    librarySort<StdSort>("StdSort", 1 << 23),
    librarySort<StdStableSort>("StdStableSort", 1 << 23),
    librarySort<StdHeapSort>("StdHeapSort", 1 << 23),
    librarySort<StdListSort>("StdListSort", 1 << 16),
#if defined(SORTBENCH_HAVE_PDQSORT)
    librarySort<PdqSort>("PdqSort", 1 << 23),
    librarySort<PdqSortBranchless>("PdqSortBranchless", 1 << 23),
#endif
  };
  return sorts;
}

// "ns_per_exchange" for "exchanges", and so on.
std::string timePerUnitName(const std::string& unit) {
  return "ns_per_" + unit.substr(0, unit.size() - 1);
}

void runSort(benchmark::State& state, const BenchedSort& sort, const InputShape& shape) {
  const int size = static_cast<int>(state.range(0));
  std::mt19937 gen(static_cast<unsigned>(size));
  WorkTally tally;
  for (auto _ : state) {
    // The work is counted after the timing, on the same input made again
    // from the same engine state, so that the timed sort meets its input
    // as freshly written to the cache as it would without the count.
    std::optional<std::mt19937> engineBefore;
    if (tally.countsNextCall()) {
      engineBefore = gen;
    }
    std::vector<int> values = shape.make(size, gen);
    const double sortSeconds = sort.timedSort(values);
    state.SetIterationTime(sortSeconds);
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
    if (engineBefore) {
      std::mt19937 sameEngine = *engineBefore;
      const double countingSeconds =
          secondsFor([&] { sort.countWork(shape.make(size, sameEngine), tally); });
      ++tally.countedCalls;
      tally.countedSortSeconds += sortSeconds;
      tally.countingSeconds += countingSeconds;
    }
  }
  state.SetComplexityN(size);
  state.counters["per_element"] =
      benchmark::Counter(static_cast<double>(size), benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
  for (const auto& [name, total] : tally.totals) {
    state.counters[name] = total / tally.countedCalls;
  }
  for (const auto& [name, most] : tally.maxima) {
    state.counters[name] = most;
  }
  // Input the sort leaves as it is (no exchange) has no time per unit.
  const double work = tally.totals[sort.workUnit];
  if (work > 0) {
    state.counters[timePerUnitName(sort.workUnit)] = tally.countedSortSeconds * 1e9 / work;
  }
}

// Random first: the plots show the programs' data and the time per unit of
// work beside the first shape.
const std::vector<std::string> kBenchedShapes = {"Random",   "Ascending",   "Descending",
                                                 "AllEqual", "FewDistinct", "OrganPipe"};

// `sort` on `shape` at `sizes`, with a complexity fit where one is given.
void registerFamily(const BenchedSort& sort, const InputShape& shape, const std::vector<int>& sizes,
                    std::optional<benchmark::BigO> complexity) {
  auto* benchmark = benchmark::RegisterBenchmark(
      (std::string(sort.name) + "/" + shape.name).c_str(),
      [&sort, &shape](benchmark::State& state) { runSort(state, sort, shape); });
  for (const int size : sizes) {
    benchmark->Arg(size);
  }
  benchmark->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->ComputeStatistics(
          "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ComputeStatistics("max", [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
      });
  if (complexity) {
    benchmark->Complexity(*complexity);
  }
}

void registerBenchmarks(const RunScale& scale, bool huge) {
  for (const BenchedSort& sort : benchedSorts()) {
    for (const std::string& shapeName : kBenchedShapes) {
      if (sort.randomOnly && shapeName != kBenchedShapes.front()) {
        continue;
      }
      const InputShape& shape = *findShape(shapeName.c_str());
      const bool random = std::string(shape.name) == "Random";
      const bool quadratic = std::find(sort.quadraticShapes.begin(), sort.quadraticShapes.end(),
                                       shape.name) != sort.quadraticShapes.end();
      // The bubble sorts' random case goes to the top size; other
      // quadratic cases stop where they would take more than seconds.
      const int sortLargest = sort.largest / scale.sizeDivisor;
      const int largest =
          quadratic && !random ? std::min(sortLargest, scale.quadraticLimit) : sortLargest;
      std::vector<int> sizes;
      for (int size = sort.smallest; size <= largest; size *= 2) {
        sizes.push_back(size);
      }
      registerFamily(sort, shape, sizes, quadratic ? benchmark::oNSquared : sort.usualComplexity);
    }
    registerFamily(sort, kCorvelData, {scale.corvelDataSize}, std::nullopt);
    if (sort.largest >= 1 << 23) {
      std::vector<int> sizes = {scale.dunmarkDataSize};
      if (huge) {
        sizes.push_back(kHugeSize);
      }
      registerFamily(sort, kDunmarkData, sizes, std::nullopt);
    }
  }
}

// `names` as a JSON list.
std::string jsonList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    list += (list.empty() ? "[\"" : ", \"") + name + "\"";
  }
  return list.empty() ? "[]" : list + "]";
}

// What the plot and summary scripts need to know of the sorts and shapes,
// written into the results' context as JSON.
void describeSortsAndShapes() {
  std::string sorts;
  for (const BenchedSort& sort : benchedSorts()) {
    sorts += std::string(sorts.empty() ? "[" : ", ") + "{\"name\": \"" + sort.name +
             "\", \"kind\": \"" + sort.kind + "\", \"baselines\": " + jsonList(sort.baselines) +
             ", \"unit\": \"" + sort.workUnit + "\"}";
  }
  benchmark::AddCustomContext("sorts", sorts + "]");
  benchmark::AddCustomContext("shapes", jsonList(kBenchedShapes));
  benchmark::AddCustomContext("program_data", jsonList({kCorvelData.name, kDunmarkData.name}));
}

// The processor's name, for the results to say what machine they are from.
std::string cpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    const std::size_t colon = line.find(':');
    if (line.rfind("model name", 0) == 0 && colon != std::string::npos) {
      return line.substr(line.find_first_not_of(" \t", colon + 1));
    }
  }
  return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  bool huge = false;
  const RunScale* scale = &kFullRun;
  std::vector<char*> passedOn;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--huge") == 0) {
      huge = true;
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      scale = &kQuickLook;
    } else {
      passedOn.push_back(argv[i]);
    }
  }
  // The scale's repetitions and minimum of sorting each, unless the command
  // line says otherwise (later flags win). Data is made afresh for every
  // iteration, so a longer minimum mostly adds waiting.
  std::string defaults[] = {
      std::string("--benchmark_repetitions=") + scale->repetitions,
      std::string("--benchmark_min_time=") + scale->minTime,
      std::string("--benchmark_display_aggregates_only=") + scale->displayAggregatesOnly,
      std::string("--benchmark_enable_random_interleaving=") + scale->interleave};
  std::vector<char*> args = {argv[0]};
  for (std::string& flag : defaults) {
    args.push_back(flag.data());
  }
  args.insert(args.end(), passedOn.begin(), passedOn.end());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 2;
  }
  benchmark::AddCustomContext("cpu", cpuModel());
  benchmark::AddCustomContext("compiler", SORTBENCH_COMPILER " " __VERSION__);
  benchmark::AddCustomContext("build_flags", SORTBENCH_FLAGS);
  benchmark::AddCustomContext("run", scale->description);
  describeSortsAndShapes();
  registerBenchmarks(*scale, huge);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
