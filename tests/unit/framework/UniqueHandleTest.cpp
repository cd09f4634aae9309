// The one handle owner: every handle it takes is closed exactly once, on
// whichever way out (destruction, Reset, Close, a move over it), a handle
// moved away is closed by its new owner only, and Close says whether the
// closer worked.
#include "framework/UniqueHandle.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Handles are ints, 0 holds nothing; the closer notes what it closed and
// fails for negative handles.
struct CountingTraits {
    using Handle = int;
    static Handle Invalid() { return 0; }
    static bool IsValid(Handle h) { return h != 0; }
    bool Close(Handle h) const
    {
        closed->push_back(h);
        return h > 0;
    }

    std::vector<int>* closed;
};
using Owner = CUniqueHandle<CountingTraits>;

} // namespace

TEST(UniqueHandle, EachHandleIsClosedOnceWhicheverWayItGoes)
{
    struct Case {
        const char* name;
        std::function<void(CountingTraits)> run;
        std::vector<int> closed;
    };
    const Case cases[] = {
        {"destroyed", [](CountingTraits t) { Owner owner(7, t); }, {7}},
        {"holding nothing", [](CountingTraits t) { Owner owner(0, t); }, {}},
        {"reset over a handle",
         [](CountingTraits t) {
             Owner owner(7, t);
             owner.Reset(8);
         },
         {7, 8}},
        {"closed, then destroyed",
         [](CountingTraits t) {
             Owner owner(7, t);
             EXPECT_TRUE(owner.Close());
             EXPECT_FALSE(owner.IsValid());
             EXPECT_TRUE(owner.Close()) << "nothing held: nothing to fail";
         },
         {7}},
        {"a closer that fails",
         [](CountingTraits t) {
             Owner owner(-3, t);
             EXPECT_FALSE(owner.Close());
         },
         {-3}},
        {"moved to a new owner",
         [](CountingTraits t) {
             Owner first(7, t);
             Owner second(std::move(first));
             EXPECT_FALSE(first.IsValid());
             EXPECT_EQ(second.Get(), 7);
         },
         {7}},
        {"moved over a handle",
         [](CountingTraits t) {
             Owner first(7, t);
             Owner second(8, t);
             second = std::move(first);
         },
         {8, 7}},
        {"filled in through its address",
         [](CountingTraits t) {
             Owner owner(0, t);
             *owner.Address() = 9;
         },
         {9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> closed;
        c.run(CountingTraits{&closed});
        EXPECT_EQ(closed, c.closed);
    }
}
