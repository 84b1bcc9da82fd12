// Runs the real programs at their full data counts, with arguments they must
// ignore: the exit status and every byte of standard output count. A run
// that cannot finish its report must say so and fail, not pass for success.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "reports.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// The report with '\n' line ends, once every line was seen to end as the
// platform's text-mode standard output ends it: CR LF on Windows.
std::string withNewlineEnds(std::string output) {
#ifdef _WIN32
  std::string lines;
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (output.compare(i, 2, "\r\n") == 0) {
      ++i;
    } else {
      EXPECT_NE(output[i], '\n') << "a line ends without CR at byte " << i;
    }
    lines += output[i];
  }
  return lines;
#else
  return output;
#endif
}

TEST(EndToEnd, CorvelPrintsItsReportAndExitsZero) {
  const ProgramRun run = runProgram(CORVEL_PATH " --stray argument 42");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.errors, "");
  expectCorvelReport(withNewlineEnds(run.output), 100000);
}

TEST(EndToEnd, DunmarkPrintsItsReportAndExitsZero) {
  const ProgramRun run = runProgram(DUNMARK_PATH " --stray argument 42");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.errors, "");
  expectDunmarkReport(withNewlineEnds(run.output), 100000000);
}

// Ways to fail that a POSIX shell sets up.
#ifndef _WIN32

// A plain non-zero exit (no signal, no core), nothing on standard output,
// and one line on standard error that holds `message`.
void expectFailure(const ProgramRun& run, const std::string& message) {
  EXPECT_GT(run.exitStatus, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
}

// GBK: "报告未能写入标准输出", the report could not be written.
const std::string kReportLost =
    hexBytes("b1 a8 b8 e6 ce b4 c4 dc d0 b4 c8 eb b1 ea d7 bc ca e4 b3 f6");

// A full disk, then no standard output at all.
TEST(EndToEnd, CorvelFailsWhenItsReportIsLost) {
  expectFailure(runProgram(CORVEL_PATH " >/dev/full"), kReportLost);
  expectFailure(runProgram(CORVEL_PATH " >&-"), kReportLost);
}

TEST(EndToEnd, DunmarkFailsWhenItsReportIsLost) {
  expectFailure(runProgram(DUNMARK_PATH " >/dev/full"), kReportLost);
  expectFailure(runProgram(DUNMARK_PATH " >&-"), kReportLost);
}

// GBK: "需要 816 MB" (needs 816 MB): both arrays and the rest of the process.
const std::string kDunmarkNeeds = hexBytes("d0 e8 d2 aa") + " 816 MB";

// 300 MB of address space refuses the first 400 MB array; 500 MB grants the
// first and refuses the second.
TEST(EndToEnd, DunmarkWithoutMemoryFailsAndSaysHowMuchItNeeds) {
  for (const char* kilobytes : {"300000", "500000"}) {
    SCOPED_TRACE(std::string("ulimit -v ") + kilobytes);
    expectFailure(runProgram(std::string("ulimit -v ") + kilobytes + "; exec " DUNMARK_PATH),
                  kDunmarkNeeds);
  }
}

// A container's limit of 500 MB, faked without touching a real cgroup: a
// private mount namespace puts a tmpfs over /sys/fs/cgroup and writes the
// limit where this process's cgroups are. dunmark must refuse before it
// allocates, where a real limit would have it killed part way through.
TEST(EndToEnd, DunmarkRefusesUnderAContainerLimitItCannotFit) {
  if (geteuid() != 0 || runProgram("unshare -m true").exitStatus != 0) {
    GTEST_SKIP() << "faking a memory limit needs root and unshare -m";
  }
  const std::string script = "fake_memory_limit.sh";
  std::ofstream(script) << R"(mount -t tmpfs -o size=1m cgroups /sys/fs/cgroup || exit 1
for mount in $(awk '/ - cgroup2? / {print $5}' /proc/self/mountinfo); do
  for path in $(cut -d: -f3- /proc/self/cgroup); do
    mkdir -p "$mount$path"
    echo 500000000 | tee "$mount$path/memory.max" > "$mount$path/memory.limit_in_bytes"
  done
done
exec "$@"
)";
  // GBK: ", 限额 500 MB" (limit 500 MB).
  expectFailure(runProgram("unshare -m sh " + script + " " DUNMARK_PATH),
                kDunmarkNeeds + ", " + hexBytes("cf de b6 ee") + " 500 MB");
  std::remove(script.c_str());
}

#endif

}  // namespace
