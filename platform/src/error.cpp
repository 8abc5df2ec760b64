#include "vlm/error.h"

#include <cfloat>
#include <cmath>
#include <exception>
#include <new>
#include <utility>

#include "vlm/run_context.h"

namespace vlm {

std::string StandardDescription(int32_t number) {
  switch (number) {
    case err::InvalidProcedureCall:
      return "Invalid procedure call or argument";
    case err::Overflow:
      return "Overflow";
    case err::OutOfMemory:
      return "Out of memory";
    case err::SubscriptOutOfRange:
      return "Subscript out of range";
    case err::DivisionByZero:
      return "Division by zero";
    case err::TypeMismatch:
      return "Type mismatch";
    case err::BadFileName:
      return "Bad file name or number";
    case err::FileNotFound:
      return "File not found";
    case err::PathFileAccess:
      return "Path/File access error";
    case err::ObjectVariableNotSet:
      return "Object variable or With block variable not set";
    case err::ObjectRequired:
      return "Object required";
    default:
      return "Application-defined or object-defined error";
  }
}

Error::Error(int32_t number) : Error(number, StandardDescription(number)) {}

Error::Error(int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

Error::~Error() = default;

Status StatusFromError(int32_t number) noexcept {
  return static_cast<Status>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}

// The record of the run context installed.
void SetLastError(const ErrorRecord& record) {
  RunContext::Current().LastError() = record;
}
ErrorRecord LastError() {
  return RunContext::Current().LastError();
}
void ClearLastError() {
  RunContext::Current().LastError() = ErrorRecord{};
}

void Raise(int32_t number) {
  throw Error(number);
}
void Raise(int32_t number, std::string description) {
  throw Error(number, std::move(description));
}

float CheckedDivide(float numerator, float denominator) {
  // The runtime called 0 / 0 an overflow and any other division by zero a division by zero.
  if (denominator == 0.0f) Raise(numerator == 0.0f ? err::Overflow : err::DivisionByZero);
  return CheckedFloat(static_cast<double>(numerator) / static_cast<double>(denominator));
}

float CheckedFloat(double value) {
  // A NaN only appears when an earlier step already overflowed (inf - inf, 0 * inf).
  if (std::isnan(value) || std::fabs(value) > FLT_MAX) Raise(err::Overflow);
  return static_cast<float>(value);
}

int32_t CheckedInt32(double value) {
  if (std::isnan(value)) Raise(err::Overflow);
  // Round half to even explicitly rather than through the floating-point rounding mode,
  // which someone else may have changed.
  double whole = std::floor(value);
  double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < -2147483648.0 || whole > 2147483647.0) Raise(err::Overflow);
  return static_cast<int32_t>(whole);
}

namespace detail {

Status RecordCurrentException() noexcept {
  ErrorRecord record;
  record.status = StatusFail;
  try {
    std::exception_ptr current = std::current_exception();
    if (!current) {
      record.description = "Unknown failure";
    } else {
      try {
        std::rethrow_exception(current);
      } catch (const Error& e) {
        record.status = StatusFromError(e.Number());
        record.number = e.Number();
        record.description = e.Description();
      } catch (const std::bad_alloc&) {
        record.status = StatusFromError(err::OutOfMemory);
        record.number = err::OutOfMemory;
        record.description = StandardDescription(err::OutOfMemory);
      } catch (const std::exception& e) {
        record.description = e.what();
      } catch (...) {
        record.description = "Unknown failure";
      }
    }
  } catch (...) {
    // Copying the description failed for want of memory: the status is still right.
  }
  ErrorRecord& last = RunContext::Current().LastError();
  last.status = record.status;
  last.number = record.number;
  last.description.swap(record.description);  // no allocation, cannot throw
  return record.status;
}

}  // namespace detail

}  // namespace vlm
