// Conversion of arbitrary input under every configuration, with and
// without custom words: fuzzer-made bytes read as UTF-8, as UTF-16 units
// and as UTF-32 units. Valid text converts to the same code points in all
// three forms, in storage of its exact shape; UTF-32 units of any value
// (surrogates, values past U+10FFFF) convert without a fault.
//
// Input (as FuzzedDataProvider reads it): a configuration byte and a flags
// byte (the form; custom words or not) from the end, the custom words when
// chosen, then the text.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

// The conversion of valid code points, through each of the three forms.
void convert_in_every_form(const Converter& converter, const std::u32string& text) {
  const std::u32string from_utf32 = convert_code_points(converter, text, {});
  check(convert_code_points(converter, encode_as<char>(text), {}) == from_utf32,
        "UTF-8 and UTF-32 converted differently");
  check(convert_code_points(converter, encode_as<std::uint16_t>(text), {}) == from_utf32,
        "UTF-16 and UTF-32 converted differently");
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  FuzzedDataProvider input(data, size);
  const auto [flags, converter] = consume_converter(input);
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  switch (flags % 3) {
    case 0: {  // UTF-8
      if (valid_utf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
        std::u32string text;
        for (std::size_t pos = 0, length = 0; pos < bytes.size(); pos += length) {
          text.push_back(utf8_decode(bytes.data() + pos, &length));
        }
        convert_in_every_form(converter, text);
      } else {
        convert_in_every_form(converter, decode_repaired(bytes));
      }
      break;
    }
    case 1: {  // UTF-16
      std::u16string units(bytes.size() / 2, u'\0');
      std::memcpy(units.data(), bytes.data(), units.size() * 2);
      convert_in_every_form(converter, decode_repaired(units));
      break;
    }
    default: {  // UTF-32, every value as it stands
      std::u32string units(bytes.size() / 4, U'\0');
      std::memcpy(units.data(), bytes.data(), units.size() * 4);
      if (valid_code_points(units)) {
        convert_in_every_form(converter, units);
      } else {
        convert_code_points(converter, units, {}, false);
      }
      break;
    }
  }
  return 0;
}
