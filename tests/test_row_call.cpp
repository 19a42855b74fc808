// Each row of a file as a call: composed as the window's grid would be with those rows ticked, and
// checked before anything is sent (names, values given twice, versions, required parameters).

#include "Catalogue.h"
#include "RowCall.h"

#include <gtest/gtest.h>

namespace {

class RowCallTest : public ::testing::Test {
protected:
    RowCallTest() { AppendCatalogue(FCommands); }
    const TCommand& Command(const char* AName) { return FindCommand(FCommands, AName); }
    TCommandList FCommands;
};

TFileRow Row(std::vector<TRowValue> AValues) {
    return TFileRow{7, 9, std::move(AValues)};
}

TEST_F(RowCallTest, RowsComposedAsTheGridWouldSendThem) {
    struct Case {
        const char* Name;
        QStringList Fixed;
        std::vector<TRowValue> Values;
        QStringList Form;
    } cases[] = {
        {"values in catalogue order, names in any case",
         {},
         {{"amount", "5"}, {"player", "ann b"}},
         {"Command=AccountsIncBalance", "Password=pw", "JSON=Yes", "Player=ann b", "Amount=5"}},
        {"a value for every row and an empty cell left out",
         {"Amount=10"},
         {{"Player", "bob"}},
         {"Command=AccountsIncBalance", "Password=pw", "JSON=Yes", "Player=bob", "Amount=10"}},
        {"an empty optional cell is not sent",
         {},
         {{"Player", "cy"}, {"Amount", ""}},
         {"Command=AccountsIncBalance", "Password=pw", "JSON=Yes", "Player=cy"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TCallGrid grid =
            RowGrid(Command("AccountsIncBalance"), true, c.Fixed, Row(c.Values), std::nullopt);
        EXPECT_EQ(CallForm(grid, QStringLiteral("pw")).AllLines(), c.Form);
    }
}

TEST_F(RowCallTest, RowsRefusedWithTheirReason) {
    struct Case {
        const char* Command;
        QStringList Fixed;
        std::vector<TRowValue> Values;
        std::optional<Version> Server;
        const char* Message;
    } cases[] = {
        {"AccountsIncBalance",
         {},
         {{"Playr", "a"}},
         std::nullopt,
         "Unknown parameter 'Playr' for AccountsIncBalance. Did you mean 'Player'?"},
        {"AccountsIncBalance",
         {},
         {{"Playr", ""}, {"Player", "a"}},
         std::nullopt,
         "Unknown parameter 'Playr' for AccountsIncBalance. Did you mean 'Player'?"},
        {"AccountsIncBalance",
         {"player=a"},
         {{"Player", "b"}},
         std::nullopt,
         "Parameter 'Player' is both in the file and on the command line."},
        {"AccountsIncBalance",
         {},
         {{"Amount", "5"}},
         std::nullopt,
         "Required parameter 'Player' of AccountsIncBalance without a value."},
        {"AccountsDecBalance",
         {},
         {{"Player", ""}, {"Amount", ""}},
         std::nullopt,
         "Required parameters 'Player', 'Amount' of AccountsDecBalance without a value."},
        {"AccountsIncBalance",
         {},
         {{"Password", "x"}},
         std::nullopt,
         "Password is filled in by the program and cannot be given as NAME=VALUE; use "
         "--password-env or --password-file."},
        {"AccountsIncBalance2",
         {},
         {{"Player", "a"}},
         MakeVersion(5, 0),
         "Command AccountsIncBalance2 is not in server version 5.00; versions 6.00+ have it. "
         "--force sends it anyway."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Message);
        try {
            RowGrid(Command(c.Command), true, c.Fixed, Row(c.Values), c.Server);
            ADD_FAILURE() << "accepted";
        } catch (const ECallUsage& error) {
            EXPECT_EQ(std::string(error.what()), c.Message);
        }
    }
}

TEST_F(RowCallTest, ColumnsCheckedOnceWithEveryFault) {
    const TCommand& command = Command("AccountsIncBalance");
    EXPECT_NO_THROW(CheckColumns(command, {"Player", "AMOUNT"}, {}));
    try {
        CheckColumns(command, {"Playr", "Amount", "amount", "Player"}, {"Player=x"});
        ADD_FAILURE() << "accepted";
    } catch (const ECallUsage& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Unknown column 'Playr' for AccountsIncBalance. Did you mean 'Player'?\n"
                  "Column 'amount' is given twice.\n"
                  "Parameter 'Player' is both in the file and on the command line.");
    }
}

TEST(RowErrors, FirstTwentyAndTheCount) {
    TRowErrors errors;
    for (int i = 1; i <= 23; ++i)
        errors.Add(TFileRow{i, i + 1, {}}, "bad " + std::to_string(i));
    const std::string text = errors.Text(30);
    EXPECT_NE(text.find("row 1 (line 2): bad 1\n"), std::string::npos);
    EXPECT_NE(text.find("row 20 (line 21): bad 20\n... and 3 more\n"), std::string::npos);
    EXPECT_EQ(text.find("bad 21"), std::string::npos);
    EXPECT_TRUE(text.ends_with("23 of 30 rows have errors; nothing was sent."));
}

} // namespace
