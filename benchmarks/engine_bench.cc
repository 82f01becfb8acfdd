// Engine-level timing without the interpreter, for perf and callgrind.
//
//   engine_bench CONFIG FILE [ROUNDS] [BUILD_THREADS]
//
// Prints the median build time of a converter and the median conversion
// throughput of FILE (MB = 10^6 bytes of UTF-8 input).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/config_loader.h"

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CONFIG FILE [ROUNDS] [BUILD_THREADS]\n", argv[0]);
    return 2;
  }
  const lumo::Result<lumo::ConfigId> id = lumo::resolve_config_name(argv[1]);
  if (!id) {
    std::fprintf(stderr, "%s\n", id.error().c_str());
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 10;
  const auto threads = static_cast<std::size_t>(argc > 4 ? std::atoi(argv[4]) : 1);

  std::vector<double> builds;
  std::vector<double> conversions;
  std::size_t output_size = 0;
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    const lumo::Converter converter = lumo::build_converter(id.value(), {}, threads);
    builds.push_back(seconds_since(start));
    start = std::chrono::steady_clock::now();
    output_size += lumo::convert_text(converter, text).size();
    conversions.push_back(seconds_since(start));
  }
  std::printf("%s: build %.2f ms, convert %.1f MB/s (%zu bytes out)\n", argv[1],
              median(builds) * 1e3, static_cast<double>(text.size()) / median(conversions) / 1e6,
              output_size / static_cast<std::size_t>(rounds));
  return 0;
}
