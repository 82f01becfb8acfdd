// Columns: whatever the rounds, shares and threads, every row's result is
// that of converting the row alone; Arrow arrays of each string layout are
// checked before a row is read, and a converted column read back through
// its exported arrays holds those results.
#include "engine/whole/column_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "columns/arrow_export.h"
#include "columns/converted_column.h"
#include "columns/string_array.h"
#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"

namespace lumo {
namespace {

using columns::ColumnType;
using columns::ConvertedColumn;
using columns::LayoutFault;
using columns::StringArray;
using columns::StringLayout;

// Rows of words the dictionaries hold and other characters, some missing
// (nullopt), some empty, a few long.
std::vector<std::optional<std::string>> random_rows(std::size_t count, unsigned seed) {
  static const char* const kWords[] = {
      "汉字", "发展", "我们的U盘坏了", "了", "后", "A", "OK ", "\n", "é", "😀", "𠀀", "。", "头发"};
  std::mt19937 random(seed);
  std::vector<std::optional<std::string>> rows;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned kind = random() % 8;
    if (kind == 0) {
      rows.emplace_back();
      continue;
    }
    std::string text;
    const std::size_t words = kind == 1 ? random() % 3000 : random() % 40;
    for (std::size_t w = 0; w < words; ++w) text += kWords[random() % std::size(kWords)];
    rows.emplace_back(std::move(text));
  }
  return rows;
}

class VectorRows final : public ColumnRows {
 public:
  explicit VectorRows(const std::vector<std::optional<std::string>>& rows) : rows_(rows) {}
  std::string_view row(std::size_t index) const override {
    return rows_[index] ? std::string_view(*rows_[index]) : std::string_view();
  }

 private:
  const std::vector<std::optional<std::string>>& rows_;
};

class CollectingSink final : public ColumnSink {
 public:
  std::vector<std::string> results;
  bool take(std::size_t first, std::size_t count, const char* bytes,
            const std::size_t* ends) override {
    EXPECT_EQ(first, results.size()) << "rounds arrive in order";
    std::size_t begin = 0;
    for (std::size_t k = 0; k < count; ++k) {
      results.emplace_back(bytes + begin, ends[k] - begin);
      begin = ends[k];
    }
    return true;
  }
};

std::vector<std::string> alone(const Converter& converter,
                               const std::vector<std::optional<std::string>>& rows) {
  std::vector<std::string> results;
  for (const auto& row : rows) results.push_back(row ? convert_text(converter, *row) : "");
  return results;
}

TEST(ColumnConversion, RowsConvertAsAloneInAnyRoundsOnAnyThreads) {
  for (const ConfigId id : {ConfigId::kS2T, ConfigId::kS2TWP, ConfigId::kT2S}) {
    const Converter converter = build_converter(id, {});
    const auto rows = random_rows(600, static_cast<unsigned>(id));
    const std::vector<std::string> wanted = alone(converter, rows);
    const VectorRows column(rows);
    for (const std::size_t threads : {1u, 2u, 3u, 8u}) {
      for (const std::size_t round_bytes : {std::size_t{1} << 22, std::size_t{5000}}) {
        for (const std::size_t piece_units : {std::size_t{1} << 16, std::size_t{100}}) {
          CollectingSink sink;
          const ColumnResult result = convert_column(converter, column, rows.size(), sink, threads,
                                                     round_bytes, piece_units);
          ASSERT_EQ(result.outcome, ColumnOutcome::kConverted);
          ASSERT_EQ(sink.results, wanted)
              << threads << " threads, rounds of " << round_bytes << ", shares of " << piece_units;
        }
      }
    }
  }
}

TEST(ColumnConversion, FirstInvalidRowIsNamedOnAnyThreads) {
  const Converter converter = build_converter(ConfigId::kS2T, {});
  auto rows = random_rows(400, 7);
  rows[301] = "ok\xe6\xb1";
  rows[120] = std::string("\xff");
  const VectorRows column(rows);
  for (const std::size_t threads : {1u, 2u, 8u}) {
    CollectingSink sink;
    const ColumnResult result =
        convert_column(converter, column, rows.size(), sink, threads, 3000, 100);
    EXPECT_EQ(result.outcome, ColumnOutcome::kInvalidUtf8);
    EXPECT_EQ(result.row, 120u) << threads << " threads";
  }
  CollectingSink sink;
  EXPECT_EQ(convert_column(converter, column, 0, sink, 4).outcome, ColumnOutcome::kConverted);
}

// An Arrow array of `layout` holding `rows`, built by hand, with its
// buffers.
struct OwnedArray {
  std::string data;
  std::vector<std::int32_t> offsets32;
  std::vector<std::int64_t> offsets64;
  std::vector<char> views;
  std::vector<std::uint8_t> validity;
  std::vector<std::int64_t> sizes;
  std::vector<const void*> buffers;
  ArrowArray array{};

