#include "tools/derived_texts.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "dict/text_reader.h"
#include "dict/utf8.h"
#include "dict/white_space.h"
#include "engine/core/conversion.h"

namespace lumo {
namespace {

constexpr std::string_view kFormatLine = "# Format: key\tvalue(s) (values separated by spaces)\n";
constexpr std::string_view kLicenseLine = "# License: Apache-2.0 (see LICENSE)\n";

// std::string compares bytes as unsigned char, so a map keyed by UTF-8
// strings iterates in code-point order.
using SortedEntries = std::map<std::string, std::vector<std::string>>;

void write_entry(std::string_view key, const std::vector<std::string>& values, std::string& out) {
  out.append(key);
  out.push_back('\t');
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out.push_back(' ');
    out.append(values[i]);
  }
  out.push_back('\n');
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string reverse_dictionary(std::string_view forward_text, std::string_view source_file) {
  constexpr std::string_view kPrefer = "# @reverse-prefer: ";
  SortedEntries reversed;
  std::vector<std::string> preferred;
  std::string_view rest = forward_text;
  std::string_view line;
  std::string_view previous;
  DictionaryEntry entry;
  while (next_dictionary_line(rest, line)) {
    if (parse_dictionary_line(line, entry)) {
      if (starts_with(previous, kPrefer)) {
        preferred.emplace_back(trim_white_space(previous.substr(kPrefer.size())));
      }
      for (const std::string_view value : entry.values) {
        std::vector<std::string>& keys = reversed[std::string(value)];
        if (std::find(keys.begin(), keys.end(), entry.key) == keys.end()) {
          keys.emplace_back(entry.key);
        }
      }
    }
    previous = line;
  }
  for (const std::string& character : preferred) {
    const auto found = reversed.find(character);
    if (found == reversed.end()) continue;
    std::vector<std::string>& values = found->second;
    const auto at = std::find(values.begin(), values.end(), character);
    if (at != values.end()) std::rotate(values.begin(), at, at + 1);
  }

  std::string out = "# Open Chinese Convert (OpenCC) Dictionary (generated, reversed)\n";
  out.append(kFormatLine);
  out.append(kLicenseLine);
  out.append("# Source: reversed from ").append(source_file).append(" by the lumo build step\n\n");
  for (const auto& [key, values] : reversed) write_entry(key, values, out);
  return out;
}

std::string tofu_extension(std::string_view ts_characters_text) {
  std::string out;
  std::string_view rest = ts_characters_text;
  std::string_view line;
  std::string_view previous;
  DictionaryEntry entry;
  while (next_dictionary_line(rest, line)) {
    if (parse_dictionary_line(line, entry) && starts_with(previous, "# @tofu-risk:") &&
        entry.values.size() > 1) {
      out.append(entry.key);
      out.push_back('\t');
      for (std::size_t i = 1; i < entry.values.size(); ++i) {
        if (i > 1) out.push_back(' ');
        out.append(entry.values[i]);
      }
      out.push_back('\n');
    }
    previous = line;
  }
  return out;
}

std::string regional_st_phrases(std::string_view tw_phrases_text, std::string_view hk_phrases_text,
                                const Converter& t2s) {
  std::set<std::string_view> seen;
  std::vector<std::string_view> keys;
  for (const std::string_view text : {tw_phrases_text, hk_phrases_text}) {
    DictionaryTextReader reader(text);
    DictionaryEntry entry;
    while (reader.next(entry)) {
      if (seen.insert(entry.key).second && utf8_length(entry.key) >= 3) {
        keys.push_back(entry.key);
      }
    }
  }
  // Two keys with the same Simplified spelling would keep the first; the
  // built-in data has none.
  SortedEntries entries;
  for (const std::string_view key : keys) {
    entries.try_emplace(convert_text(t2s, key), std::vector<std::string>{std::string(key)});
  }

  std::string out = "# Open Chinese Convert (OpenCC) Dictionary\n";
  out.append("# File: STPhrases_GeneratedFromRegionalPhrases.txt\n");
  out.append(kFormatLine);
  out.append(kLicenseLine);
  out.append("# Source: generated from HKPhrases.txt, TWPhrases.txt keys via t2s.json\n");
  out.append("# Used in configs: s2t.json, s2hk.json, s2hkp.json, s2tw.json, s2twp.json\n");
  out.append("#\n");
  out.append("# This generated ST phrase dictionary preserves Simplified-input spans\n");
  out.append("# before applying regional phrase vocabulary.\n\n");
  for (const auto& [simplified, values] : entries) write_entry(simplified, values, out);
  return out;
}

}  // namespace lumo
