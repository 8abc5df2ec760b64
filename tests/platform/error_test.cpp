#include "vlm/error.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

namespace vlm {
namespace {

// The error number f raises, or 0 when it returns normally.
template <class F>
int32_t ErrorNumberOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.Number();
  }
  return 0;
}

TEST(ErrorTest, NumbersBecomeStatusesAndStandardDescriptions) {
  EXPECT_EQ(StatusFromError(err::DivisionByZero), static_cast<Status>(0x800A000Bu));
  EXPECT_EQ(StatusFromError(err::ObjectRequired), static_cast<Status>(0x800A01A8u));
  // Only the low 16 bits of a number fit in a status.
  EXPECT_EQ(StatusFromError(0x12345), static_cast<Status>(0x800A2345u));
  EXPECT_TRUE(Failed(StatusFromError(err::Overflow)));
  EXPECT_FALSE(Failed(StatusOk));

  EXPECT_EQ(StandardDescription(err::SubscriptOutOfRange), "Subscript out of range");
  EXPECT_EQ(StandardDescription(err::PathFileAccess), "Path/File access error");
  EXPECT_EQ(StandardDescription(err::ObjectVariableNotSet),
            "Object variable or With block variable not set");
  EXPECT_EQ(StandardDescription(1000), "Application-defined or object-defined error");

  Error standard(err::DivisionByZero);
  EXPECT_STREQ(standard.what(), "Division by zero");
  Error own(1001, "Face 3 has fewer than three points");
  EXPECT_EQ(own.Number(), 1001);
  EXPECT_STREQ(own.what(), "Face 3 has fewer than three points");
}

TEST(ErrorTest, GuardTurnsEveryExceptionIntoAStatusAndRecordsIt) {
  ClearLastError();
  EXPECT_EQ(Guard([] {}), StatusOk);
  EXPECT_EQ(LastError().status, StatusOk);

  EXPECT_EQ(Guard([] { Raise(err::FileNotFound, "file not found: /x/a.igs"); }),
            StatusFromError(err::FileNotFound));
  EXPECT_EQ(LastError().number, err::FileNotFound);
  EXPECT_EQ(LastError().description, "file not found: /x/a.igs");

  // A later success leaves the record of the last failure in place.
  EXPECT_EQ(Guard([] {}), StatusOk);
  EXPECT_EQ(LastError().number, err::FileNotFound);

  EXPECT_EQ(Guard([] { throw std::bad_alloc(); }), StatusFromError(err::OutOfMemory));
  EXPECT_EQ(LastError().description, "Out of memory");

  EXPECT_EQ(Guard([] { throw std::runtime_error("lost the scene"); }), StatusFail);
  EXPECT_EQ(LastError().status, StatusFail);
  EXPECT_EQ(LastError().description, "lost the scene");

  EXPECT_EQ(Guard([] { throw 42; }), StatusFail);
  EXPECT_EQ(LastError().description, "Unknown failure");
}

TEST(ErrorTest, CheckedInt32RoundsHalfToEvenAndRaisesOverflow) {
  EXPECT_EQ(CheckedInt32(0.5), 0);
  EXPECT_EQ(CheckedInt32(1.5), 2);
  EXPECT_EQ(CheckedInt32(2.5), 2);
  EXPECT_EQ(CheckedInt32(2.5000001), 3);
  EXPECT_EQ(CheckedInt32(-0.5), 0);
  EXPECT_EQ(CheckedInt32(-1.5), -2);
  EXPECT_EQ(CheckedInt32(-2.5), -2);
  EXPECT_EQ(CheckedInt32(-2.4), -2);
  EXPECT_EQ(CheckedInt32(2147483647.4), 2147483647);
  EXPECT_EQ(CheckedInt32(-2147483648.5), -2147483647 - 1);  // rounds to the even end

  EXPECT_EQ(ErrorNumberOf([] { CheckedInt32(2147483647.5); }), err::Overflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedInt32(-2147483649.0); }), err::Overflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedInt32(1e300); }), err::Overflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedInt32(std::nan("")); }), err::Overflow);
}

TEST(ErrorTest, FloatArithmeticRaisesWhereTheRuntimeTrapped) {
  EXPECT_FLOAT_EQ(CheckedDivide(1.0f, 4.0f), 0.25f);
  EXPECT_EQ(ErrorNumberOf([] { CheckedDivide(1.0f, 0.0f); }), err::DivisionByZero);
  EXPECT_EQ(ErrorNumberOf([] { CheckedDivide(1.0f, -0.0f); }), err::DivisionByZero);
  EXPECT_EQ(ErrorNumberOf([] { CheckedDivide(0.0f, 0.0f); }), err::Overflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedDivide(FLT_MAX, 0.5f); }), err::Overflow);

  EXPECT_EQ(CheckedFloat(FLT_MAX), FLT_MAX);
  EXPECT_EQ(CheckedFloat(-FLT_MAX), -FLT_MAX);
  EXPECT_EQ(ErrorNumberOf([] { CheckedFloat(1e39); }), err::Overflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedFloat(-std::numeric_limits<double>::infinity()); }),
            err::Overflow);
  EXPECT_EQ(ErrorNumberOf([] { CheckedFloat(std::nan("")); }), err::Overflow);
}

}  // namespace
}  // namespace vlm
