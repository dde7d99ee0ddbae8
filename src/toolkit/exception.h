#pragma once
// The toolkit's error type. Failures travel as exceptions up to a boundary where the system
// called our code (the window procedure, a timer callback), where ReportException hands them to
// the application's default error report.
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

// The message of the exception being handled, in words for the user: a tk::Exception's own,
// "Out of memory" for a failed allocation, never a bare type name. Call only inside a catch.
std::wstring CurrentExceptionMessage();

// The system's text for an error code (GetLastError's or an HRESULT), without the trailing
// period and line break, ready to stand after other text; empty when the system has none.
std::wstring SystemErrorText(unsigned long code);

}  // namespace tk
