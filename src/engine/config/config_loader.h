// Configuration names and converter construction.
//
// A configuration text is JSON: an object whose optional "segmentation"
// holds a "dict" description and whose "conversion_chain" is an array of
// stages, each holding a "dict" description. Every build parses the text
// and builds every lexicon afresh; nothing is cached.
#ifndef LUMO_ENGINE_CONFIG_CONFIG_LOADER_H_
#define LUMO_ENGINE_CONFIG_CONFIG_LOADER_H_

#include <cstddef>
#include <string_view>

#include "dict/lexicon_builder.h"
#include "dict/result.h"
#include "engine/config/builtin_configs.h"
#include "engine/core/converter.h"

namespace lumo {

// Custom (key, value) pairs placed at the head of every group of a
// converter; empty for none.
using CustomPairs = KeyValuePairs;

// The id of the built-in configuration named exactly `name`, or the
// "unknown config '...'. Valid: ..." message.
Result<ConfigId> resolve_config_name(std::string_view name);

// A converter for one configuration text, or the first failing check's
// message (JSON syntax, root shape, segmentation, then stage by stage).
// Large dictionaries are built on two threads when `threads` allows; the
// converter is the same either way.
Result<Converter> load_config(std::string_view text, const CustomPairs& pairs,
                              std::size_t threads = 1);

// A converter for a built-in configuration. Cannot fail with the built-in
// texts; a failure throws InternalError.
Converter build_converter(ConfigId id, const CustomPairs& pairs, std::size_t threads = 1);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_CONFIG_LOADER_H_
