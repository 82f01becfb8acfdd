// The Arrow input path: an array of each string layout built from
// fuzzer-made offsets, views, validity bits, lengths and bytes, hostile
// ones included, read and converted by the columns room. Every buffer is
// allocated at exactly the size the array states for it (the sizes the
// interface cannot state, offsets and views, at its length), so a read
// past any of them is a fault. A broken layout must be refused; an array
// read must convert as its rows do alone, or name its first row that is
// not UTF-8; the converted array, exported, must read back as those rows.
//
// Input (as FuzzedDataProvider reads it): from the end, a configuration
// byte, a flags byte, the layout, the array's offset and length, the
// threads; then the offsets or views, the validity bits and the bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "columns/arrow_export.h"
#include "columns/converted_column.h"
#include "columns/string_array.h"
#include "dict/utf8_validation.h"
#include "engine/core/conversion.h"
#include "fuzz/fuzz_support.h"

namespace lumo::fuzz {
namespace {

using columns::ColumnType;
using columns::LayoutFault;
using columns::StringArray;
using columns::StringLayout;

// The rows of `rows`, as the converted column must hold them: nullopt for
// a missing row.
std::vector<std::optional<std::string>> present_rows(const StringArray& rows) {
  std::vector<std::optional<std::string>> found;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const bool present = rows.validity().present(i) && rows.struct_validity().present(i);
    if (present) {
      found.emplace_back(std::string(rows.row(i)));
    } else {
      found.emplace_back();
    }
  }
  return found;
}

}  // namespace
}  // namespace lumo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo;
  using namespace lumo::fuzz;
  FuzzedDataProvider input(data, size);
  const auto [flags, converter] = consume_converter(input);
  ColumnType type;
  type.layout = static_cast<StringLayout>(input.ConsumeIntegralInRange<int>(0, 2));
  const auto offset = input.ConsumeIntegralInRange<std::int64_t>(-1, 8);
  const auto length = input.ConsumeIntegralInRange<std::int64_t>(-1, 64);
  const auto threads = input.ConsumeIntegralInRange<std::size_t>(1, 3);
  const std::size_t entries = static_cast<std::size_t>(std::max<std::int64_t>(0, offset) +
                                                       std::max<std::int64_t>(0, length));

  // The offsets (one more than the rows) or the views, exactly as long as
  // the array's offset and length make them; validity bits likewise.
  const bool views = type.layout == StringLayout::kStringView;
  const std::size_t width = views ? 16 : type.layout == StringLayout::kString ? 4 : 8;
  const std::size_t entry_bytes = views ? entries * 16 : (entries + 1) * width;
  std::vector<char> entry_buffer(input.ConsumeBytes<char>(entry_bytes));
  entry_buffer.resize(entry_bytes);
  std::vector<std::uint8_t> validity = input.ConsumeBytes<std::uint8_t>((entries + 7) / 8);
  validity.resize((entries + 7) / 8);
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  std::vector<std::unique_ptr<char[]>> data_buffers;
  std::vector<std::int64_t> sizes;
  std::vector<const void*> buffers = {(flags & 8) ? validity.data() : nullptr, entry_buffer.data()};
  // A data buffer of `size` bytes, the fuzzer's bytes repeated.
  const auto data_buffer = [&](std::size_t buffer_size) {
    auto buffer = std::make_unique<char[]>(std::max<std::size_t>(buffer_size, 1));
    for (std::size_t i = 0; i < buffer_size && !bytes.empty(); ++i)
      buffer[i] = bytes[i % bytes.size()];
    buffers.push_back(buffer.get());
    data_buffers.push_back(std::move(buffer));
  };
  if (views) {
    // Two data buffers, of the bytes' size and of half of it.
    for (const std::size_t buffer_size : {bytes.size(), bytes.size() / 2}) {
      data_buffer(buffer_size);
      sizes.push_back(static_cast<std::int64_t>(buffer_size));
    }
    buffers.push_back(sizes.data());
  } else {
    // As long as the last offset says, within bounds the fuzzer's own
    // offsets rarely respect.
    std::int64_t last = 0;
    if (width == 4) {
      std::int32_t narrow = 0;
      std::memcpy(&narrow, entry_buffer.data() + entries * width, 4);
      last = narrow;
    } else {
      std::memcpy(&last, entry_buffer.data() + entries * width, 8);
    }
    if (last > std::int64_t{1} << 20) return 0;
    data_buffer(static_cast<std::size_t>(std::max<std::int64_t>(last, 0)));
  }
  if ((flags & 16) && buffers.size() > 2)
    buffers[1 + (flags >> 6) % (buffers.size() - 1)] = nullptr;

  ArrowArray array{};
  array.length = length;
  array.offset = offset;
  array.null_count = (flags & 8) ? -1 : 0;
  array.n_buffers = static_cast<std::int64_t>(buffers.size());
  array.buffers = buffers.data();

  StringArray rows;
  if (rows.read(array, type) != LayoutFault::kNone) return 0;
  const auto present = present_rows(rows);
  std::size_t first_invalid = present.size();
  std::vector<std::optional<std::string>> wanted;
  for (std::size_t i = 0; i < present.size(); ++i) {
    if (!present[i]) {
      wanted.emplace_back();
      continue;
    }
    const std::string& row = *present[i];
    if (check_utf8(row.data(), row.size()).valid != row.size()) {
      first_invalid = std::min(first_invalid, i);
      wanted.emplace_back();
      continue;
    }
    wanted.emplace_back(convert_text(converter, row));
  }
  auto column = std::make_shared<columns::ConvertedColumn>(type);
  const ColumnResult result = column->append(converter, rows, threads);
  if (first_invalid != present.size()) {
    check(result.outcome == ColumnOutcome::kInvalidUtf8 && result.row == first_invalid,
          "the first row that is not UTF-8 was not named");
    return 0;
  }
  check(result.outcome == ColumnOutcome::kConverted, "a readable array did not convert");
  check(column->finish(), "finishing failed");
  ArrowArray exported{};
  columns::export_chunk(column, 0, &exported);
  column.reset();
  ColumnType read_type;
  read_type.layout = type.layout;
  StringArray read_back;
  check(read_back.read(exported, read_type) == LayoutFault::kNone, "the export is unreadable");
  check(present_rows(read_back) == wanted, "a row converted otherwise than alone");
  exported.release(&exported);
  return 0;
}
