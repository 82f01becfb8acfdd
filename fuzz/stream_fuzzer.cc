// A text fed to a TextStream in chunks of fuzzer-chosen sizes, its ready
// parts converted as they come (as Converter.convert_stream does, with
// prefixed cuts when bit 4 of the flags byte is set), joins into exactly the
// conversion of the whole.
//
// Input (as FuzzedDataProvider reads it): a configuration byte, a flags
// byte (the width of the chunks' code points; custom words; how the text is
// read; prefixed cuts) and the chunk sizes from the end, the custom words when chosen,
// then the text.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/whole/text_stream.h"
#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

template <typename CodePoint>
std::u32string convert_in_chunks(const Converter& converter, const std::u32string& text,
                                 const std::vector<std::size_t>& chunk_sizes, bool prefixed) {
  const std::vector<CodePoint> code_points(text.begin(), text.end());
  TextStream stream(converter, kDefaultMaxHeld, prefixed);
  std::u32string joined;
  std::size_t next = 0;
  for (std::size_t chunk = 0; next < text.size() || chunk == 0; ++chunk) {
    const std::size_t count =
        std::min(text.size() - next, chunk < chunk_sizes.size() ? chunk_sizes[chunk] : 64);
    stream.append(code_points.data() + next, count);
    next += count;
    const bool ended = next == text.size();
    const std::size_t ready = stream.ready(ended).units;
    check(ready <= stream.size(), "more ready than the stream holds");
    if (ready != 0) {
      const std::u32string piece = convert_code_points(converter, stream.units(), ready, {});
      check(stream.dropped_code_points() <= piece.size(), "the kept prefix outgrows its piece");
      joined += piece.substr(stream.dropped_code_points());
    }
    stream.take(ready);
    if (ended) break;
  }
  check(stream.size() == 0, "the ended stream still holds text");
  return joined;
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  FuzzedDataProvider input(data, size);
  const auto [flags, converter] = consume_converter(input);
  std::vector<std::size_t> chunk_sizes(input.ConsumeIntegralInRange<std::size_t>(0, 16));
  for (std::size_t& chunk_size : chunk_sizes) chunk_size = input.ConsumeIntegral<std::uint8_t>();
  std::u32string text = consume_repaired_text(input, flags);

  // A chunk of one-byte code points holds nothing past U+00FF, one of two
  // bytes nothing past U+FFFF.
  const bool prefixed = (flags & 16) != 0;
  std::u32string joined;
  switch (flags % 3) {
    case 0:
      for (char32_t& code_point : text) code_point &= 0xFF;
      joined = convert_in_chunks<std::uint8_t>(converter, text, chunk_sizes, prefixed);
      break;
    case 1:
      for (char32_t& code_point : text) {
        if (code_point > 0xFFFF || is_surrogate(code_point)) code_point = 0xFFFD;
      }
      joined = convert_in_chunks<std::uint16_t>(converter, text, chunk_sizes, prefixed);
      break;
    default:
      joined = convert_in_chunks<std::uint32_t>(converter, text, chunk_sizes, prefixed);
      break;
  }
  check(joined == convert_code_points(converter, text, {}),
        "the stream's pieces joined differ from the conversion of the whole");
  return 0;
}
