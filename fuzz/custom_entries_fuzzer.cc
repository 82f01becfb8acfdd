// The custom-entry string grammar, "key value|key value|...". A text in
// valid UTF-8 (the form of every str) either gives pairs or a message
// quoting the offending piece. Every pair is trimmed, its key holds no
// space and neither holds a '|', and writing the pairs back in the grammar
// reads the same pairs again. A quoted literal holds only printable
// characters and escapes, and so does a refusal.
#include <cstdint>
#include <string>
#include <string_view>

#include "dict/white_space.h"
#include "engine/config/custom_entries.h"
#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

void check_printable(std::string_view text) {
  check(valid_utf8(reinterpret_cast<const unsigned char*>(text.data()), text.size()),
        "a quoted literal is not valid UTF-8");
  for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
    const char32_t code_point = utf8_decode(text.data() + pos, &length);
    check(code_point == ' ' || is_printable(code_point),
          "a quoted literal holds a character that is not printable");
  }
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  if (!valid_utf8(data, size)) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_printable(quoted_literal(text));

  const Result<CustomPairs> pairs = parse_custom_string(text);
  if (!pairs) {
    check_printable(pairs.error());
    return 0;
  }
  check(!pairs.value().empty(), "pairs parsed from a text without any");
  std::string written;
  for (const auto& [key, value] : pairs.value()) {
    check(!key.empty() && key == trim_white_space(key) && value == trim_white_space(value),
          "a key is empty, or a key or value is not trimmed");
    check(key.find_first_of(" |") == std::string::npos && value.find('|') == std::string::npos,
          "a key holds a space or a '|', or a value a '|'");
    written += (written.empty() ? "" : "|") + key + " " + value;
  }
  const Result<CustomPairs> again = parse_custom_string(written);
  check(again && again.value() == pairs.value(), "the pairs written back read differently");
  return 0;
}
