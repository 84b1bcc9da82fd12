#pragma once

// The programs' four-line reports, checked byte for byte.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

// Decodes "c5 c5 d0" into the bytes it names.
inline std::string hexBytes(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

struct LineFormat {
  std::string label;
  std::string unit;
};

// The four numbers of `report` when it is exactly four lines, each
// label + plain decimal integer + unit + '\n', and nothing else.
inline std::optional<std::array<std::int64_t, 4>> readReport(
    const std::string& report, const std::array<LineFormat, 4>& format) {
  std::array<std::int64_t, 4> numbers{};
  std::size_t pos = 0;
  const std::regex plainDecimal("-?(0|[1-9][0-9]*)");
  for (std::size_t line = 0; line < format.size(); ++line) {
    const std::size_t newline = report.find('\n', pos);
    if (newline == std::string::npos) {
      return std::nullopt;
    }
    const std::string text = report.substr(pos, newline - pos);
    const LineFormat& expected = format[line];
    if (text.size() < expected.label.size() + expected.unit.size() ||
        text.compare(0, expected.label.size(), expected.label) != 0 ||
        text.compare(text.size() - expected.unit.size(), expected.unit.size(), expected.unit) !=
            0) {
      return std::nullopt;
    }
    const std::string number = text.substr(
        expected.label.size(), text.size() - expected.label.size() - expected.unit.size());
    if (!std::regex_match(number, plainDecimal)) {
      return std::nullopt;
    }
    numbers[line] = std::stoll(number);
    pos = newline + 1;
  }
  if (pos != report.size()) {
    return std::nullopt;
  }
  return numbers;
}

struct ProgramRun {
  std::string output;
  std::string errors;
  int exitStatus = -1;  // -1 unless the program exited by itself (not by a signal)
};

// Runs a shell command and collects its standard output, standard error
// and exit status.
inline ProgramRun runProgram(const std::string& command) {
  ProgramRun run;
  const std::string errorsFile =
      std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".stderr";
#ifdef _WIN32
  FILE* pipe = _popen((command + " 2>" + errorsFile).c_str(), "rb");
#else
  FILE* pipe = popen((command + " 2>" + errorsFile).c_str(), "r");
#endif
  if (pipe == nullptr) {
    return run;
  }
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    run.output.append(buffer, got);
  }
#ifdef _WIN32
  run.exitStatus = _pclose(pipe);
#else
  const int status = pclose(pipe);
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  std::ifstream errors(errorsFile, std::ios::binary);
  run.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
  errors.close();
  std::remove(errorsFile.c_str());
  return run;
}

// What `run` writes to std::cout.
template <class Run>
std::string capturedStdout(Run run) {
  std::ostringstream captured;
  std::streambuf* const original = std::cout.rdbuf(captured.rdbuf());
  run();
  std::cout.rdbuf(original);
  return captured.str();
}

inline void expectCorvelReport(const std::string& report, std::int64_t dataCount) {
  const std::string unit = hexBytes("20 ba c1 c3 eb");
  const std::array<LineFormat, 4> format = {{
      {hexBytes("c5 c5 d0 f2 cb e3 b7 a8 d0 d4 c4 dc b1 c8 bd cf 20 28 ca fd be dd c1 bf 3a 20"),
       hexBytes("29 3a")},
      {hexBytes("ca fd d7 e9 c3 b0 c5 dd c5 c5 d0 f2 ca b1 bc e4 3a 20"), unit},
      {hexBytes("cb ab cf f2 c1 b4 b1 ed c3 b0 c5 dd c5 c5 d0 f2 ca b1 bc e4 3a 20"), unit},
      {hexBytes("ca b1 bc e4 b2 ee 3a 20"), unit},
  }};
  const auto numbers = readReport(report, format);
  ASSERT_TRUE(numbers.has_value()) << "report was:\n" << report;
  const auto [count, arrayTime, listTime, difference] = *numbers;
  EXPECT_EQ(count, dataCount);
  EXPECT_GE(arrayTime, 0);
  EXPECT_GE(listTime, 0);
  EXPECT_EQ(difference, listTime - arrayTime);
}

inline void expectDunmarkReport(const std::string& report, std::int64_t dataCount) {
  const std::string unit = hexBytes("20 6d 73");
  const std::array<LineFormat, 4> format = {{
      {hexBytes("bf ec cb d9 c5 c5 d0 f2 cb e3 b7 a8 d0 d4 c4 dc b1 c8 bd cf 20 28 ca fd be dd c1 "
                "bf 3a"),
       hexBytes("29 3a")},
      {hexBytes("b7 c7 b5 dd b9 e9 b0 e6 b1 be ba c4 ca b1 3a"), unit},
      {hexBytes("b5 dd b9 e9 b0 e6 b1 be ba c4 ca b1 3a"), unit},
      {hexBytes("ca b1 bc e4 b2 ee 3a"), unit},
  }};
  const auto numbers = readReport(report, format);
  ASSERT_TRUE(numbers.has_value()) << "report was:\n" << report;
  const auto [count, stackTime, recursiveTime, difference] = *numbers;
  EXPECT_EQ(count, dataCount);
  EXPECT_GE(stackTime, 0);
  EXPECT_GE(recursiveTime, 0);
  EXPECT_EQ(difference, std::abs(stackTime - recursiveTime));
}
