#pragma once

// How much memory a run can ever hold, read before it allocates. Under a
// container's memory limit an allocation succeeds and the kernel kills the
// process later, while it touches its pages, without a word; a run that
// cannot fit must say so before it starts. Shared by both programs as a
// header, so that each stays its own program with its own sources.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// Bytes a run holds beyond its data: code, libraries, stack and page
// tables, about 6 MB measured for dunmark, with room to spare.
inline constexpr std::int64_t kRestOfProcess = 16000000;

namespace memory_limit_detail {

using Bytes = std::optional<std::int64_t>;

inline std::vector<std::string> linesOf(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(line);
  }
  return lines;
}

inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) {
    parts.push_back(part);
  }
  return parts;
}

// A decimal count that fills `text` but for a final newline; none for
// "max", a sign or anything else.
inline Bytes parseCount(std::string_view text) {
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
  }
  std::uint64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(std::min<std::uint64_t>(value, INT64_MAX));
}

inline Bytes readCount(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return file ? parseCount(text.str()) : std::nullopt;
}

// A cgroup hierarchy as mounted: the cgroup shown at the mount point (a
// container may mount its own cgroup as the hierarchy's root), and where.
struct Mount {
  std::string root;
  std::string point;
};

// The directories of the process's cgroup at `path` and of each ancestor
// that the mount shows, from the mount point down to the cgroup's own.
// None for a path outside the mount's root, or one that climbs with "..".
inline std::vector<std::string> cgroupDirectories(const std::string& root, const Mount& mount,
                                                  const std::string& path) {
  const bool inside = mount.root == "/" || path == mount.root ||
                      path.compare(0, mount.root.size() + 1, mount.root + "/") == 0;
  if (!inside) {
    return {};
  }
  std::vector<std::string> directories = {root + mount.point};
  for (const std::string& name :
       split(path.substr(mount.root == "/" ? 0 : mount.root.size()), '/')) {
    if (name == "..") {
      return {};
    }
    if (!name.empty()) {
      directories.push_back(directories.back() + "/" + name);
    }
  }
  return directories;
}

// MemTotal or SwapTotal of /proc/meminfo, in bytes.
inline Bytes meminfoBytes(const std::vector<std::string>& meminfo, const std::string& name) {
  for (const std::string& line : meminfo) {
    std::istringstream fields(line);
    std::string key;
    std::string count;
    std::string unit;
    if (fields >> key >> count >> unit && key == name + ":" && unit == "kB") {
      const Bytes kilobytes = parseCount(count);
      return kilobytes && *kilobytes <= INT64_MAX / 1024 ? Bytes(*kilobytes * 1024) : std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace memory_limit_detail

// The most memory this process can ever hold, from the files below `root`
// ("" for this machine): the smallest of the machine's memory and the
// limits of its cgroups (v2's memory.max of its cgroup and each ancestor,
// v1's memory.limit_in_bytes of its memory cgroup; both on a hybrid
// machine), plus the machine's swap, which no limit read here bounds.
// Empty when nothing is known for certain: a missing or garbled file, an
// unknown line or "max" only ever remove a limit, never invent one.
inline std::optional<std::int64_t> memoryLimit(const std::string& root) {
  namespace detail = memory_limit_detail;
  const std::vector<std::string> meminfo = detail::linesOf(root + "/proc/meminfo");
  const detail::Bytes memory = detail::meminfoBytes(meminfo, "MemTotal");
  const detail::Bytes swap = detail::meminfoBytes(meminfo, "SwapTotal");
  if (!memory || !swap) {
    return std::nullopt;
  }

  // mountinfo: ID, parent, device, root, mount point, options, optional
  // fields, "-", then the type, the source and the super options.
  std::vector<detail::Mount> v2Mounts;
  std::vector<detail::Mount> v1MemoryMounts;
  for (const std::string& line : detail::linesOf(root + "/proc/self/mountinfo")) {
    const std::vector<std::string> fields = detail::split(line, ' ');
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || fields.end() - dash < 4) {
      continue;
    }
    const detail::Mount mount{fields[3], fields[4]};
    const std::vector<std::string> options = detail::split(dash[3], ',');
    if (dash[1] == "cgroup2") {
      v2Mounts.push_back(mount);
    } else if (dash[1] == "cgroup" &&
               std::find(options.begin(), options.end(), "memory") != options.end()) {
      v1MemoryMounts.push_back(mount);
    }
  }

  // /proc/self/cgroup: hierarchy ID, controllers, the cgroup's path.
  std::int64_t ram = *memory;
  const auto lowerTo = [&ram](detail::Bytes limit) { ram = std::min(ram, limit.value_or(ram)); };
  for (const std::string& line : detail::linesOf(root + "/proc/self/cgroup")) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
      continue;
    }
    const std::string id = line.substr(0, first);
    const std::vector<std::string> controllers =
        detail::split(line.substr(first + 1, second - first - 1), ',');
    const std::string path = line.substr(second + 1);
    if (id == "0" && controllers.empty()) {
      for (const detail::Mount& mount : v2Mounts) {
        for (const std::string& directory : detail::cgroupDirectories(root, mount, path)) {
          lowerTo(detail::readCount(directory + "/memory.max"));
        }
      }
    } else if (std::find(controllers.begin(), controllers.end(), "memory") != controllers.end()) {
      for (const detail::Mount& mount : v1MemoryMounts) {
        const std::vector<std::string> own = detail::cgroupDirectories(root, mount, path);
        if (!own.empty()) {
          lowerTo(detail::readCount(own.back() + "/memory.limit_in_bytes"));
        }
      }
    }
  }
  return ram + std::min(*swap, INT64_MAX - ram);
}

// Whether a run that needs `need` bytes can fit under `limit` (any, when
// none is known).
inline bool fitsUnder(std::int64_t need, std::optional<std::int64_t> limit) {
  return !limit || need <= *limit;
}

// This machine's limit on Linux; elsewhere none is read.
inline std::optional<std::int64_t> systemMemoryLimit() {
#ifdef __linux__
  return memoryLimit("");
#else
  return std::nullopt;
#endif
}

// One GBK line on standard error, "<program>: 内存不足: 需要 N MB" (not
// enough memory: needs), with ", 限额 M MB" (limit) when the limit is known.
// The need is rounded up and the limit down, so that the line never shows
// a need that fits.
inline void writeTooLittleMemory(const char* program, std::int64_t need,
                                 std::optional<std::int64_t> limit) {
  constexpr std::int64_t kMegabyte = 1000000;
  std::cerr << program << ": \xc4\xda\xb4\xe6\xb2\xbb\xd7\xe3: \xd0\xe8\xd2\xaa "
            << (need + kMegabyte - 1) / kMegabyte << " MB";
  if (limit) {
    std::cerr << ", \xcf\xde\xb6\xee " << *limit / kMegabyte << " MB";
  }
  std::cerr << std::endl;
}
