#include "common/address_list.h"

#include <gtest/gtest.h>

namespace {

TEST(AddressList, ReadsWhatAnOperatorTypes) {
    struct Case {
        const char* text;
        QList<int> addresses;
    };
    const Case cases[] = {{"5", {5}},
                          {"1-8", {1, 2, 3, 4, 5, 6, 7, 8}},
                          {" 1-3 , 7,9 ", {1, 2, 3, 7, 9}},
                          {"9,2", {9, 2}},
                          {"255", {255}},
                          {"4-4", {4}}};
    for (const Case& c : cases) {
        QList<int> addresses;
        QString error;
        EXPECT_TRUE(ParseAddressList(c.text, addresses, error))
            << c.text << ": " << error.toStdString();
        EXPECT_EQ(addresses, c.addresses) << c.text;
    }
}

TEST(AddressList, RefusesWithTheWrongPartNamed) {
    struct Case {
        const char* text;
        const char* named;
    };
    const Case cases[] = {{"", "empty"},        {"0", "\"0\""},       {"256", "\"256\""},
                          {"1-300", "\"300\""}, {"8-1", "\"8-1\""},   {"1,,2", "\"\""},
                          {"a", "\"a\""},       {"1-", "\"\""},       {"3,1-4", "3"},
                          {"-1", "\"\""},       {"0x10", "\"0x10\""}, {"1.5", "\"1.5\""}};
    for (const Case& c : cases) {
        QList<int> addresses{1};
        QString error;
        EXPECT_FALSE(ParseAddressList(c.text, addresses, error)) << c.text;
        EXPECT_TRUE(addresses.isEmpty()) << c.text;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.named)))
            << c.text << ": " << error.toStdString();
    }
}

} // namespace
