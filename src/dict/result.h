// Result<T>: a value or an error message a caller can cause.
//
// The engine reports every failure a caller can provoke (a bad name, a bad
// configuration) as a message string, never as an exception; the Python
// layer turns messages into ValueError.
#ifndef LUMO_DICT_RESULT_H_
#define LUMO_DICT_RESULT_H_

#include <string>
#include <utility>
#include <variant>

namespace lumo {

struct Error {
  std::string message;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Needs ok().
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  // Needs !ok().
  const std::string& error() const { return std::get<1>(state_).message; }

 private:
  std::variant<T, Error> state_;
};

}  // namespace lumo

#endif  // LUMO_DICT_RESULT_H_
