// The memory limit read from trees laid out as /proc and the cgroup file
// systems show them: only a limit that a run can never fit under counts.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "memory_limit.hpp"

namespace {

// This machine's layout: v1 controllers beside a v2 hierarchy without them.
const char* const kHybridMounts =
    "31 23 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n"
    "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";
const char* const kV2Mounts = "29 23 0:26 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw\n";
// A container that mounts its own memory cgroup as the hierarchy's root.
const char* const kContainerV1Mounts =
    "35 31 0:32 /docker/c1 /sys/fs/cgroup/memory ro - cgroup cgroup rw,memory\n";
const char* const kNoSwap = "MemTotal:       16000000 kB\nSwapTotal:             0 kB\n";
constexpr std::int64_t kMachine = 16000000LL * 1024;
constexpr std::int64_t k500MB = 500000000;

using Files = std::vector<std::pair<std::string, std::string>>;  // path below the root, text

struct Tree {
  const char* name;
  Files files;
  std::optional<std::int64_t> limit;
};

const Tree kTrees[] = {
    {"V2LimitOnOwnCgroup",
     {{"proc/self/mountinfo", kV2Mounts},
      {"proc/self/cgroup", "0::/app.slice/run\n"},
      {"sys/fs/cgroup/app.slice/memory.max", "max\n"},
      {"sys/fs/cgroup/app.slice/run/memory.max", "500000000\n"}},
     k500MB},
    {"V2LimitOnAncestor",
     {{"proc/self/mountinfo", kV2Mounts},
      {"proc/self/cgroup", "0::/app.slice/run\n"},
      {"sys/fs/cgroup/app.slice/memory.max", "500000000\n"},
      {"sys/fs/cgroup/app.slice/run/memory.max", "max\n"}},
     k500MB},
    {"V2MaxEverywhere",
     {{"proc/self/mountinfo", kV2Mounts},
      {"proc/self/cgroup", "0::/run\n"},
      {"sys/fs/cgroup/run/memory.max", "max\n"}},
     kMachine},
    {"V1AloneInAContainer",
     {{"proc/self/mountinfo", kContainerV1Mounts},
      {"proc/self/cgroup", "4:memory:/docker/c1\n"},
      {"sys/fs/cgroup/memory/memory.limit_in_bytes", "500000000\n"}},
     k500MB},
    {"V1Unlimited",
     {{"proc/self/mountinfo", kHybridMounts},
      {"proc/self/cgroup", "4:memory:/job\n0::/\n"},
      {"sys/fs/cgroup/memory/job/memory.limit_in_bytes", "9223372036854771712\n"}},
     kMachine},
    {"HybridBothCount",
     {{"proc/self/mountinfo", kHybridMounts},
      {"proc/self/cgroup", "4:cpu,memory:/job\n0::/job\n"},
      {"sys/fs/cgroup/memory/job/memory.limit_in_bytes", "700000000\n"},
      {"sys/fs/cgroup/unified/job/memory.max", "500000000\n"}},
     k500MB},
    // Past its limit a process can still swap, up to all the machine has.
    {"SwapAddsToEveryLimit",
     {{"proc/self/mountinfo", kV2Mounts},
      {"proc/self/cgroup", "0::/run\n"},
      {"sys/fs/cgroup/run/memory.max", "500000000\n"},
      {"proc/meminfo", "MemTotal: 16000000 kB\nSwapTotal: 1000000 kB\n"}},
     k500MB + 1024000000},
    {"GarbledFilesAndLinesAreNoLimit",
     {{"proc/self/mountinfo", std::string(kHybridMounts) + "not a mount\n"},
      {"proc/self/cgroup", "nonsense\n4:memory:/../elsewhere\n0::/job\n"},
      {"sys/fs/cgroup/unified/job/memory.max", "-1\n"},
      {"sys/fs/cgroup/unified/memory.max", "500 MB\n"},
      {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
      {"sys/fs/cgroup/elsewhere/memory.limit_in_bytes", "500000000\n"}},
     kMachine},
    {"MissingCgroupFilesLeaveTheMachine", {}, kMachine},
    // Without the machine's swap, no cgroup limit is certain.
    {"NothingKnownWithoutMeminfo",
     {{"proc/meminfo", ""},
      {"proc/self/mountinfo", kV2Mounts},
      {"proc/self/cgroup", "0::/run\n"},
      {"sys/fs/cgroup/run/memory.max", "500000000\n"}},
     std::nullopt},
};

// Lays out `files` below a fresh directory and returns its path; a
// machine's meminfo without swap unless `files` has its own.
std::string layOut(const Tree& tree) {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / (std::string("memory_limit_test_") + tree.name);
  std::filesystem::remove_all(root);
  Files files = {{"proc/meminfo", kNoSwap}};
  files.insert(files.end(), tree.files.begin(), tree.files.end());
  for (const auto& [path, text] : files) {
    std::filesystem::create_directories((root / path).parent_path());
    std::ofstream(root / path, std::ios::trunc) << text;
  }
  return root.string();
}

TEST(MemoryLimit, SmallestLimitThatAlwaysHoldsAndTheRunFitsExactlyUnderIt) {
  for (const Tree& tree : kTrees) {
    SCOPED_TRACE(tree.name);
    const std::string root = layOut(tree);
    const std::optional<std::int64_t> limit = memoryLimit(root);
    EXPECT_EQ(limit, tree.limit);
    if (tree.limit) {
      EXPECT_TRUE(fitsUnder(*tree.limit, limit));
      EXPECT_FALSE(fitsUnder(*tree.limit + 1, limit));
    } else {
      EXPECT_TRUE(fitsUnder(INT64_MAX, limit));
    }
    std::filesystem::remove_all(root);
  }
}

}  // namespace
