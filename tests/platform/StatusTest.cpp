#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Status.h"

using kelvara::errorStatus;
using kelvara::okStatus;
using kelvara::Result;
using kelvara::Status;

namespace {

// Every way of making a status, and what ok() and message() say of it.
TEST(Status, OkOnlyWhenMadeWithoutAMessage) {
    const struct {
        const char* name;
        Status status;
        bool ok;
        const char* message;
    } kCases[] = {
        {"default", Status(), true, ""},
        {"okStatus", okStatus(), true, ""},
        {"error", errorStatus("Cannot write /x: No space left on device"), false,
         "Cannot write /x: No space left on device"},
        {"empty error", errorStatus(""), false, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.status.ok(), c.ok);
        EXPECT_EQ(c.status.message(), c.message);
    }
}

// update() keeps the first failure, so a chain of steps reports the one that went wrong first.
TEST(Status, UpdateKeepsTheFirstFailure) {
    Status overall;
    overall.update(okStatus());
    EXPECT_TRUE(overall.ok());
    overall.update(errorStatus("first"));
    overall.update(errorStatus("second"));
    overall.update(okStatus());
    EXPECT_FALSE(overall.ok());
    EXPECT_EQ(overall.message(), "first");
}

Result<int> half(int n) {
    if (n % 2 != 0) return errorStatus("odd: " + std::to_string(n));
    return n / 2;
}

// A result holds a value or the failure, never both; the failure's message passes through.
TEST(Result, HoldsAValueOrTheFailure) {
    const auto good = half(8);
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(*good, 4);
    EXPECT_EQ(good.value(), 4);
    EXPECT_TRUE(good.status().ok());
    EXPECT_EQ(good.message(), "");

    const auto bad = half(3);
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(bad.message(), "odd: 3");
    EXPECT_FALSE(bad.status().ok());
}

// A failure made from an ok status still fails, rather than claiming a value it lacks.
TEST(Result, OkStatusWithoutValueIsStillAFailure) {
#ifdef NDEBUG
    const Result<int> r(okStatus());
    EXPECT_FALSE(r.ok());
#else
    GTEST_SKIP() << "asserts in debug builds";
#endif
}

// Move-only values can be taken out, and -> reaches their members.
TEST(Result, MovesMoveOnlyValuesOut) {
    Result<std::unique_ptr<std::string>> r(std::make_unique<std::string>("kept"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ((*r)->size(), 4u);
    std::unique_ptr<std::string> taken = std::move(r).value();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, "kept");

    Result<std::string> text(std::string("abc"));
    EXPECT_EQ(text->size(), 3u);
    const std::string moved = *std::move(text);
    EXPECT_EQ(moved, "abc");
}

}  // namespace
