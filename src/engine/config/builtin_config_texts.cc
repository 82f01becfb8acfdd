// The stored configuration texts, looked up by canonical name.
#include "dict/embedded_file.h"
#include "engine/config/builtin_configs.h"

namespace lumo {

std::optional<std::string_view> embedded_config_text(ConfigId id) {
  return find_embedded_file(kEmbeddedConfigs, kEmbeddedConfigCount, config_name(id));
}

}  // namespace lumo
