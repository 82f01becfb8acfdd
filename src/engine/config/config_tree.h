// ConfigTree: the JSON tree of a configuration text, made and freed so that
// a memory shortage can only ever end in std::bad_alloc.
//
// The JSON library's own destructor gathers the members of a non-empty
// object or array into a new vector before freeing them; an allocation
// failing there, inside a destructor, ends the process. A ConfigTree takes
// its tree apart leaf first instead, so that each value the library frees
// is empty, and it builds the tree itself, so that a tree left half made by
// a failure is its own and is freed the same way. The nesting is bounded
// (kMaxDepth), which bounds the recursion of both.
#ifndef LUMO_ENGINE_CONFIG_CONFIG_TREE_H_
#define LUMO_ENGINE_CONFIG_CONFIG_TREE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace lumo {

class ConfigTree {
 public:
  // Deeper nesting is refused; configurations use five levels.
  static constexpr std::size_t kMaxDepth = 64;

  ConfigTree() = default;
  ConfigTree(const ConfigTree&) = delete;
  ConfigTree& operator=(const ConfigTree&) = delete;
  ~ConfigTree();

  // Parses `text`, one JSON value with white space around it, into root();
  // returns the parser's message when it is not, or when it nests deeper
  // than kMaxDepth. Throws std::bad_alloc when memory runs short. Called
  // once.
  std::optional<std::string> parse(std::string_view text);

  const nlohmann::json& root() const { return root_; }

 private:
  nlohmann::json root_;
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_CONFIG_TREE_H_
