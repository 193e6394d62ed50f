#pragma once
// The library's exception classes. Every exception carries the numeric code
// of its message (0 for the run-time errors that have no library code).

#include <stdexcept>
#include <string>

namespace vsk {

class EVskError : public std::runtime_error {
 public:
  EVskError(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
  explicit EVskError(int code);  // the message is the code's text
  int Code;
};

#define VSK_ERROR_CLASS(Name, Base)                          \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
  };

// The library's own class, raised by most call sites.
VSK_ERROR_CLASS(E_RAISE, EVskError)
VSK_ERROR_CLASS(EStreamError, EVskError)
VSK_ERROR_CLASS(EFOpenError, EStreamError)
VSK_ERROR_CLASS(EFCreateError, EStreamError)
VSK_ERROR_CLASS(EReadError, EStreamError)
VSK_ERROR_CLASS(EWriteError, EStreamError)
VSK_ERROR_CLASS(ERangeError, EVskError)
VSK_ERROR_CLASS(EOSError, EVskError)
VSK_ERROR_CLASS(EOutOfMemory, EVskError)

#undef VSK_ERROR_CLASS

// Texts of the run-time errors that have no library code.
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kRangeCheckError = "Range check error";

// An operating-system error as the run-time library reports it.
[[noreturn]] void RaiseLastOSError(int err);

}  // namespace vsk
