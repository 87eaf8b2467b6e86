// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/Logon.h"

namespace {

TEST(LogonTest, AccountNamesSplitAtTheFirstBackslash)
{
    const TAccountName local = SplitAccountName(QStringLiteral("admin"));
    EXPECT_EQ(local.domain, ".");
    EXPECT_EQ(local.user, "admin");
    const TAccountName domain = SplitAccountName(QStringLiteral("PC7\\admin\\x"));
    EXPECT_EQ(domain.domain, "PC7");
    EXPECT_EQ(domain.user, "admin\\x");
}

TEST(LogonTest, ForeignDomainAndWrongPasswordFail)
{
    qputenv("PLENWICK_COMPUTERNAME", "testhost");
    EXPECT_FALSE(LogonAndImpersonate(QStringLiteral("otherpc\\root"), QStringLiteral("x")));
    EXPECT_FALSE(LogonAndImpersonate(QStringLiteral("TESTHOST\\no-such-user-here"), QStringLiteral("x")));
}

} // namespace
