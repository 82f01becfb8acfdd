// The build step that writes the five generated dictionary texts.
//
//   lumo_generate_derived SOURCE_DICTIONARY_DIR CONFIG_DIR OUTPUT_DIR
//
// It serves the catalogue from the source files (and from the texts it has
// generated so far), so the Traditional-to-Simplified conversion it needs is
// the very engine code the module runs. It reads the source dictionaries
// CMakeLists.txt lists, and fails unless it writes exactly the generated
// ones it lists.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "dict/catalogue.h"
#include "engine/config/builtin_configs.h"
#include "engine/config/config_loader.h"
#include "generated/builtin_names.h"
#include "tools/derived_texts.h"

namespace lumo {
namespace {

std::map<std::string, std::string, std::less<>> g_dictionaries;
std::map<std::string, std::string, std::less<>> g_configs;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::optional<std::string_view> embedded_dictionary_text(std::string_view name) {
  const auto found = g_dictionaries.find(name);
  if (found == g_dictionaries.end()) return std::nullopt;
  return std::string_view(found->second);
}

std::optional<std::string_view> embedded_config_text(ConfigId id) {
  const auto found = g_configs.find(config_name(id));
  if (found == g_configs.end()) return std::nullopt;
  return std::string_view(found->second);
}

}  // namespace lumo

int main(int argc, char** argv) {
  using namespace lumo;
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " SOURCE_DICTIONARY_DIR CONFIG_DIR OUTPUT_DIR\n";
    return 2;
  }
  const std::string sources = argv[1];
  const std::string configs = argv[2];
  const std::string output = argv[3];
  try {
    for (const std::string_view name : kSourceDictionaryNames) {
      g_dictionaries[std::string(name)] = read_file(sources + "/" + std::string(name) + ".txt");
    }
    for (const std::string_view name : kConfigNames) {
      g_configs[std::string(name)] = read_file(configs + "/" + std::string(name) + ".json");
    }

    std::set<std::string_view> to_generate(kGeneratedDictionaryNames.begin(),
                                           kGeneratedDictionaryNames.end());
    const auto generate = [&](const std::string& name, std::string text) {
      if (to_generate.erase(name) == 0) {
        throw std::runtime_error(name + " is generated but not in LUMO_GENERATED_DICTIONARIES");
      }
      write_file(output + "/" + name + ".txt", text);
      g_dictionaries[name] = std::move(text);
    };
    generate("TSCharactersExt", tofu_extension(g_dictionaries["TSCharacters"]));
    generate("TWVariantsRev", reverse_dictionary(g_dictionaries["TWVariants"], "TWVariants.txt"));
    generate("HKVariantsRev", reverse_dictionary(g_dictionaries["HKVariants"], "HKVariants.txt"));
    generate("JPShinjitaiCharactersRev", reverse_dictionary(g_dictionaries["JPShinjitaiCharacters"],
                                                            "JPShinjitaiCharacters.txt"));
    // t2s reads only TSPhrases, TSCharactersExt and TSCharacters, all present by this point.
    const Converter t2s = build_converter(ConfigId::kT2S, {});
    generate("STPhrases_GeneratedFromRegionalPhrases",
             regional_st_phrases(g_dictionaries["TWPhrases"], g_dictionaries["HKPhrases"], t2s));
    if (!to_generate.empty()) {
      throw std::runtime_error(std::string(*to_generate.begin()) +
                               " is in LUMO_GENERATED_DICTIONARIES but nothing generates it");
    }
  } catch (const std::exception& error) {
    std::cerr << argv[0] << ": " << error.what() << "\n";
    return 1;
  }
  return 0;
}
