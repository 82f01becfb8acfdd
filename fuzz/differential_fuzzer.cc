// The fast paths against their plain twins, and one thread against many
// pieces: under a fuzzer-chosen configuration, with or without custom
// words, a text converts the same with the converter's plan on one thread,
// with plain_plan(), with a fuzzer-chosen set of fast paths, and cut into
// pieces as small as one unit on up to four threads.
//
// Input (as FuzzedDataProvider reads it): a configuration byte, a flags
// byte (the form; custom words; how the text is read; the threads), the
// piece size and the set of fast paths from the end, the custom words when
// chosen, then the text, repaired into valid code points.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

// The fast paths whose bits are set in `bits`, bit k for the path k.
FastPaths chosen_paths(std::uint32_t bits) {
  FastPaths paths;
  for (unsigned k = 0; k < static_cast<unsigned>(FastPath::kCount); ++k) {
    if ((bits >> k) & 1) paths = paths.with({static_cast<FastPath>(k)});
  }
  return paths;
}

template <typename Unit>
void compare_paths(const Converter& converter, const std::vector<Unit>& text, std::size_t threads,
                   std::size_t piece_units, FastPaths paths) {
  const std::u32string fast = convert_code_points(converter, text, {1, true});
  check(convert_code_points(converter, text, {1, false}) == fast,
        "the fast paths and the plain plan converted differently");
  Converter chosen = converter;
  chosen.plan = fast_plan(converter, paths);
  check(convert_code_points(chosen, text, {threads, true, piece_units}) == fast,
        "a chosen set of fast paths and the plain plan converted differently");
  check(convert_code_points(converter, text, {threads, true, piece_units}) == fast,
        "pieces on threads and one thread converted differently");
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  FuzzedDataProvider input(data, size);
  std::size_t piece_units = 1;
  FastPaths paths;
  const auto [flags, converter] = consume_converter(input, [&] {
    piece_units = 1 + input.ConsumeIntegralInRange<std::size_t>(0, 63);
    paths = chosen_paths(input.ConsumeIntegral<std::uint16_t>());
  });
  const std::size_t threads = 2 + (flags >> 6);
  const std::u32string text = consume_repaired_text(input, flags);

  switch (flags % 3) {
    case 0:
      compare_paths(converter, encode_as<char>(text), threads, piece_units, paths);
      break;
    case 1:
      compare_paths(converter, encode_as<std::uint16_t>(text), threads, piece_units, paths);
      break;
    default:
      compare_paths(converter, encode_as<std::uint32_t>(text), threads, piece_units, paths);
      break;
  }
  return 0;
}
