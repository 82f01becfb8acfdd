// What the fuzz harnesses share: the built-in converters, built once per
// process; custom words placed ahead of a converter's groups; conversion
// through convert_whole, the entry the module uses, into code points; and
// the checks a text passes before the engine may read it.
//
// The engine reads text it trusts: valid UTF-8, or UTF-16 without lone
// surrogates (every str the module hands it is). Harnesses give it
// fuzzer-made text only after valid_units() says it keeps that contract,
// and otherwise convert its repaired form, in which every ill-formed
// sequence has become U+FFFD. UTF-32 code points are read one unit each,
// so any of them, surrogates and values past U+10FFFF included, is given
// to the engine as it is.
#ifndef LUMO_FUZZ_FUZZ_SUPPORT_H_
#define LUMO_FUZZ_FUZZ_SUPPORT_H_

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dict/lexicon_builder.h"
#include "dict/text_units.h"
#include "engine/config/config_loader.h"
#include "engine/core/planning.h"
#include "engine/whole/whole_conversion.h"

namespace lumo::fuzz {

// Stops the run with `what` when `condition` is false: libFuzzer records the
// input as a crash.
inline void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

// The built-in converter of configuration `index` (modulo their count),
// built on first use and kept.
inline const Converter& builtin_converter(std::size_t index) {
  static std::array<std::unique_ptr<const Converter>, kConfigCount> converters;
  std::unique_ptr<const Converter>& slot = converters[index % kConfigCount];
  if (!slot) {
    slot = std::make_unique<const Converter>(
        build_converter(static_cast<ConfigId>(index % kConfigCount), {}));
  }
  return *slot;
}

// `base` with a lexicon of `pairs` heading every group, as load_config
// places custom words, without building the dictionaries again.
inline Converter with_custom(const Converter& base, const CustomPairs& pairs) {
  Converter converter = base;
  if (pairs.empty()) return converter;
  const Lexicon custom = lexicon_from_pairs(pairs);
  if (converter.segmentation)
    converter.segmentation->insert(converter.segmentation->begin(), custom);
  for (DictionaryGroup& stage : converter.stages) stage.insert(stage.begin(), custom);
  converter.plan = fast_plan(converter);
  return converter;
}

// Whether s[0, size) is well-formed UTF-8: no overlong form, no surrogate,
// nothing past U+10FFFF, no sequence cut short.
inline bool valid_utf8(const unsigned char* s, std::size_t size) {
  for (std::size_t pos = 0; pos < size;) {
    const unsigned char lead = s[pos];
    std::size_t length = 1;
    char32_t least = 0;
    char32_t code_point = lead;
    if (lead >= 0x80) {
      if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, code_point = lead & 0x1F;
      } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, code_point = lead & 0x0F;
      } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, code_point = lead & 0x07;
      } else {
        return false;
      }
      if (size - pos < length) return false;
      for (std::size_t i = 1; i < length; ++i) {
        if ((s[pos + i] & 0xC0) != 0x80) return false;
        code_point = (code_point << 6) | (s[pos + i] & 0x3F);
      }
      if (code_point < least || code_point > 0x10FFFF || is_surrogate(code_point)) return false;
    }
    pos += length;
  }
  return true;
}

// The code points of `text`, each ill-formed sequence or lone surrogate
// read as U+FFFD, and each UTF-32 unit as it stands.
inline std::u32string decode_repaired(const std::string& text) {
  std::u32string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = 1;
    while (length <= 4 && pos + length <= text.size() && !valid_utf8(s + pos, length)) ++length;
    if (length > 4 || pos + length > text.size()) {
      out.push_back(0xFFFD);
      ++pos;
      continue;
    }
    std::size_t decoded = 0;
    out.push_back(utf8_decode(text.data() + pos, &decoded));
    pos += length;
  }
  return out;
}
inline std::u32string decode_repaired(const std::u16string& text) {
  std::u32string out;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const char16_t unit = text[pos];
    if (is_high_surrogate(std::uint16_t{unit}) && pos + 1 < text.size() &&
        is_low_surrogate(std::uint16_t{text[pos + 1]})) {
      out.push_back(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[pos + 1] - 0xDC00));
      ++pos;
    } else {
      out.push_back(is_surrogate(std::uint16_t{unit}) ? 0xFFFD : unit);
    }
  }
  return out;
}

// Whether a text of code points is valid, as a str without surrogates is.
inline bool valid_code_points(const std::u32string& text) {
  for (const char32_t code_point : text) {
    if (code_point > 0x10FFFF || is_surrogate(code_point)) return false;
  }
  return true;
}

// The valid text `text` (of code points) in UTF-8, UTF-16 or UTF-32 units.
template <typename Unit>
std::vector<Unit> encode_as(const std::u32string& text) {
  std::vector<Unit> out;
  out.reserve(text.size() * (sizeof(Unit) == 1 ? 4 : 2));
  for (const char32_t code_point : text) append_encoded(code_point, out);
  return out;
}

