// Sharing the rows of a batch or a column out among threads: whole rows,
// in order, in shares of about equal weight. A row weighs its units and
// one for the row itself, so that a share of many short rows is not taken
// for a small one.
#ifndef LUMO_ENGINE_WHOLE_ROW_SHARES_H_
#define LUMO_ENGINE_WHOLE_ROW_SHARES_H_

#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/whole/whole_conversion.h"

namespace lumo {

// How many shares rows of `total` weight make on at most `threads`
// threads, each share weighing at least `piece_units`.
inline std::size_t row_share_count(std::size_t total, std::size_t threads,
                                   std::size_t piece_units) {
  piece_units = std::max<std::size_t>(piece_units, 1);
  return may_use_threads(total, piece_units)
             ? std::max<std::size_t>(1, std::min(threads, total / piece_units))
             : 1;
}

// Cuts rows [first, last), of `total` weight in all, row i weighing
// weight(i), into `count` shares: sets `starts` to the count + 1 bounds,
// share s being rows [starts[s], starts[s + 1]). Share s starts at the
// row whose weights before it reach s / count of the total.
template <typename Weight>
void share_rows(std::size_t first, std::size_t last, std::size_t total, std::size_t count,
                const Weight& weight, std::vector<std::size_t>& starts) {
  starts.assign(count + 1, last);
  starts[0] = first;
  std::size_t before = 0;
  std::size_t next = 1;
  for (std::size_t i = first; i < last && next < count; ++i) {
    while (next < count && before >= total / count * next) starts[next++] = i;
    before += weight(i);
  }
}

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_ROW_SHARES_H_
