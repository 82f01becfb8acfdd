// A buffer short of memory takes every kind of write within its bounds and
// says it failed; conversion into it reports the failure.
#include "engine/core/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dict/text_units.h"
#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"

namespace lumo {
namespace {

template <typename Unit>
void append_code_point(BasicTextBuffer<Unit>& buffer, char32_t code_point) {
  buffer.keep_until(encode_char(code_point, buffer.room_for(4)));
}

template <typename Unit>
void write_everything(BasicTextBuffer<Unit>& buffer) {
  const std::vector<Unit> long_run(5000, Unit{'a'});
  // Values are followed by readable bytes, as a lexicon's are.
  const std::string long_value = std::string(3000, 'b') + std::string(16, '\0');
  const std::string short_value = "\xE6\xB1\x89" + std::string(16, '\0');
  for (int round = 0; round < 3; ++round) {
    buffer.append(long_run.data(), long_run.size());
    buffer.append_value(std::string_view(long_value).substr(0, 3000));
    buffer.append_value(std::string_view(short_value).substr(0, 3));
    buffer.append_char(long_run.data(), 1);
    append_code_point(buffer, U'𠀀');
    Unit* room = buffer.room_for(BasicTextBuffer<Unit>::kMaxRoom);
    for (std::size_t i = 0; i < BasicTextBuffer<Unit>::kMaxRoom; ++i) room[i] = Unit{'c'};
    buffer.keep_until(room + BasicTextBuffer<Unit>::kMaxRoom);
    buffer.truncate(buffer.size() + 100000);
    EXPECT_LE(buffer.size(), BasicTextBuffer<Unit>::kMaxRoom);
  }
}

template <typename Unit>
void check_failed_buffer() {
  BasicTextBuffer<Unit> buffer;
  append_code_point(buffer, U'中');
  EXPECT_FALSE(buffer.reserve(SIZE_MAX / 2));  // past what an allocation may ask
  EXPECT_TRUE(buffer.failed());
  write_everything(buffer);
  EXPECT_FALSE(buffer.reserve(1));
  EXPECT_TRUE(buffer.failed());

  BasicTextBuffer<Unit> never_allocated;
  never_allocated.fail();
  write_everything(never_allocated);
}

TEST(TextBuffer, AFailedBufferTakesWritesWithinItsBounds) {
  check_failed_buffer<char>();
  check_failed_buffer<std::uint16_t>();
  check_failed_buffer<std::uint32_t>();
}

TEST(TextBuffer, ConversionIntoAFailedBufferReportsIt) {
  for (const ConfigId id : {ConfigId::kS2T, ConfigId::kS2TWP, ConfigId::kT2JP}) {
    const Converter converter = build_converter(id, {});
    const std::u16string text = u"我们的U盘坏了，汉字和语言。";
    BasicTextBuffer<std::uint16_t> output;
    output.fail();
    EXPECT_FALSE(convert_units_to(converter, reinterpret_cast<const std::uint16_t*>(text.data()),
                                  text.size(), output));
    TextBuffer narrow;
    EXPECT_TRUE(convert_text_to(converter, "汉字", narrow));
    EXPECT_FALSE(narrow.failed());
  }
}

}  // namespace
}  // namespace lumo
