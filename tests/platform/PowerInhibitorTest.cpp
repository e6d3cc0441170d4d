#include <gtest/gtest.h>

#include "platform/PowerInhibitor.h"

using kelvara::PowerInhibitor;

// With or without a bus (a container has none), taking the lock reports what it holds, taking it
// twice keeps one lock, and ending it lets it go; nothing is left open either way.
TEST(PowerInhibitor, ReportsWhatItHoldsWithOrWithoutABus) {
    PowerInhibitor inhibitor;
    const bool held = inhibitor.begin("testing");
    EXPECT_EQ(inhibitor.held(), held);
    EXPECT_EQ(inhibitor.begin("again"), held);
    inhibitor.end();
    EXPECT_FALSE(inhibitor.held());
    inhibitor.end();
    EXPECT_FALSE(inhibitor.held());
}
