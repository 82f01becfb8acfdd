#include "engine/explain/explanation.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "dict/text_reader.h"
#include "dict/text_units.h"

namespace lumo {
namespace {

// The entries with several values of one lexicon, by key: its texts read in
// order, a later entry replacing an earlier one of the same key, as the
// lexicon was built. Most matches have one value: a filter on the first
// character and the length of the key turns them away before a lookup.
struct ValueLists {
  std::unordered_map<std::string_view, std::vector<std::string_view>> entries;
  std::vector<std::uint64_t> filter = std::vector<std::uint64_t>(kFilterWords);

  static constexpr std::size_t kFilterWords = 1024;
  static std::size_t filter_bit(std::uint32_t first, std::size_t length) {
    return (first * 31 + length) % (kFilterWords * 64);
  }
  bool may_hold(std::uint32_t first, std::size_t length) const {
    const std::size_t bit = filter_bit(first, length);
    return (filter[bit / 64] >> (bit % 64) & 1) != 0;
  }
};

// The value lists of the lexicon merging `texts`, read on first need and
// kept for the life of the process; null when it has none. Thread-safe.
const ValueLists* value_lists(const std::vector<std::string_view>& texts) {
  static std::mutex mutex;
  static std::map<std::vector<const char*>, std::unique_ptr<const ValueLists>> kept;
  std::vector<const char*> name;
  for (const std::string_view text : texts) name.push_back(text.data());
  const std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<const ValueLists>& lists = kept[name];
  if (lists == nullptr) {
    auto read = std::make_unique<ValueLists>();
    DictionaryEntry entry;
    for (const std::string_view text : texts) {
      DictionaryTextReader reader(text);
      while (reader.next(entry)) {
        if (entry.values.size() > 1) {
          read->entries[entry.key] = entry.values;
        } else if (!read->entries.empty()) {
          read->entries.erase(entry.key);
        }
      }
    }
    for (const auto& [key, values] : read->entries) {
      std::size_t length = 0;
      std::size_t characters = 0;
      const std::uint32_t first = key.empty() ? 0 : decode_char(key.data(), &length);
      for (std::size_t pos = 0; pos < key.size(); pos += char_units(key.data() + pos)) {
        ++characters;
      }
      const std::size_t bit = ValueLists::filter_bit(first, characters);
      read->filter[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    lists = std::move(read);
  }
  return lists->entries.empty() ? nullptr : lists.get();
}

// A match or an unmatched character of one stage: where it starts in the
// stage's input and in its output; it ends where the next one starts.
struct Atom {
  std::size_t in_begin;
  std::size_t out_begin;
};

// A match of a stage whose entry has further values.
struct Choice {
  std::size_t stage;
  std::size_t atom;
  const std::vector<std::string_view>* values;  // the first is the one taken
  std::size_t span = 0;                         // the span it falls in, once known
};

using Text = std::vector<std::uint32_t>;

void append_value(std::string_view value, Text& out) {
  for (std::size_t pos = 0, length = 0; pos < value.size(); pos += length) {
    out.push_back(decode_char(value.data() + pos, &length));
  }
}

class Explainer {
 public:
  explicit Explainer(const Converter& converter) : converter_(converter) {
    const std::size_t head = converter.custom_head ? 1 : 0;
    for (std::size_t k = 0; k < converter.stages.size(); ++k) {
      auto& lists = lists_.emplace_back(converter.stages[k].size(), nullptr);
      const auto& texts = converter.stage_texts[k];
      for (std::size_t i = head; i < lists.size() && i - head < texts.size(); ++i) {
        if (!texts[i - head].empty()) lists[i] = value_lists(texts[i - head]);
      }
    }
    levels_.resize(converter.stages.size() + 1);
    atoms_.resize(converter.stages.size());
    ascii_led_.resize(converter.stages.size());
  }

  std::vector<ExplainedSpan> explain(const std::uint32_t* text, std::size_t size) {
    const auto& segmentation = converter_.segmentation;
    if (!segmentation) {
      add_segment(text, 0, size);
    } else {
      std::size_t run = 0;  // where the pending run starts
      GroupScan<std::uint32_t> scan(*segmentation, text, size);
      for (std::size_t pos = 0; pos < size;) {
        const std::size_t length = scan.at(pos).length;
        if (length == 0) {
          ++pos;
          continue;
        }
        if (run < pos) add_segment(text, run, pos);
        add_segment(text, pos, pos + length);
        pos += length;
        run = pos;
      }
      if (run < size) add_segment(text, run, size);
    }
    return std::move(spans_);
  }

 private:
  // Runs stage `k` over in[0, size), appending to `out`; with `atoms`, also
  // records its atoms and the choices it made.
  void run_stage(std::size_t k, const std::uint32_t* in, std::size_t size, bool ascii_led,
                 Text& out, std::vector<Atom>* atoms) {
    GroupScan<std::uint32_t> scan(converter_.stages[k], in, size);
    for (std::size_t pos = 0; pos < size;) {
      if (atoms != nullptr) atoms->push_back({pos, out.size()});
      if (ascii_led && in[pos] < 0x80) {
        out.push_back(in[pos++]);
        continue;
      }
      std::size_t lexicon = 0;
      const LexiconMatch match = scan.at(pos, &lexicon);
      if (!match) {
        out.push_back(in[pos++]);
        continue;
      }
      const ValueLists* const lists = lists_[k][lexicon];
      if (atoms != nullptr && lists != nullptr && lists->may_hold(in[pos], match.length)) {
        key_.clear();
        for (std::size_t i = pos; i < pos + match.length; ++i) append_encoded(in[i], key_);
        const auto found = lists->entries.find(key_);
        if (found != lists->entries.end() && found->second.front() == match.value) {
          choices_.push_back({k, atoms->size() - 1, &found->second, 0});
        }
      }
      append_value(match.value, out);
      pos += match.length;
    }
  }

  void add_segment(const std::uint32_t* text, std::size_t begin, std::size_t end) {
    const std::size_t stages = converter_.stages.size();
    choices_.clear();
    const std::uint32_t* in = text + begin;
    std::size_t size = end - begin;
    for (std::size_t k = 0; k < stages; ++k) {
      levels_[k + 1].clear();
      atoms_[k].clear();
      ascii_led_[k] = size > 0 && in[0] < 0x80;
      run_stage(k, in, size, ascii_led_[k], levels_[k + 1], &atoms_[k]);
      in = levels_[k + 1].data();
      size = levels_[k + 1].size();
    }
    if (choices_.empty()) {
      add_plain(end, in, size);
      return;
    }
    levels_[0].assign(text + begin, text + end);
    find_bounds();
    const std::size_t count = bounds_.size() / (stages + 1) - 1;
    // The choices of each span together, those of earlier stages first.
    for (Choice& choice : choices_) choice.span = choice_span(choice);
    std::stable_sort(choices_.begin(), choices_.end(),
                     [](const Choice& a, const Choice& b) { return a.span < b.span; });
    std::size_t next_choice = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const Text& last = levels_[stages];
      const Text target(last.begin() + static_cast<std::ptrdiff_t>(bound(i, stages)),
                        last.begin() + static_cast<std::ptrdiff_t>(bound(i + 1, stages)));
      std::vector<std::u32string> alternatives;
      for (; next_choice < choices_.size() && choices_[next_choice].span == i; ++next_choice) {
        add_alternatives(i, choices_[next_choice], target, alternatives);
      }
      const std::size_t source_end = begin + bound(i + 1, 0);
      if (alternatives.empty()) {
        add_plain(source_end, target.data(), target.size());
      } else {
        spans_.push_back(
            {source_end, std::u32string(target.begin(), target.end()), std::move(alternatives)});
      }
    }
  }

  // Appends a stretch without alternatives.
  void add_plain(std::size_t source_end, const std::uint32_t* target, std::size_t size) {
    if (spans_.empty() || !spans_.back().alternatives.empty()) spans_.emplace_back();
    spans_.back().source_end = source_end;
    spans_.back().target.append(target, target + size);
  }

  // The position of span bound `i` at level `level` (the input of stage
  // `level`, or the output for the last).
  std::size_t bound(std::size_t i, std::size_t level) const {
    return bounds_[i * (converter_.stages.size() + 1) + level];
  }

  // The span bounds: the atom starts of the first stage that are atom
  // starts at every later stage too, with their place at every level.
  void find_bounds() {
    const std::size_t stages = converter_.stages.size();
    const std::size_t width = stages + 1;
    bounds_.clear();
    for (const Atom& atom : atoms_[0]) {
      bounds_.push_back(atom.in_begin);
      bounds_.resize(bounds_.size() + stages);
    }
    bounds_.push_back(levels_[0].size());
    bounds_.resize(bounds_.size() + stages);
    for (std::size_t k = 0; k < stages; ++k) {
      const std::vector<Atom>& atoms = atoms_[k];
      std::size_t kept = 0;
      std::size_t a = 0;
      for (std::size_t c = 0; c < bounds_.size() / width; ++c) {
        const std::size_t pos = bounds_[c * width + k];
        while (a < atoms.size() && atoms[a].in_begin < pos) ++a;
        std::size_t out;
        if (a < atoms.size() && atoms[a].in_begin == pos) {
          out = atoms[a].out_begin;
        } else if (a == atoms.size() && pos == levels_[k].size()) {
          out = levels_[k + 1].size();
        } else {
          continue;
        }
        std::copy_n(bounds_.begin() + static_cast<std::ptrdiff_t>(c * width), width,
                    bounds_.begin() + static_cast<std::ptrdiff_t>(kept * width));
        bounds_[kept * width + k + 1] = out;
        ++kept;
      }
      bounds_.resize(kept * width);
    }
  }

  // The span holding a choice: the last bound at or before its atom.
  std::size_t choice_span(const Choice& choice) const {
    const std::size_t pos = atoms_[choice.stage][choice.atom].in_begin;
    std::size_t low = 0;
    std::size_t high = bounds_.size() / (converter_.stages.size() + 1) - 1;
    while (high - low > 1) {
      const std::size_t mid = (low + high) / 2;
      (bound(mid, choice.stage) <= pos ? low : high) = mid;
    }
    return low;
  }

  // Adds to `alternatives` the outputs span `i` has with each further value
  // of `choice`, carried through the later stages.
  void add_alternatives(std::size_t i, const Choice& choice, const Text& target,
                        std::vector<std::u32string>& alternatives) {
    const std::size_t stages = converter_.stages.size();
    const std::size_t level = choice.stage + 1;
    const Text& out = levels_[level];
    const std::vector<Atom>& atoms = atoms_[choice.stage];
    const std::size_t from = bound(i, level);
    const std::size_t to = bound(i + 1, level);
    const std::size_t value_begin = atoms[choice.atom].out_begin;
    const std::size_t value_end =
        choice.atom + 1 < atoms.size() ? atoms[choice.atom + 1].out_begin : out.size();
    for (std::size_t v = 1; v < choice.values->size(); ++v) {
      Text text(out.begin() + static_cast<std::ptrdiff_t>(from),
                out.begin() + static_cast<std::ptrdiff_t>(value_begin));
      append_value((*choice.values)[v], text);
      text.insert(text.end(), out.begin() + static_cast<std::ptrdiff_t>(value_end),
                  out.begin() + static_cast<std::ptrdiff_t>(to));
      for (std::size_t k = level; k < stages; ++k) {
        // A span that starts its segment decides how the stage reads it.
        const bool ascii_led = from == 0 ? !text.empty() && text[0] < 0x80 : ascii_led_[k];
        Text next;
        run_stage(k, text.data(), text.size(), ascii_led, next, nullptr);
        text = std::move(next);
      }
      if (text == target) continue;
      std::u32string alternative(text.begin(), text.end());
      if (std::find(alternatives.begin(), alternatives.end(), alternative) == alternatives.end()) {
        alternatives.push_back(std::move(alternative));
      }
    }
  }

  const Converter& converter_;
  std::vector<std::vector<const ValueLists*>> lists_;  // per stage, per lexicon of its group
  std::vector<Text> levels_;                           // each stage's input, then the output
  std::vector<std::vector<Atom>> atoms_;               // per stage
  std::vector<bool> ascii_led_;                        // per stage, for the segment
  std::vector<Choice> choices_;                        // of the segment, in order
  std::vector<std::size_t> bounds_;                    // span bounds, a row per bound
  std::string key_;
  std::vector<ExplainedSpan> spans_;
};

}  // namespace

std::vector<ExplainedSpan> explain(const Converter& converter, const std::uint32_t* text,
                                   std::size_t size) {
  return Explainer(converter).explain(text, size);
}

}  // namespace lumo
