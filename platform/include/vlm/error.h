// Errors raised by host calls, by the runtime and by the plug-ins themselves.
//
// Every failure inside the system is a vlm::Error: an error number (the classic runtime
// numbers below, or a plug-in's own) and a description. Members that the host calls on a
// plug-in never let one escape: they turn it into a status (see Status and StatusFromError)
// and leave the description where the host can read it (LastError).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vlm {

// The classic runtime error numbers.
namespace err {
inline constexpr int32_t InvalidProcedureCall = 5;
inline constexpr int32_t Overflow = 6;
inline constexpr int32_t OutOfMemory = 7;
inline constexpr int32_t SubscriptOutOfRange = 9;
inline constexpr int32_t DivisionByZero = 11;
inline constexpr int32_t TypeMismatch = 13;
inline constexpr int32_t CannotLoadLibrary = 48;
inline constexpr int32_t BadFileName = 52;
inline constexpr int32_t FileNotFound = 53;
inline constexpr int32_t PathFileAccess = 75;
inline constexpr int32_t ObjectVariableNotSet = 91;
inline constexpr int32_t ObjectRequired = 424;
inline constexpr int32_t CannotCreateObject = 429;
inline constexpr int32_t DuplicateKey = 457;  // a collection already holds the key
}  // namespace err

// The standard description of a classic error number ("Division by zero"), or
// "Application-defined or object-defined error" for any other number.
std::string StandardDescription(int32_t number);

class Error : public std::runtime_error {
 public:
  // An error with the standard description of its number.
  explicit Error(int32_t number);
  Error(int32_t number, std::string description);
  ~Error() override;  // defined in the library, so that every module shares one type

  int32_t Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// A status returned by every member the host calls: 0 is success; an error with number n
// becomes 0x800A0000 | n; a failure that is not a vlm::Error becomes StatusFail.
using Status = int32_t;
inline constexpr Status StatusOk = 0;
inline constexpr Status StatusFail = static_cast<Status>(0x80004005u);
inline constexpr Status StatusClassNotAvailable = static_cast<Status>(0x80040111u);
inline constexpr Status StatusNoInterface = static_cast<Status>(0x80004002u);

Status StatusFromError(int32_t number) noexcept;
inline bool Failed(Status s) noexcept {
  return s < 0;
}

// The error behind the last failed status, kept in the run context installed until the next
// failure (the host prints it).
struct ErrorRecord {
  Status status = StatusOk;
  int32_t number = 0;
  std::string description;
};
void SetLastError(const ErrorRecord& record);
ErrorRecord LastError();
void ClearLastError();

// Runs f and turns whatever it throws into a status, recording the error (the exception
// firewall of every entry point).
template <class F>
Status Guard(F&& f) noexcept;

// Helpers that raise the classic runtime errors where the original runtime trapped.
[[noreturn]] void Raise(int32_t number);
[[noreturn]] void Raise(int32_t number, std::string description);
// Error 11 on a zero denominator (error 6 for 0 / 0, as the runtime had it).
float CheckedDivide(float numerator, float denominator);
float CheckedFloat(double value);    // error 6 when out of float range
int32_t CheckedInt32(double value);  // rounds half to even; error 6

namespace detail {
Status RecordCurrentException() noexcept;
}

template <class F>
Status Guard(F&& f) noexcept {
  try {
    f();
    return StatusOk;
  } catch (...) {
    return detail::RecordCurrentException();
  }
}

}  // namespace vlm
