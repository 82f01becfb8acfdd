// The table of texts compiled into the module's read-only data.
//
// A generated source defines both tables, one element per stored file, each
// pointing at bytes placed in read-only data at build time. The texts are
// stored uncompressed and never change.
#ifndef LUMO_DICT_EMBEDDED_FILE_H_
#define LUMO_DICT_EMBEDDED_FILE_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace lumo {

struct EmbeddedFile {
  const char* name;   // dictionary name, or configuration name for configs
  const char* begin;  // first byte of the text
  const char* end;    // one past its last byte
};

extern const EmbeddedFile kEmbeddedDictionaries[];
extern const std::size_t kEmbeddedDictionaryCount;
extern const EmbeddedFile kEmbeddedConfigs[];
extern const std::size_t kEmbeddedConfigCount;

// The text of the file named exactly `name` in `files`, or nullopt.
inline std::optional<std::string_view> find_embedded_file(const EmbeddedFile* files,
                                                          std::size_t count,
                                                          std::string_view name) {
  for (std::size_t i = 0; i < count; ++i) {
    if (name == files[i].name) {
      return std::string_view(files[i].begin,
                              static_cast<std::size_t>(files[i].end - files[i].begin));
    }
  }
  return std::nullopt;
}

}  // namespace lumo

#endif  // LUMO_DICT_EMBEDDED_FILE_H_