  OwnedArray(StringLayout layout, const std::vector<std::optional<std::string>>& rows) {
    validity.assign((rows.size() + 7) / 8, 0);
    std::int64_t missing = 0;
    offsets32.push_back(0);
    offsets64.push_back(0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      char view[16] = {};
      if (rows[i]) {
        validity[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        const auto size = static_cast<std::int32_t>(rows[i]->size());
        std::memcpy(view, &size, 4);
        if (size <= 12) {
          std::memcpy(view + 4, rows[i]->data(), rows[i]->size());
        } else if (layout == StringLayout::kStringView) {
          const auto offset = static_cast<std::int32_t>(data.size());
          std::memcpy(view + 4, rows[i]->data(), 4);
          std::memcpy(view + 12, &offset, 4);
          data += *rows[i];
        }
      } else {
        ++missing;
      }
      views.insert(views.end(), view, view + 16);
      if (layout != StringLayout::kStringView && rows[i]) data += *rows[i];
      offsets32.push_back(static_cast<std::int32_t>(data.size()));
      offsets64.push_back(static_cast<std::int64_t>(data.size()));
    }
    sizes.push_back(static_cast<std::int64_t>(data.size()));
    buffers.push_back(validity.data());
    if (layout == StringLayout::kStringView) {
      buffers.insert(buffers.end(), {views.data(), data.data(), sizes.data()});
    } else {
      buffers.push_back(layout == StringLayout::kString ? static_cast<const void*>(offsets32.data())
                                                        : offsets64.data());
      buffers.push_back(data.data());
    }
    array.length = static_cast<std::int64_t>(rows.size());
    array.null_count = missing;
    array.n_buffers = static_cast<std::int64_t>(buffers.size());
    array.buffers = buffers.data();
  }
};

// The rows of `array` as read through the columns room.
std::vector<std::optional<std::string>> read_back(const ArrowArray& array, const ColumnType& type) {
  StringArray rows;
  EXPECT_EQ(rows.read(array, type), LayoutFault::kNone);
  std::vector<std::optional<std::string>> read;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows.validity().present(i)) {
      read.emplace_back(std::string(rows.row(i)));
    } else {
      read.emplace_back();
    }
  }
  return read;
}

TEST(ArrowColumns, ConvertedArraysReadBackAsRowsConvertedAloneOnAnyThreads) {
  const Converter converter = build_converter(ConfigId::kS2TWP, {});
  for (const StringLayout layout :
       {StringLayout::kString, StringLayout::kLargeString, StringLayout::kStringView}) {
    const auto rows = random_rows(300, 3);
    OwnedArray input(layout, rows);
    ColumnType type;
    type.layout = layout;
    for (const std::int64_t offset : {0, 5}) {
      input.array.offset = offset;
      input.array.length = static_cast<std::int64_t>(rows.size()) - offset;
      std::vector<std::optional<std::string>> wanted;
      for (std::size_t i = static_cast<std::size_t>(offset); i < rows.size(); ++i) {
        if (rows[i]) {
          wanted.emplace_back(convert_text(converter, *rows[i]));
        } else {
          wanted.emplace_back();
        }
      }
      for (const std::size_t threads : {1u, 3u}) {
        StringArray array;
        ASSERT_EQ(array.read(input.array, type), LayoutFault::kNone);
        auto column = std::make_shared<ConvertedColumn>(type);
        ASSERT_EQ(column->append(converter, array, threads).outcome, ColumnOutcome::kConverted);
        ASSERT_EQ(column->append(converter, array, threads).outcome, ColumnOutcome::kConverted);
        ASSERT_TRUE(column->finish());
        const std::shared_ptr<const ConvertedColumn> finished = column;
        column.reset();
        for (std::size_t chunk = 0; chunk < 2; ++chunk) {
          ArrowArray exported{};
          columns::export_chunk(finished, chunk, &exported);
          EXPECT_EQ(exported.offset, 0);
          const auto read = read_back(exported, type);
          ASSERT_EQ(read.size(), wanted.size());
          for (std::size_t i = 0; i < read.size(); ++i) {
            ASSERT_EQ(read[i], wanted[i]) << "row " << i << ", layout " << static_cast<int>(layout)
                                          << ", offset " << offset << ", " << threads << " threads";
          }
          exported.release(&exported);
          EXPECT_EQ(exported.release, nullptr);
        }
      }
    }
  }
}

