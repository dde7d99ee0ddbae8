#pragma once
// The toolkit's error type. Failures travel as exceptions up to the window procedure
// boundary, where the application's default error report shows their message.
#include <exception>
#include <string>

namespace tk {

class Exception : public std::exception {
 public:
  explicit Exception(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return "tk::Exception"; }

 private:
  std::wstring message_;
};

}  // namespace tk
