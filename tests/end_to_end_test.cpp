// Runs the real programs at their full data counts, with arguments they must
// ignore: the exit status and every byte of standard output count.

#include <gtest/gtest.h>

#include "reports.hpp"

namespace {

TEST(EndToEnd, CorvelPrintsItsReportAndExitsZero) {
  const ProgramRun run = runProgram(CORVEL_PATH " --stray argument 42");
  EXPECT_EQ(run.exitStatus, 0);
  expectCorvelReport(run.output, 100000);
}

TEST(EndToEnd, DunmarkPrintsItsReportAndExitsZero) {
  const ProgramRun run = runProgram(DUNMARK_PATH " --stray argument 42");
  EXPECT_EQ(run.exitStatus, 0);
  expectDunmarkReport(run.output, 100000000);
}

}  // namespace
