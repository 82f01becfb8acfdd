#include "engine/config/config_tree.h"

#include <utility>
#include <vector>

#include "dict/messages.h"

namespace lumo {
namespace {

using json = nlohmann::json;

// Builds the tree as the parser reports it, into a root its caller owns.
class TreeBuilder final : public nlohmann::json_sax<json> {
 public:
  explicit TreeBuilder(json& root) : root_(root) { open_.reserve(ConfigTree::kMaxDepth); }

  bool null() override { return add(nullptr); }
  bool boolean(bool value) override { return add(value); }
  bool number_integer(number_integer_t value) override { return add(value); }
  bool number_unsigned(number_unsigned_t value) override { return add(value); }
  bool number_float(number_float_t value, const string_t&) override { return add(value); }
  bool string(string_t& value) override { return add(std::move(value)); }
  bool binary(binary_t&) override { return false; }  // not in JSON text
  bool start_object(std::size_t) override { return open(json::value_t::object); }
  bool key(string_t& key) override {
    member_ = &(*open_.back())[std::move(key)];
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(json::value_t::array); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    message_ = error.what();
    return false;
  }

  const std::string& message() const { return message_; }

 private:
  // Places `value` where the text puts it; returns where it went.
  json* place(json&& value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    json& container = *open_.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    *member_ = std::move(value);
    return member_;
  }
  bool add(json&& value) {
    place(std::move(value));
    return true;
  }
  bool open(json::value_t type) {
    if (open_.size() == ConfigTree::kMaxDepth) {
      message_ = messages::nested_too_deeply(ConfigTree::kMaxDepth);
      return false;
    }
    open_.push_back(place(json(type)));  // within the room reserved
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  json& root_;
  std::vector<json*> open_;  // the objects and arrays not yet closed, outermost first
  json* member_ = nullptr;   // the member the last key named
  std::string message_;
};

// Empties every object and array below `value`, deepest first, so that the
// library frees each of them empty.
void take_apart(json& value) {
  if (value.is_object()) {
    auto& members = value.get_ref<json::object_t&>();
    for (auto& member : members) take_apart(member.second);
    members.clear();
  } else if (value.is_array()) {
    auto& elements = value.get_ref<json::array_t&>();
    for (json& element : elements) take_apart(element);
    elements.clear();
  }
}

}  // namespace

ConfigTree::~ConfigTree() { take_apart(root_); }

std::optional<std::string> ConfigTree::parse(std::string_view text) {
  TreeBuilder builder(root_);
  if (json::sax_parse(text, &builder)) return std::nullopt;
  return builder.message();
}

}  // namespace lumo
