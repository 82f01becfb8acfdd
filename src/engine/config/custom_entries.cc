#include "engine/config/custom_entries.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "dict/messages.h"
#include "dict/utf8.h"
#include "dict/white_space.h"

namespace lumo {
namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

constexpr CodePointRange kNonPrintable[] = {
#include "engine/config/printable_ranges.inc"
};

}  // namespace

bool is_printable(char32_t code_point) {
  const auto* after =
      std::upper_bound(std::begin(kNonPrintable), std::end(kNonPrintable), code_point,
                       [](char32_t cp, const CodePointRange& range) { return cp < range.first; });
  return after == std::begin(kNonPrintable) || code_point > std::prev(after)->last;
}

std::string quoted_literal(std::string_view text) {
  std::string out = "\"";
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = 0;
    const char32_t code_point = utf8_decode(text.data() + pos, &length);
    switch (code_point) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (is_printable(code_point)) {
          out.append(text.data() + pos, length);
        } else {
          char escape[16];
          std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(code_point));
          out += escape;
        }
    }
    pos += length;
  }
  out += '"';
  return out;
}

CustomPieces read_custom_pieces(std::string_view text, char separator) {
  CustomPieces pieces;
  std::size_t number = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    const std::string_view piece =
        trim_white_space(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (!piece.empty()) {
      const std::size_t space = piece.find(' ');
      if (space == std::string_view::npos) {
        pieces.without_space = PieceWithoutSpace{number, piece};
        return pieces;
      }
      pieces.pairs.emplace_back(trim_white_space(piece.substr(0, space)),
                                trim_white_space(piece.substr(space + 1)));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
    ++number;
  }
  return pieces;
}

std::optional<std::string> custom_pieces_error(const CustomPieces& pieces) {
  if (const std::optional<PieceWithoutSpace>& piece = pieces.without_space) {
    return messages::custom_piece_without_space(piece->number, quoted_literal(piece->text));
  }
  if (pieces.pairs.empty()) return messages::custom_string_without_pairs();
  return std::nullopt;
}

Result<CustomPairs> parse_custom_string(std::string_view text) {
  CustomPieces pieces = read_custom_pieces(text, '|');
  if (std::optional<std::string> error = custom_pieces_error(pieces)) return Error{*error};
  return std::move(pieces.pairs);
}

}  // namespace lumo
