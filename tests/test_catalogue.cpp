#include "Catalogue.h"
#include "Command.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>

TEST(VersionRangeText, FormatsRanges) {
    struct Case {
        Version VerMin, VerMax;
        const char* Expected;
    };
    const Case cases[] = {
        {21000, 99900, " [Version 2.10+]"},
        {22500, 49900, " [Version 2.25 to 4.99]"},
        {21000, 22600, " [Version 2.10 to 2.26]"},
        {21000, 100000, " [Version 2.10 to 10.00]"}, // only 9.99 itself means open-ended
        {0, 0, " [Version 0.00 to 0.00]"},
        {-21000, 99900, " [Version -2.10+]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionRangeText(c.VerMin, c.VerMax), c.Expected) << c.VerMin << " " << c.VerMax;
}

TEST(VersionRangeText, UsesDotWhateverTheLocale) {
    // A global locale that writes decimals with "," and groups thousands must not change it.
    struct CommaDecimals : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
    const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(VersionRangeText(22500, 49900), " [Version 2.25 to 4.99]");
    EXPECT_EQ(VersionRangeText(10000000, OpenEnded), " [Version 1000.00+]");
    std::locale::global(previous);
    if (chosen)
        std::setlocale(LC_NUMERIC, "C");
}

TEST(TCommand, HeaderHasNoParameters) {
    auto header = TCommand::Create(true, "Accounts", 21000, OpenEnded, "help");
    EXPECT_TRUE(header->Header);
    EXPECT_TRUE(header->Params.empty());
}

TEST(TCommand, StandardParametersAreClampedIntoTheCommandRange) {
    struct Case {
        Version VerMin, VerMax;
        Version CommandMin, CommandMax, JsonMin, JsonMax;
    };
    const Case cases[] = {
        {21000, 99900, 21000, 99900, 42000, 99900}, {60000, 99900, 60000, 99900, 60000, 99900},
        {30000, 99900, 30000, 99900, 42000, 99900}, {22500, 49900, 22500, 49900, 42000, 49900},
        {44800, 99900, 44800, 99900, 44800, 99900},
    };
    for (const Case& c : cases) {
        auto command = TCommand::Create(false, "X", c.VerMin, c.VerMax, "");
        ASSERT_EQ(command->Params.size(), 4u);
        const char* names[] = {"Command", "Password", "JSON", "Log"};
        for (int i = 0; i < 4; ++i) {
            const TParam& param = *command->Params[i];
            EXPECT_EQ(param.Name, names[i]);
            EXPECT_EQ(param.VerMin, i == 2 ? c.JsonMin : c.CommandMin) << c.VerMin;
            EXPECT_EQ(param.VerMax, i == 2 ? c.JsonMax : c.CommandMax) << c.VerMin;
        }
    }
}

TEST(TCommand, AddParamClampsBothEndsAndKeepsInvertedRanges) {
    auto command = TCommand::Create(false, "X", 30000, 50000, "");
    command->AddParam("Below", 21000, 40000, "a");
    command->AddParam("Above", 40000, 99900, "b");
    command->AddParam("Inside", 35000, 45000, "c");
    command->AddParam("Outside", 60000, 70000, "d");
    using Range = std::pair<Version, Version>;
    const auto& p = command->Params;
    ASSERT_EQ(p.size(), 8u);
    EXPECT_EQ(Range(p[4]->VerMin, p[4]->VerMax), (Range{30000, 40000}));
    EXPECT_EQ(Range(p[5]->VerMin, p[5]->VerMax), (Range{40000, 50000}));
    EXPECT_EQ(Range(p[6]->VerMin, p[6]->VerMax), (Range{35000, 45000}));
    // Stored as clamped, even though it now belongs to no version.
    EXPECT_EQ(Range(p[7]->VerMin, p[7]->VerMax), (Range{60000, 50000}));
    EXPECT_EQ(p[7]->Help, "d");
}

TEST(Catalogue, GroupHeadersInOrder) {
    TCommandList commands;
    AppendCatalogue(commands);
    std::vector<std::string> headers;
    for (const auto& entry : commands)
        if (entry->Header) {
            headers.push_back(entry->Name);
            EXPECT_EQ(entry->VerMin, 21000);
            EXPECT_EQ(entry->VerMax, OpenEnded);
            EXPECT_FALSE(entry->Help.empty());
        }
    EXPECT_EQ(headers, (std::vector<std::string>{"Accounts", "Blacklist", "Connections", "Logs",
                                                 "Ring Games", "System", "Tournaments"}));
    EXPECT_EQ(commands[0]->Help,
              "This group of API calls are used to create, edit, and delete player accounts.");
}
