// Batches: whatever the shares and threads, every row's result is that of
// converting the row alone.
#include "engine/whole/batch_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dict/text_units.h"
#include "engine/config/config_loader.h"

namespace lumo {
namespace {

// A row's units in one of the three widths, kept as bytes.
struct OwnedRow {
  std::vector<unsigned char> bytes;
  std::size_t size = 0;
  unsigned width = 0;
};

template <typename Unit>
OwnedRow encoded(std::u32string_view text) {
  std::vector<Unit> units;
  for (const char32_t code_point : text) append_encoded(code_point, units);
  OwnedRow row;
  row.width = sizeof(Unit);
  row.size = units.size();
  row.bytes.resize(units.size() * sizeof(Unit));
  if (!units.empty()) std::memcpy(row.bytes.data(), units.data(), row.bytes.size());
  return row;
}

// Rows of words the dictionaries hold and other characters, in every
// width, some missing, some empty, a few long.
std::vector<OwnedRow> random_rows(std::size_t count, unsigned seed) {
  static const std::u32string_view kWords[] = {
      U"汉字", U"发展", U"我们的U盘坏了", U"了", U"后", U"A", U"OK ", U"\n", U"é", U"😀",
      U"𠀀",   U"。",   U"头发",          U"乾"};
  std::mt19937 random(seed);
  std::vector<OwnedRow> rows;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned kind = random() % 8;
    if (kind == 0) {
      rows.emplace_back();
      continue;
    }
    std::u32string text;
    const std::size_t words = kind == 1 ? random() % 3000 : random() % 40;
    for (std::size_t w = 0; w < words; ++w) text += kWords[random() % std::size(kWords)];
    rows.push_back(kind % 3 == 0   ? encoded<char>(text)
                   : kind % 3 == 1 ? encoded<std::uint16_t>(text)
                                   : encoded<std::uint32_t>(text));
  }
  return rows;
}

// The conversion of `row` alone: its shape and code points.
struct Alone {
  ResultShape shape;
  std::vector<unsigned char> code_points;
};

template <typename Unit>
Alone converted_alone(const Converter& converter, const OwnedRow& row) {
  Alone alone;
  const auto storage = [&alone](const ResultShape& shape) -> void* {
    alone.shape = shape;
    alone.code_points.resize(shape.characters * shape.width() + 4);
    return alone.code_points.data();
  };
  const auto* const units = reinterpret_cast<const Unit*>(row.bytes.data());
  EXPECT_EQ(convert_whole(converter, units, row.size, {}, storage), ConversionOutcome::kConverted);
  alone.code_points.resize(alone.shape.characters * alone.shape.width());
  return alone;
}

Alone converted_alone(const Converter& converter, const OwnedRow& row) {
  return row.width == 1   ? converted_alone<char>(converter, row)
         : row.width == 2 ? converted_alone<std::uint16_t>(converter, row)
                          : converted_alone<std::uint32_t>(converter, row);
}

TEST(BatchConversion, RowsConvertAsAloneOnAnyThreads) {
  for (const ConfigId id : {ConfigId::kS2T, ConfigId::kS2TWP, ConfigId::kT2S}) {
    const Converter converter = build_converter(id, {});
    const std::vector<OwnedRow> owned = random_rows(600, static_cast<unsigned>(id));
    std::vector<BatchRow> rows;
    for (const OwnedRow& row : owned) rows.push_back({row.bytes.data(), row.size, row.width});
    std::vector<Alone> alone;
    for (const OwnedRow& row : owned) {
      alone.push_back(row.width == 0 ? Alone{} : converted_alone(converter, row));
    }
    for (const std::size_t threads : {1u, 2u, 3u, 8u}) {
      for (const std::size_t piece_units : {std::size_t{1} << 16, std::size_t{100}}) {
        BatchConversion batch;
        ASSERT_EQ(batch.convert(converter, rows.data(), rows.size(), threads, piece_units),
                  ConversionOutcome::kConverted);
        for (std::size_t i = 0; i < rows.size(); ++i) {
          if (rows[i].width == 0) continue;
          const ResultShape& shape = batch.shape(i);
          ASSERT_EQ(shape.characters, alone[i].shape.characters) << "row " << i;
          ASSERT_EQ(shape.bound, alone[i].shape.bound) << "row " << i;
          std::vector<unsigned char> code_points(shape.characters * shape.width());
          batch.write(i, code_points.data());
          ASSERT_EQ(code_points, alone[i].code_points)
              << "row " << i << ", " << threads << " threads, shares of " << piece_units;
        }
      }
    }
  }
}

TEST(BatchConversion, EmptyAndMissingRows) {
  const Converter converter = build_converter(ConfigId::kS2T, {});
  BatchConversion none;
  EXPECT_EQ(none.convert(converter, nullptr, 0, 4, 1), ConversionOutcome::kConverted);
  const std::vector<BatchRow> rows = {{}, {"", 0, 1}, {}, {"abc", 3, 1}};
  BatchConversion batch;
  ASSERT_EQ(batch.convert(converter, rows.data(), rows.size(), 4, 1),
            ConversionOutcome::kConverted);
  EXPECT_EQ(batch.shape(1).characters, 0u);
  EXPECT_EQ(batch.shape(3).characters, 3u);
  char written[3] = {};
  batch.write(3, written);
  EXPECT_EQ(std::memcmp(written, "abc", 3), 0);
}

}  // namespace
}  // namespace lumo
