// Engine-level timing without the interpreter, for perf and callgrind.
//
//   engine_bench CONFIG FILE [ROUNDS] [THREADS]
//
// Prints the median build time of a converter (on THREADS threads, 2 by
// default), then the median throughput of converting FILE through the
// entry the module uses, convert_whole(), as UTF-8 (to UTF-8, as the
// byte streams convert), UTF-16 (as a str of Chinese text is stored) and
// UTF-32, on one thread and on THREADS (MB =
// 10^6 bytes of UTF-8 input).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dict/text_units.h"
#include "engine/config/config_loader.h"
#include "engine/whole/whole_conversion.h"

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename Unit>
std::vector<Unit> units_of(const std::string& text) {
  std::vector<Unit> units;
  for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
    lumo::append_encoded(lumo::utf8_decode(text.data() + pos, &length), units);
  }
  return units;
}

// The median seconds of converting `text` `rounds` times.
template <typename Unit>
double time_conversion(const lumo::Converter& converter, const std::vector<Unit>& text, int rounds,
                       std::size_t threads) {
  std::vector<unsigned char> storage;
  const auto make_storage = [&storage](const lumo::ResultShape& shape) -> void* {
    storage.resize(sizeof(Unit) == 1 ? shape.units : shape.characters * shape.width());
    return storage.data();
  };
  // UTF-8 converts to UTF-8, as the module's byte streams do.
  lumo::ConversionOptions options{threads, true};
  options.own_form = sizeof(Unit) == 1;
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    lumo::convert_whole(converter, text.data(), text.size(), options, make_storage);
    times.push_back(seconds_since(start));
  }
  return median(times);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CONFIG FILE [ROUNDS] [THREADS]\n", argv[0]);
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
  const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 10);
  const auto threads = static_cast<std::size_t>(std::max(1, argc > 4 ? std::atoi(argv[4]) : 2));

  std::vector<double> builds;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const lumo::Converter converter = lumo::build_converter(id.value(), {}, threads);
    builds.push_back(seconds_since(start));
  }
  const lumo::Converter converter = lumo::build_converter(id.value(), {}, threads);
  const std::vector<char> utf8(text.begin(), text.end());
  const std::vector<std::uint16_t> utf16 = units_of<std::uint16_t>(text);
  const std::vector<std::uint32_t> utf32 = units_of<std::uint32_t>(text);
  const double megabytes = static_cast<double>(text.size()) / 1e6;
  std::printf("%s: build %.2f ms\n", argv[1], median(builds) * 1e3);
  for (const std::size_t count : {std::size_t{1}, threads}) {
    std::printf("  %zu thread%s: UTF-8 %.1f, UTF-16 %.1f, UTF-32 %.1f MB/s\n", count,
                count == 1 ? "" : "s", megabytes / time_conversion(converter, utf8, rounds, count),
                megabytes / time_conversion(converter, utf16, rounds, count),
                megabytes / time_conversion(converter, utf32, rounds, count));
  }
  return 0;
}
