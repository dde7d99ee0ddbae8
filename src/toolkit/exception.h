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

// The system's text for an error code (GetLastError's or an HRESULT), without the trailing
// period and line break, ready to stand after other text; empty when the system has none.
std::wstring SystemErrorText(unsigned long code);

}  // namespace tk
