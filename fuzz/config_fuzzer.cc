// Loading a configuration from an arbitrary JSON text, with or without
// custom words, through load_config, the loader's entry for a text. A text
// is either refused with a message or gives a converter, which converts a
// mixed sample text the same with its fast paths as with its plain plan.
//
// Input: the configuration text, then a flags byte (custom words; threads
// for building). The built-in configuration texts are the seed corpus.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  if (size == 0) return 0;
  const std::uint8_t flags = data[size - 1];
  const CustomPairs pairs =
      (flags & 1) ? CustomPairs{{"坏了", "故障了"}, {"U", "V"}, {"甲", ""}} : CustomPairs{};
  const std::string text(reinterpret_cast<const char*>(data), size - 1);
  Result<Converter> converter = load_config(text, pairs, (flags & 2) ? 2 : 1);
  if (!converter) {
    check(!converter.error().empty(), "a refusal without a message");
    return 0;
  }
  static const std::u32string sample =
      U"我的U盘坏了, 一口吃成甦. 著名的「計算機」程序员\n乾燥 后天 フランス語 髮 ab\U0002A6A5c";
  const std::u32string fast = convert_code_points(converter.value(), sample, {1, true});
  check(convert_code_points(converter.value(), sample, {1, false}) == fast,
        "the fast paths and the plain plan converted differently");
  return 0;
}
