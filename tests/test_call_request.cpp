// Request composition shared by the window and the command line: URL rules, the form of a call
// named by NAME=VALUE arguments, and the checks made before anything is sent.

#include "CallArguments.h"
#include "Catalogue.h"
#include "IdHTTPForm.h"
#include "SendRequest.h"

#include <gtest/gtest.h>

namespace {

const TCommandList& Commands() {
    static const TCommandList commands = [] {
        TCommandList list;
        AppendCatalogue(list);
        return list;
    }();
    return commands;
}

std::string Body(const char* ACommand, bool AJSON, const QStringList& AArguments,
                 const QString& APassword) {
    const TCallGrid grid = CallGrid(FindCommand(Commands(), ACommand), AJSON, AArguments);
    return IdHTTPForm::EncodeLines(WireLines(CallForm(grid, APassword)));
}

std::string UsageError(const std::function<void()>& AAction) {
    try {
        AAction();
    } catch (const ECallUsage& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST(CallRequest, URLRules) {
    struct Case {
        const char *Address, *Port, *Path, *URL;
    } cases[] = {
        {"http://127.0.0.1", "8087", "api", "http://127.0.0.1:8087/api"},
        {"10.0.0.5", "80", "api", "http://10.0.0.5/api"},
        {"HTTPS://10.0.0.5", "080", "/api", "HTTPS://10.0.0.5:080//api"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildURL(QString::fromUtf8(c.Address), QString::fromUtf8(c.Port),
                           QString::fromUtf8(c.Path)),
                  QString::fromUtf8(c.URL));
    EXPECT_EQ(TrimControl(QStringLiteral("\t a b\r\n")), QStringLiteral("a b"));
    EXPECT_EQ(MissingConnectionField({}, {}, {}), QStringLiteral("Server IP/domain missing"));
    EXPECT_EQ(MissingConnectionField(QStringLiteral("a"), {}, {}),
              QStringLiteral("File port missing"));
    EXPECT_EQ(MissingConnectionField(QStringLiteral("a"), QStringLiteral("1"), {}),
              QStringLiteral("API path missing"));
}

TEST(CallRequest, ConnectionFieldsAsTyped) {
    // Each field trimmed before it is checked and used; the first one missing is named.
    struct Case {
        const char *Address, *Port, *Path, *URL, *Missing;
    } cases[] = {
        {" 10.0.0.5\t", "\r8087 ", "\napi\n", "http://10.0.0.5:8087/api", ""},
        {"https://h", " 80", "api ", "https://h/api", ""},
        {" \t", "8087", "api", "", "Server IP/domain missing"},
        {"h", "\r\n", "", "", "File port missing"},
        {"h", "8087", " \x1f", "", "API path missing"},
        {"", "", "", "", "Server IP/domain missing"},
    };
    for (const Case& c : cases) {
        const TConnectionURL connection = ConnectionURL(
            QString::fromUtf8(c.Address), QString::fromUtf8(c.Port), QString::fromUtf8(c.Path));
        EXPECT_EQ(connection.URL, QString::fromUtf8(c.URL)) << c.Address << '|' << c.Port;
        EXPECT_EQ(connection.Missing, QString::fromUtf8(c.Missing)) << c.Address << '|' << c.Port;
    }
}

TEST(CallRequest, BodiesOfCommandLines) {
    struct Case {
        const char* Command;
        bool JSON;
        QStringList Arguments;
        const char* Password;
        const char* Body;
    } cases[] = {
        {"AccountsList", true, {}, "", "Command=AccountsList&JSON=Yes"},
        {"accountslist", false, {}, "s3cret", "Command=AccountsList&Password=s3cret&JSON=No"},
        // grid order, whatever the order of the arguments; names as the catalogue spells them
        {"AccountsAdd",
         true,
         {"tfees2=7", "PLAYER=joe", "Note=a=b&c d"},
         " pw ",
         "Command=AccountsAdd&Password=+pw+&JSON=Yes&Player=joe&Note=a%3Db%26c+d&TFees2=7"},
        // an empty value is sent as a ticked empty row is; Log is an ordinary parameter
        {"AccountsGet",
         true,
         {"Player=", "log=1"},
         "",
         "Command=AccountsGet&JSON=Yes&Log=1&Player="},
        {"AccountsGet",
         true,
         {QStringLiteral("Player=\u00e9")},
         "",
         "Command=AccountsGet&JSON=Yes&Player=%C3%A9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Body(c.Command, c.JSON, c.Arguments, QString::fromUtf8(c.Password)), c.Body)
            << c.Command;
}

TEST(CallRequest, NamesAreCheckedBeforeSending) {
    const TCommand& list = FindCommand(Commands(), "AccountsList");
    struct Case {
        std::function<void()> Action;
        const char* Message;
    } cases[] = {
        {[&] { CallGrid(list, true, {"Playr=1"}); },
         "Unknown parameter 'Playr' for AccountsList. Did you mean 'Players'?"},
        {[&] { CallGrid(list, true, {"Zzzzzzzz=1"}); },
         "Unknown parameter 'Zzzzzzzz' for AccountsList."},
        {[] { FindCommand(Commands(), "AccountList"); },
         "Unknown command 'AccountList'. Did you mean 'AccountsList'?"},
        {[] { FindCommand(Commands(), "Accounts"); }, // a group is not a command
         "Unknown command 'Accounts'."},
        {[&] { CallGrid(list, true, {"Players"}); }, "Expected NAME=VALUE, not 'Players'."},
        {[&] { CallGrid(list, true, {"=x"}); }, "Expected NAME=VALUE, not '=x'."},
        {[&] {
             CallGrid(list, true, {"Players=a", "players=b"});
         },
         "Parameter 'Players' is given twice."},
        {[&] { CallGrid(list, true, {"password=x"}); },
         "Password is filled in by the program and cannot be given as NAME=VALUE; use "
         "--password-env or --password-file."},
        {[&] { CallGrid(list, true, {"JSON=No"}); },
         "JSON is filled in by the program and cannot be given as NAME=VALUE; use --legacy for "
         "JSON=No."},
        {[&] { CallGrid(list, true, {"Command=SystemStats"}); },
         "Command is filled in by the program and cannot be given as NAME=VALUE; name the command "
         "as COMMAND."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UsageError(c.Action), c.Message);
}

TEST(CallRequest, VersionsOfCommandAndParameters) {
    const TCommand& add = FindCommand(Commands(), "AccountsAdd");
    const TCallGrid custom = CallGrid(add, true, {"Custom=x"});
    EXPECT_EQ(UsageError([&] { CheckVersions(custom, MakeVersion(7, 0)); }),
              "Parameter 'Custom' of AccountsAdd is not in server version 7.00; versions 2.60 to "
              "6.99 have it. --force sends it anyway.");
    EXPECT_EQ(UsageError([&] { CheckVersions(custom, MakeVersion(6, 99)); }), "(no error)");
    EXPECT_EQ(UsageError([&] { CheckVersions(custom, MakeVersion(2, 0)); }),
              "Command AccountsAdd is not in server version 2.00; versions 2.10+ have it. "
              "--force sends it anyway.");
    // JSON is newer than many servers, but it goes out with every call, as from the window.
    EXPECT_EQ(UsageError([&] { CheckVersions(CallGrid(add, true, {}), MakeVersion(4, 19)); }),
              "(no error)");
}
