// What callers rely on from Result and Status: the value or the error that was put in, and the
// error's call and code kept as given.
#include "base/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

ovn::Result<int> Parse(const std::string& text) {
    if (text.empty()) return ovn::CallError("Parse", 87);
    return static_cast<int>(text.size());
}

TEST(Result, HoldsTheValueOrTheErrorItWasMadeFrom) {
    const ovn::Result<int> good = Parse("abc");
    ASSERT_TRUE(good.ok());
    EXPECT_TRUE(static_cast<bool>(good));
    EXPECT_EQ(*good, 3);

    const ovn::Result<int> bad = Parse("");
    ASSERT_FALSE(bad.ok());
    EXPECT_FALSE(static_cast<bool>(bad));
    EXPECT_EQ(bad.error().call, "Parse");
    EXPECT_EQ(bad.error().code, 87u);
    EXPECT_TRUE(bad.error().text.empty()) << bad.error().text;
}

TEST(Result, AMoveOnlyValueIsTakenOutWhole) {
    ovn::Result<std::unique_ptr<int>> made = std::make_unique<int>(7);
    ASSERT_TRUE(made);
    std::unique_ptr<int> taken = std::move(made).value();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(*taken, 7);
}

TEST(Result, AStatusIsDoneUntilAnErrorIsGiven) {
    const ovn::Status done = ovn::Ok();
    EXPECT_TRUE(done.ok());
    const ovn::Status failed = ovn::Error{"StartServiceW", 1275, "the driver is blocked"};
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().call, "StartServiceW");
    EXPECT_EQ(failed.error().code, 1275u);
    EXPECT_EQ(failed.error().text, "the driver is blocked");
}

// An error that says more than call, code and text, as a file seam's says whether the file itself
// was refused.
struct CRefusalError : ovn::Error {
    bool refused = false;
};

ovn::Result<void, CRefusalError> Refuse(bool refused) {
    CRefusalError error;
    error.call = "CreateFileW";
    error.code = 5;
    error.refused = refused;
    return error;
}

TEST(Result, AnErrorOfItsOwnKindKeepsWhatItSaysBeyondCallAndCode) {
    const ovn::Result<void, CRefusalError> refused = Refuse(true);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().refused);
    EXPECT_EQ(refused.error().call, "CreateFileW");
    EXPECT_EQ(refused.error().code, 5u);
    EXPECT_FALSE(Refuse(false).error().refused);

    // Read as the plain error every seam shares.
    const ovn::Error& plain = refused.error();
    EXPECT_EQ(plain.call, "CreateFileW");

    const ovn::Result<std::unique_ptr<int>, CRefusalError> made = std::make_unique<int>(3);
    ASSERT_TRUE(made.ok());
    EXPECT_EQ(**made, 3);
    const ovn::Result<void, CRefusalError> done;
    EXPECT_TRUE(done.ok());
}

}  // namespace