// The conversion of text[0, size) by convert_whole with `options`, as code
// points. Checks that the storage asked for has the exact shape of the
// result when `exact_shape` (for valid text; a code point past U+10FFFF
// has no bound).
template <typename Unit>
std::u32string convert_code_points(const Converter& converter, const Unit* text, std::size_t size,
                                   const ConversionOptions& options, bool exact_shape = true) {
  std::vector<unsigned char> storage;
  ResultShape shape;
  const ConversionOutcome outcome =
      convert_whole(converter, text, size, options, [&](const ResultShape& asked) -> void* {
        shape = asked;
        storage.assign(asked.characters * asked.width() + 1, 0);
        return storage.data();
      });
  check(outcome == ConversionOutcome::kConverted, "the conversion failed");
  std::u32string out(shape.characters, U'\0');
  const std::size_t width = shape.width();
  char32_t largest = 0;
  for (std::size_t i = 0; i < shape.characters; ++i) {
    if (width == 1) {
      out[i] = storage[i];
    } else if (width == 2) {
      std::uint16_t unit;
      std::memcpy(&unit, storage.data() + 2 * i, 2);
      out[i] = unit;
    } else {
      std::memcpy(&out[i], storage.data() + 4 * i, 4);
    }
    largest = std::max(largest, out[i]);
  }
  if (exact_shape) {
    const char32_t tight = largest <= 0x7F     ? 0x7F
                           : largest <= 0xFF   ? 0xFF
                           : largest <= 0xFFFF ? 0xFFFF
                                               : 0x10FFFF;
    check(shape.bound == tight, "the result's bound is not that of its largest code point");
    check(valid_code_points(out), "a valid text converted to a surrogate or a value past U+10FFFF");
  }
  return out;
}

template <typename Unit>
std::u32string convert_code_points(const Converter& converter, const std::vector<Unit>& text,
                                   const ConversionOptions& options) {
  return convert_code_points(converter, text.data(), text.size(), options);
}
inline std::u32string convert_code_points(const Converter& converter, const std::u32string& text,
                                          const ConversionOptions& options,
                                          bool exact_shape = true) {
  return convert_code_points(converter, reinterpret_cast<const std::uint32_t*>(text.data()),
                             text.size(), options, exact_shape);
}

// Up to four custom pairs of short strings, valid UTF-8 as a str's are,
// some keys made long.
inline CustomPairs consume_pairs(FuzzedDataProvider& input) {
  CustomPairs pairs;
  const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(1, 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::string key = input.ConsumeRandomLengthString(24);
    std::string value = input.ConsumeRandomLengthString(24);
    if (!valid_utf8(reinterpret_cast<const unsigned char*>(key.data()), key.size()) ||
        !valid_utf8(reinterpret_cast<const unsigned char*>(value.data()), value.size())) {
      continue;
    }
    // Keys of seven bytes (modulo eight) are repeated past 256 bytes, so
    // that the long-key index is fuzzed too, without a byte of the input
    // read for it.
    if (key.size() % 8 == 7) {
      const std::string unit = key;
      while (key.size() <= 256) key += unit;
    }
    pairs.emplace_back(std::move(key), std::move(value));
  }
  return pairs;
}

// The converter a conversion harness's input chooses, and the flags byte
// that chose it.
struct FuzzedConverter {
  std::uint8_t flags;
  Converter converter;
};

// The opening the conversion harnesses share, read from the end of `input`:
// a configuration byte, a flags byte, then what `read_settings()` reads
// (a harness's own settings, which keep their place ahead of the custom
// words), then custom words where bit 2 of the flags is set. The converter
// is the built-in one of the configuration byte, with those words.
template <typename ReadSettings>
FuzzedConverter consume_converter(FuzzedDataProvider& input, ReadSettings read_settings) {
  const auto index = input.ConsumeIntegral<std::uint8_t>();
  const auto flags = input.ConsumeIntegral<std::uint8_t>();
  read_settings();
  const Converter& builtin = builtin_converter(index);
  return {flags, (flags & 4) ? with_custom(builtin, consume_pairs(input)) : builtin};
}
inline FuzzedConverter consume_converter(FuzzedDataProvider& input) {
  return consume_converter(input, [] {});
}

// The rest of `input` as valid code points: read as UTF-8 where bit 3 of
// `flags` is set, and then mostly ASCII (line feeds and ASCII-led
// stretches); otherwise as UTF-16 units, and then mostly in the CJK blocks.
inline std::u32string consume_repaired_text(FuzzedDataProvider& input, std::uint8_t flags) {
  const std::string bytes = input.ConsumeRemainingBytesAsString();
  if (flags & 8) return decode_repaired(bytes);
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return decode_repaired(units);
}

}  // namespace lumo::fuzz

#endif  // LUMO_FUZZ_FUZZ_SUPPORT_H_
