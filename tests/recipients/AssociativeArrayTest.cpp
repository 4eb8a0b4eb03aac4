// The recipient record: an ordered map of texts with keys unique ignoring case.
#include "core/AssociativeArray.h"

#include <gtest/gtest.h>
#include <stdexcept>

TEST(AssociativeArray, KeysKeepOrderAndFirstSpellingAndMissingKeysRaise)
{
    TAssociativeArray r;
    r.SetValue("_ID", "7");
    r.SetValue("Email", "a@x.de");
    r.SetValue("Last Name", "");
    r.SetValue("email", "b@x.de");
    r.SetValue("Kopie", "B@X.DE");
    ASSERT_EQ(r.Count(), 4);
    EXPECT_EQ(r.KeyAt(1), "Email");
    EXPECT_EQ(r.GetValue("EMAIL"), "b@x.de");
    EXPECT_EQ(r.GetValue("Last Name"), "");
    EXPECT_EQ(r.IndexOfValue("b@x.de"), 1) << "first of two equal values, ignoring case";
    EXPECT_EQ(r.IndexOfValue("nichts"), -1);
    EXPECT_THROW(r.GetValue("Vorname"), std::out_of_range);
    EXPECT_THROW(r.KeyAt(4), std::out_of_range);
    EXPECT_THROW(r.ValueAt(-1), std::out_of_range);
    TAssociativeArray copy;
    copy.Assign(r);
    r.Clear();
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(copy.Count(), 4);
    EXPECT_EQ(copy.ValueAt(3), "B@X.DE");
}
