// InternalError: a broken invariant that the built-in data cannot trigger.
//
// Unlike the error messages a caller can cause (returned as values), an
// internal error aborts the whole call: it is thrown, and the module turns
// it into its internal-failure exception. Messages begin with "lumo: ".
#ifndef LUMO_ENGINE_CONFIG_INTERNAL_ERROR_H_
#define LUMO_ENGINE_CONFIG_INTERNAL_ERROR_H_

#include <stdexcept>
#include <string>

namespace lumo {

class InternalError : public std::runtime_error {
 public:
  // `where` names the source file that detected the failure.
  InternalError(const std::string& message, const char* where)
      : std::runtime_error(message), where_(where) {}

  const char* where() const noexcept { return where_; }

 private:
  const char* where_;
};

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_INTERNAL_ERROR_H_
