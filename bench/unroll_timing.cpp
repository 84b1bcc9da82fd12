// Times the array bubble sort built at unroll factors 1 (rolled), 2, 4 and
// 8 in one process, alternating, on the same random ints drawn as corvel
// draws them, at sizes from 10^3 to 10^5: a comparison that the shared
// machine's drift cannot tilt, as it can between two runs. Prints, per size,
// each factor's median and range over the repetitions and its median
// against the rolled loop's; exits 1 if a build got the sort wrong.
//
//   unroll_timing [repetitions [largest size]]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

void bubbleSortArrayUnrolled1(int* arr, int num);
void bubbleSortArrayUnrolled2(int* arr, int num);
void bubbleSortArrayUnrolled4(int* arr, int num);
void bubbleSortArrayUnrolled8(int* arr, int num);

namespace {

// Seconds per sort of `input`, sorting fresh copies made outside the timing.
// Each build is called from its own instance of this function, so that
// link-time optimisation inlines it here as it inlines the real sort into
// corvel's driver: GCC 12 drops the unroll pragma from a loop it compiles
// at link time in a function that stays out of line.
template <void (*Sort)(int*, int)>
double secondsPerSort(const std::vector<int>& input, int sorts, bool& wrong) {
  double seconds = 0;
  for (int k = 0; k < sorts; ++k) {
    std::vector<int> values = input;
    const auto start = std::chrono::steady_clock::now();
    Sort(values.data(), static_cast<int>(values.size()));
    const auto end = std::chrono::steady_clock::now();
    seconds += std::chrono::duration<double>(end - start).count();
    wrong = wrong || !std::is_sorted(values.begin(), values.end());
  }
  return seconds / sorts;
}

struct Build {
  int factor;
  double (*secondsPerSort)(const std::vector<int>& input, int sorts, bool& wrong);
};

const Build kBuilds[] = {{1, secondsPerSort<bubbleSortArrayUnrolled1>},
                         {2, secondsPerSort<bubbleSortArrayUnrolled2>},
                         {4, secondsPerSort<bubbleSortArrayUnrolled4>},
                         {8, secondsPerSort<bubbleSortArrayUnrolled8>}};
constexpr int kBuildCount = sizeof kBuilds / sizeof kBuilds[0];

// Small sizes sort many copies per sample, so that each sample takes about
// this long and a clock reading's cost disappears in it.
constexpr double kSampleSeconds = 0.05;

double median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const std::size_t half = samples.size() / 2;
  return samples.size() % 2 == 1 ? samples[half] : (samples[half - 1] + samples[half]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
  const int largest = argc > 2 ? std::atoi(argv[2]) : 100000;
  std::mt19937 gen(std::random_device{}());
  std::uniform_int_distribution<int> dis(1, 1000000);
  bool wrong = false;
  std::printf("%8s %6s %12s %25s %9s\n", "size", "unroll", "median ms", "range ms", "vs rolled");
  for (const int size : {1000, 2000, 5000, 10000, 20000, 30000, 60000, 100000}) {
    if (size > largest) {
      break;
    }
    // A random array of this size sorts in about size^2 / 4 steps of ~1 ns.
    const double estimate = 0.25e-9 * size * static_cast<double>(size);
    const int sorts = std::max(1, static_cast<int>(kSampleSeconds / estimate));
    std::vector<double> samples[kBuildCount];
    for (int rep = 0; rep < repetitions; ++rep) {
      std::vector<int> input(static_cast<std::size_t>(size));
      for (int& value : input) {
        value = dis(gen);
      }
      // Each repetition starts with the next build, so that none always
      // runs first or last.
      for (int b = 0; b < kBuildCount; ++b) {
        const int which = (rep + b) % kBuildCount;
        samples[which].push_back(kBuilds[which].secondsPerSort(input, sorts, wrong));
      }
    }
    const double rolled = median(samples[0]);
    for (int b = 0; b < kBuildCount; ++b) {
      const auto [low, high] = std::minmax_element(samples[b].begin(), samples[b].end());
      std::printf("%8d %6d %12.3f %12.3f - %10.3f %9.3f\n", size, kBuilds[b].factor,
                  median(samples[b]) * 1e3, *low * 1e3, *high * 1e3, median(samples[b]) / rolled);
    }
    std::fflush(stdout);
  }
  if (wrong) {
    std::fprintf(stderr, "unroll_timing: a build left its input unsorted\n");
    return 1;
  }
  return 0;
}
