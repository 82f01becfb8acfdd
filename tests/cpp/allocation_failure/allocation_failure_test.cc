// Every allocation that building s2twp with custom words, loading a
// configuration text, a conversion on threads and a detection make, failed
// one at a time, and then every allocation from each on. Each attempt must
// end in std::bad_alloc or the engine's out-of-memory outcome, or complete
// with the right result; never crash, end the process, or leak
// (LeakSanitizer checks at exit). The first detection of a process is
// swept in a child process per allocation, which takes minutes:
// LUMO_FAILURE_STRIDE=k fails only every k-th allocation there (1, 1 + k,
// ...), for quick runs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "detect/detect.h"
#include "dict/text_units.h"
#include "engine/config/config_loader.h"
#include "engine/core/conversion.h"
#include "engine/whole/whole_conversion.h"
#include "failing_allocations.h"

namespace lumo {
namespace {

using testing::FailingAllocation;

// How an attempt ended.
enum class Ending {
  kCompleted,  // with the right result
  kRefused,    // std::bad_alloc, or the engine's out-of-memory outcome
};

std::size_t failure_stride() {
  const char* const value = std::getenv("LUMO_FAILURE_STRIDE");
  const long stride = value == nullptr ? 1 : std::atol(value);
  return stride < 1 ? 1 : static_cast<std::size_t>(stride);
}

// Runs attempt(failing) with the n-th allocation failing, for n = 1, 2,
// ... until an attempt completes without reaching its n; then again with
// every allocation from the n-th on failing. `attempt` stops `failing` as
// soon as the operation under test returns.
template <typename Attempt>
void sweep(const char* what, Attempt attempt) {
  for (const bool from_then_on : {false, true}) {
    for (std::size_t n = 1;; ++n) {
      SCOPED_TRACE(std::string(what) + ", allocation " + std::to_string(n) +
                   (from_then_on ? " and all after it" : "") + " failing");
      FailingAllocation failing(n, from_then_on);
      const Ending ending = attempt(failing);
      failing.stop();
      EXPECT_EQ(failing.throwing_elsewhere(), 0u) << "a thread other than the caller's may throw";
      if (!failing.failed()) {
        EXPECT_EQ(ending, Ending::kCompleted);
        if (!from_then_on) std::printf("%s: %zu allocations\n", what, failing.counted());
        break;
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
}

const CustomPairs& custom_pairs() {
  static const CustomPairs pairs = {{"鼠标", "滑鼠"},
                                    {"汉字", "漢字!"},
                                    {"坏了", "故障了"},
                                    {"的U盘", "V"},
                                    {"长长长长长长长长", ""}};
  return pairs;
}

std::string sample_text(std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    text += "我的U盘坏了，鼠标和汉字都在这里。头发很长，干燥的天气里面条卷了";
    text += std::to_string(i);
    text += "。\n";
  }
  return text;
}

template <typename Unit>
std::vector<Unit> encoded(std::string_view utf8) {
  std::vector<Unit> units;
  for (std::size_t pos = 0, length = 0; pos < utf8.size(); pos += length) {
    append_encoded(utf8_decode(utf8.data() + pos, &length), units);
  }
  return units;
}

// A whole conversion's storage, from malloc as the interpreter's would be.
struct Storage {
  Storage() = default;
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;
  ~Storage() { std::free(data); }
  std::string bytes() const { return data == nullptr ? "" : std::string(data, size); }

  char* data = nullptr;
  std::size_t size = 0;
};

template <typename Unit>
ConversionOutcome convert_into(const Converter& converter, const std::vector<Unit>& text,
                               const ConversionOptions& options, Storage& storage) {
  return convert_whole(converter, text.data(), text.size(), options,
                       [&storage](const ResultShape& shape) -> void* {
                         storage.size = shape.characters * shape.width();
                         storage.data = static_cast<char*>(std::malloc(storage.size + 1));
                         return storage.data;
                       });
}

TEST(AllocationFailure, BuildingS2twpWithCustomWords) {
  const std::string sample = sample_text(2);
  const std::string expected =
      convert_text(build_converter(ConfigId::kS2TWP, custom_pairs()), sample);
  ASSERT_NE(expected, sample);
  sweep("s2twp with custom words, built on two threads", [&](FailingAllocation& failing) {
    try {
      const Converter converter = build_converter(ConfigId::kS2TWP, custom_pairs(), 2);
      failing.stop();
      EXPECT_EQ(convert_text(converter, sample), expected);
      return Ending::kCompleted;
    } catch (const std::bad_alloc&) {
      return Ending::kRefused;
    }
  });
}

// A configuration text of the user's: its tree is made and freed on every
// path, the failing ones included, without needing memory to free it.
TEST(AllocationFailure, LoadingAConfigText) {
  const char* const texts[] = {
      R"({"segmentation": {"dict": {"type": "text", "file": "STPhrases.txt"}},
          "conversion_chain": [{"dict": {"type": "group", "dicts": [
            {"type": "inline", "entries": {"汉字": "漢字", "头发": "頭髮"}},
            {"type": "text", "file": "STCharacters.txt"}]}}]})",
      R"({"conversion_chain": [{"dict": {"type": "inline", "entries": [1, 2, {"a": []}]}}]})",
      R"({"conversion_chain": [{"dict": {"type": "text", "file": "STCharacters.txt"}}], x})",
  };
  for (const char* const text : texts) {
    const Result<Converter> reference = load_config(text, custom_pairs());
    sweep("a configuration text", [&](FailingAllocation& failing) {
      try {
        const Result<Converter> loaded = load_config(text, custom_pairs());
        failing.stop();
        EXPECT_EQ(loaded.ok(), reference.ok());
        if (loaded.ok() && reference.ok()) {
          EXPECT_EQ(convert_text(loaded.value(), "汉字头发"),
                    convert_text(reference.value(), "汉字头发"));
        } else if (!loaded.ok() && !reference.ok()) {
          EXPECT_EQ(loaded.error(), reference.error());
        }
        return Ending::kCompleted;
      } catch (const std::bad_alloc&) {
        return Ending::kRefused;
      }
    });
  }
}

template <typename Unit>
void sweep_threaded_conversion(const char* what) {
  const Converter converter = build_converter(ConfigId::kS2TWP, custom_pairs());
  const std::vector<Unit> text = encoded<Unit>(sample_text(160));
  const ConversionOptions options{4, true, 1024};
  ASSERT_GE(text.size(), 4 * options.piece_units);
  Storage reference;
  ASSERT_EQ(convert_into(converter, text, {1, false}, reference), ConversionOutcome::kConverted);
  sweep(what, [&](FailingAllocation& failing) {
    Storage storage;
    try {
      const ConversionOutcome outcome = convert_into(converter, text, options, storage);
      failing.stop();
      if (outcome != ConversionOutcome::kConverted) return Ending::kRefused;
      EXPECT_EQ(storage.bytes(), reference.bytes());
      return Ending::kCompleted;
    } catch (const std::bad_alloc&) {
      return Ending::kRefused;
    }
  });
}

TEST(AllocationFailure, ConversionOnFourThreads) {
  sweep_threaded_conversion<std::uint16_t>("UTF-16 conversion on four threads");
  sweep_threaded_conversion<char>("UTF-8 conversion on four threads");
}

// Detection text: Taiwan phrases among Simplified and Traditional text, so
// that the phrase search runs too.
std::vector<std::uint16_t> detection_text() {
  const std::string simplified = sample_text(20);
  return encoded<std::uint16_t>(simplified +
                                convert_text(build_converter(ConfigId::kS2TWP, {}), simplified));
}

Ending attempt_detection(const std::vector<std::uint16_t>& text,
                         const std::optional<Detection>& expected, FailingAllocation& failing) {
  try {
    const std::optional<Detection> found = detect(text.data(), text.size());
    failing.stop();
    EXPECT_EQ(found.has_value(), expected.has_value());
    if (found && expected) {
      EXPECT_EQ(found->region, expected->region);
      EXPECT_EQ(found->confidence, expected->confidence);
    }
    return Ending::kCompleted;
  } catch (const std::bad_alloc&) {
    return Ending::kRefused;
  }
}

// What the first detection of a process ends in, in a child of its own, with
// the n-th allocation failing (0 for none). Exit codes: kUnreached when it
// completed right without reaching its n; kReached when it reached it and
// yet completed right, or ended in std::bad_alloc after which a second
// detection is right; kWrong otherwise. Sanitizers exit with codes of their
// own, LeakSanitizer's after checking the child for leaks as it exits.
constexpr int kUnreached = 100;
constexpr int kReached = 101;
constexpr int kWrong = 102;

int first_detection_in_child(const std::vector<std::uint16_t>& text,
                             const std::optional<Detection>& expected, std::size_t n) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child != 0) {
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  const auto same = [&](const std::optional<Detection>& found) {
    return found.has_value() == expected.has_value() &&
           (!found ||
            (found->region == expected->region && found->confidence == expected->confidence));
  };
  FailingAllocation failing(n == 0 ? SIZE_MAX : n);
  int code = kWrong;
  try {
    const std::optional<Detection> found = detect(text.data(), text.size());
    failing.stop();
    code = !same(found) ? kWrong : failing.failed() ? kReached : kUnreached;
  } catch (const std::bad_alloc&) {
    failing.stop();
    code = same(detect(text.data(), text.size())) ? kReached : kWrong;
  }
  if (failing.throwing_elsewhere() != 0) code = kWrong;
  std::exit(code);
}

// The first detection of a process also builds the detection tables. The
// expected result comes from a child too, so that this process never
// builds them.
TEST(AllocationFailure, FirstDetectionInAFreshProcess) {
  const std::vector<std::uint16_t> text = detection_text();
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  std::fflush(nullptr);
  const pid_t reference = fork();
  ASSERT_GE(reference, 0);
  struct {
    Detection detection;
    std::size_t allocations;
  } reported{};
  if (reference == 0) {
    FailingAllocation counting(SIZE_MAX);
    const std::optional<Detection> found = detect(text.data(), text.size());
    counting.stop();
    if (found) reported = {*found, counting.counted()};
    std::_Exit(found && write(pipe_ends[1], &reported, sizeof reported) == sizeof reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(reference, &status, 0), reference);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(read(pipe_ends[0], &reported, sizeof reported), sizeof reported);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  if (reported.allocations < 100) {
    GTEST_SKIP() << "the detection tables were built before this test; run it first";
  }
  const std::optional<Detection> expected = reported.detection;

  const std::size_t stride = failure_stride();
  for (std::size_t n = 1;; n += stride) {
    const int code = first_detection_in_child(text, expected, n);
    if (code == kUnreached) {
      std::printf("first detection in a fresh process: %zu allocations, %zu attempts\n",
                  reported.allocations, (n + stride - 1) / stride);
      break;
    }
    ASSERT_EQ(code, kReached) << "allocation " << n << " failing";
  }
}

// After the test above, which must find the tables not yet built.
TEST(AllocationFailure, Detection) {
  const std::vector<std::uint16_t> text = detection_text();
  const std::optional<Detection> expected = detect(text.data(), text.size());
  ASSERT_TRUE(expected.has_value());
  sweep("detection",
        [&](FailingAllocation& failing) { return attempt_detection(text, expected, failing); });
}

}  // namespace
}  // namespace lumo