TEST(ArrowColumns, BrokenLayoutsAreFoundBeforeAnyRowIsRead) {
  const std::vector<std::optional<std::string>> rows = {"汉字", std::nullopt, "很长的一行中文字"};
  ColumnType type;
  const auto fault = [&](StringLayout layout, auto&& spoil) {
    type.layout = layout;
    OwnedArray input(layout, rows);
    spoil(input);
    StringArray array;
    return array.read(input.array, type);
  };
  using L = StringLayout;
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.offsets32[2] = 1; }), LayoutFault::kBadOffsets);
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.offsets32[0] = -3; }),
            LayoutFault::kBadOffsets);
  EXPECT_EQ(fault(L::kLargeString, [](OwnedArray& a) { a.offsets64[3] = 0; }),
            LayoutFault::kBadOffsets);
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.buffers[1] = nullptr; }),
            LayoutFault::kMissingBuffer);
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.buffers[2] = nullptr; }),
            LayoutFault::kMissingBuffer);
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.array.n_buffers = 2; }),
            LayoutFault::kMissingBuffer);
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.array.length = -1; }),
            LayoutFault::kNegativeLength);
  EXPECT_EQ(fault(L::kString, [](OwnedArray& a) { a.array.offset = INT64_MAX; }),
            LayoutFault::kNegativeLength);
  // The long row's view: its length, its buffer, its offset.
  const auto view_field = [](OwnedArray& a, std::size_t at, std::int32_t value) {
    std::memcpy(a.views.data() + 2 * 16 + at, &value, 4);
  };
  EXPECT_EQ(fault(L::kStringView, [&](OwnedArray& a) { view_field(a, 0, 40); }),
            LayoutFault::kViewOutOfBounds);
  EXPECT_EQ(fault(L::kStringView, [&](OwnedArray& a) { view_field(a, 8, 1); }),
            LayoutFault::kViewOutOfBounds);
  EXPECT_EQ(fault(L::kStringView, [&](OwnedArray& a) { view_field(a, 12, -1); }),
            LayoutFault::kViewOutOfBounds);
  EXPECT_EQ(fault(L::kStringView, [&](OwnedArray& a) { view_field(a, 0, -2); }),
            LayoutFault::kViewOutOfBounds);
  EXPECT_EQ(fault(L::kStringView, [](OwnedArray& a) { a.sizes[0] = 3; }),
            LayoutFault::kViewOutOfBounds);
  EXPECT_EQ(fault(L::kStringView, [](OwnedArray& a) { a.buffers[2] = nullptr; }),
            LayoutFault::kMissingBuffer);
  // A missing row's view is not read.
  EXPECT_EQ(fault(L::kStringView, [](OwnedArray& a) { a.views[16] = 99; }), LayoutFault::kNone);
}

TEST(ArrowColumns, OneColumnStructsKeepTheirShape) {
  const Converter converter = build_converter(ConfigId::kS2T, {});
  const std::vector<std::optional<std::string>> rows = {"汉字", std::nullopt, "发展", "后"};
  OwnedArray strings(StringLayout::kString, rows);
  ArrowArray* children[1] = {&strings.array};
  const void* struct_buffers[1] = {nullptr};
  ArrowArray table{};
  table.length = 3;
  table.offset = 1;
  table.n_buffers = 1;
  table.buffers = struct_buffers;
  table.n_children = 1;
  table.children = children;
  ColumnType type;
  type.nested = true;
  type.name = "title";
  StringArray array;
  ASSERT_EQ(array.read(table, type), LayoutFault::kNone);
  auto column = std::make_shared<ConvertedColumn>(type);
  ASSERT_EQ(column->append(converter, array, 1).outcome, ColumnOutcome::kConverted);
  ASSERT_TRUE(column->finish());
  ArrowSchema schema{};
  columns::export_schema(*column, &schema);
  EXPECT_STREQ(schema.format, "+s");
  ASSERT_EQ(schema.n_children, 1);
  EXPECT_STREQ(schema.children[0]->format, "u");
  EXPECT_STREQ(schema.children[0]->name, "title");
  schema.release(&schema);
  ArrowArray exported{};
  columns::export_chunk(column, 0, &exported);
  ASSERT_EQ(exported.n_children, 1);
  ColumnType child_type;
  const std::vector<std::optional<std::string>> wanted = {std::nullopt, "發展", "後"};
  EXPECT_EQ(read_back(*exported.children[0], child_type), wanted);
  // A consumer may move a child out and release it after its parent.
  ArrowArray child = *exported.children[0];
  exported.children[0]->release = nullptr;
  exported.release(&exported);
  column.reset();
  EXPECT_EQ(read_back(child, child_type), wanted);
  child.release(&child);
  strings.array.length = 2;  // shorter than the struct's rows
  EXPECT_EQ(array.read(table, type), LayoutFault::kWrongStructShape);
}

}  // namespace
}  // namespace lumo
