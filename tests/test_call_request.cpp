// Request composition shared by the window and the command line: URL rules, the form of a call
// named by NAME=VALUE arguments, and the checks made before anything is sent.

#include "BeforeCopyCall.h"
#include "CallArguments.h"
#include "CallLine.h"
#include "Catalogue.h"
#include "IdHTTPForm.h"
#include "SecretParams.h"
#include "SendRequest.h"
#include "ToolProcess.h"

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

// The address names a host: a trailing "/" is dropped, and a port, path or query of its own is
// refused where the port field's port would follow it (the call would go to the scheme's port).
TEST(CallRequest, AddressIsAHostTheFieldsPortFollows) {
    struct Case {
        const char *Address, *Port, *URL, *Missing;
    } cases[] = {
        {"http://127.0.0.1/", "8087", "http://127.0.0.1:8087/api", ""},
        {"127.0.0.1//", "8087", "http://127.0.0.1:8087/api", ""},
        {"https://h\\ ", "8443", "https://h:8443/api", ""},
        {"http://h/", "80", "http://h/api", ""},
        {"http://[::1]/", "8087", "http://[::1]:8087/api", ""},
        {"http://user:pw@h", "8087", "http://user:pw@h:8087/api", ""},
        // Port 80 is not put in, so the address's own port or path is the URL's, as always.
        {"http://h:8087", "80", "http://h:8087/api", ""},
        {"http://h/sub/", "80", "http://h/sub/api", ""},
        // Without "://" an address beginning with "http" is taken as it is; the client refuses it.
        {"httpd.example/", "8087", "httpd.example/:8087/api", ""},
        {"/", "8087", "", "Server IP/domain missing"},
        {"http://127.0.0.1:8087", "8087", "",
         "Server address \"http://127.0.0.1:8087\" has a port of its own besides port \"8087\""},
        {"127.0.0.1:8087/", "8087", "",
         "Server address \"127.0.0.1:8087/\" has a port of its own besides port \"8087\""},
        {"http://user:pw@[::1]:81", "8087", "",
         "Server address \"http://user:pw@[::1]:81\" has a port of its own besides port \"8087\""},
        {"h:", "8087", "", "Server address \"h:\" has a port of its own besides port \"8087\""},
        {"http://h/sub", "8087", "",
         "Server address \"http://h/sub\" is more than a host name; port \"8087\" cannot follow "
         "it"},
        {"h?x=1", "8087", "",
         "Server address \"h?x=1\" is more than a host name; port \"8087\" cannot follow it"},
        {"h#top", "8087", "",
         "Server address \"h#top\" is more than a host name; port \"8087\" cannot follow it"},
        {"ftp://h", "8087", "",
         "Server address \"ftp://h\" is more than a host name; port \"8087\" cannot follow it"},
    };
    for (const Case& c : cases) {
        const TConnectionURL connection = ConnectionURL(
            QString::fromUtf8(c.Address), QString::fromUtf8(c.Port), QStringLiteral("api"));
        EXPECT_EQ(connection.URL.toStdString(), c.URL) << c.Address << '|' << c.Port;
        EXPECT_EQ(connection.Missing.toStdString(), c.Missing) << c.Address << '|' << c.Port;
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

namespace {

// The arguments a shell passes to the program a copied line names, with AEnvironment set: bash
// runs the line with a function of the program's name standing in for it.
std::vector<std::string> ShellArguments(const QString& ALine,
                                        const std::vector<std::string>& AEnvironment) {
    const std::string print = "() { printf '%s\\0' \"$@\"; }; ";
    const TToolRun run = RunTool(
        "/bin/bash", {"-c", "curl" + print + "vlcallbench-call" + print + ALine.toStdString()},
        AEnvironment);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    std::vector<std::string> arguments;
    for (std::size_t start = 0, end; (end = run.Out.find('\0', start)) != std::string::npos;
         start = end + 1)
        arguments.push_back(run.Out.substr(start, end - start));
    return arguments;
}

// The argument after each AOption.
std::vector<std::string> OptionValues(const std::vector<std::string>& AArguments,
                                      const std::string& AOption) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i + 1 < AArguments.size(); ++i)
        if (AArguments[i] == AOption)
            values.push_back(AArguments[i + 1]);
    return values;
}

} // namespace

// The copied lines never hold a player's password or its hash: each comes from a shell variable
// of its own as the API password comes from VL_PASSWORD, and the line, run with them set, passes
// the very values the call sends. An empty value holds no secret and is written as it is. With the
// secrets shown, the curl line carries the exact body.
TEST(CallRequest, CopiedLinesTakeSecretsFromTheShell) {
    const std::string url = "http://127.0.0.1:8087/api";
    const std::string password = "Api7Heron";
    struct Secret {
        std::string Name, Variable, Value;
    };
    struct Case {
        const char* Command;
        QStringList Arguments;
        std::vector<Secret> Secrets;
    } cases[] = {
        {"AccountsAdd",
         {QStringLiteral("Player=Quokka"), QStringLiteral("PW=Walrus 7&=x"),
          QStringLiteral("PWHash=9f86d081884c7d65"), QStringLiteral("Email=q@example.org")},
         {{"PW", "VL_PW", "Walrus 7&=x"}, {"PWHash", "VL_PWHASH", "9f86d081884c7d65"}}},
        // Nothing in a value is expanded again; a name in any case is the catalogue's.
        {"AccountsEdit",
         {QStringLiteral("Player=Numbat"), QStringLiteral("pw=Otter$HOME`x`\\"),
          QStringLiteral("PWHash=")},
         {{"PW", "VL_PW", "Otter$HOME`x`\\"}}},
        {"AccountsPassword",
         {QStringLiteral("Player=Bilby"), QStringLiteral("PW=it's \"\u00e9\"")},
         {{"PW", "VL_PW", "it's \"\xC3\xA9\""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Command);
        const TCommand& command = FindCommand(Commands(), c.Command);
        const TParamValues form =
            CallForm(CallGrid(command, true, c.Arguments), QString::fromStdString(password));
        const QStringList secrets = SecretNames(command);
        QStringList lines; // as the window hands them to the tool line
        for (qsizetype i = FixedLines; i < form.Count(); ++i)
            lines << form.Line(i);
        const QString curl = CurlLine(QString::fromStdString(url), form, secrets, false);
        const QString tool = CallToolLine(QString::fromStdString(url), true,
                                          QString::fromLatin1(c.Command), lines, secrets);

        std::vector<std::string> environment{"VL_PASSWORD=" + password};
        std::vector<std::string> sent{"Password=" + password};
        for (const QString& text : {curl, tool}) {
            EXPECT_FALSE(text.contains(QString::fromStdString(password))) << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("Player="))) << text.toStdString();
        }
        for (const Secret& secret : c.Secrets) {
            environment.push_back(secret.Variable + "=" + secret.Value);
            sent.push_back(secret.Name + "=" + secret.Value);
            for (const QString& text : {curl, tool}) {
                EXPECT_FALSE(text.contains(QString::fromStdString(secret.Value)))
                    << text.toStdString();
                EXPECT_TRUE(text.contains(QString::fromStdString("${" + secret.Variable + "}")))
                    << text.toStdString();
            }
        }
        EXPECT_EQ(OptionValues(ShellArguments(curl, environment), "--data-urlencode"), sent)
            << curl.toStdString();
        std::vector<std::string> toolArguments{"--server", url, c.Command};
        for (const QString& line : lines)
            toolArguments.push_back(line.toStdString());
        EXPECT_EQ(ShellArguments(tool, environment), toolArguments) << tool.toStdString();

        const QString shown = CurlLine(QString::fromStdString(url), form, secrets, true);
        EXPECT_FALSE(shown.contains(QStringLiteral("VL_"))) << shown.toStdString();
        EXPECT_EQ(OptionValues(ShellArguments(shown, {}), "--data-raw"),
                  std::vector<std::string>{IdHTTPForm::EncodeLines(WireLines(form))});
    }
}

// The read sent before a change: the paired read with the change's format and the values of the
// key rows the change ticked; a command without a read gives none.
TEST(BeforeCopyCall, ReadFormCarriesTheChangesKeys) {
    const struct {
        const char* Change;
        bool JSON;
        QStringList Arguments;
        const char* Read; // the form's body, or "" for no read at all
    } cases[] = {
        {"AccountsDelete",
         true,
         {QStringLiteral("Player=Bob")},
         "Command=AccountsGet&Password=pw&JSON=Yes&Player=Bob"},
        {"AccountsEdit",
         false,
         {QStringLiteral("player=Ann Lee"), QStringLiteral("Title=Boss")},
         "Command=AccountsGet&Password=pw&JSON=No&Player=Ann+Lee"},
        {"AccountsIncBalance",
         true,
         {QStringLiteral("Amount=5")},
         "Command=AccountsGet&Password=pw&JSON=Yes"},
        {"BlacklistDelete",
         true,
         {QStringLiteral("ID=17")},
         "Command=BlacklistGet&Password=pw&JSON=Yes&ID=17"},
        {"RingGamesEdit",
         true,
         {QStringLiteral("Name=Table 1"), QStringLiteral("Seats=6")},
         "Command=RingGamesGet&Password=pw&JSON=Yes&Name=Table+1"},
        {"TournamentsDelete",
         true,
         {QStringLiteral("Name=Sunday")},
         "Command=TournamentsGet&Password=pw&JSON=Yes&Name=Sunday"},
        {"SystemSet",
         true,
         {QStringLiteral("Property=MaxLogins"), QStringLiteral("Value=3")},
         "Command=SystemGet&Password=pw&JSON=Yes&Property=MaxLogins"},
        {"SystemRakeSet", true, {}, "Command=SystemRakeGet&Password=pw&JSON=Yes"},
        // Their own read, with Action=Get in place of the change's action and no amount or data.
        {"SystemAccount",
         true,
         {QStringLiteral("Account=Rake"), QStringLiteral("Action=Inc"), QStringLiteral("Amount=5")},
         "Command=SystemAccount&Password=pw&JSON=Yes&Account=Rake&Action=Get"},
        {"SystemAccount2",
         false,
         {QStringLiteral("Action=Set"), QStringLiteral("Account=Ring2"),
          QStringLiteral("Amount=0")},
         "Command=SystemAccount2&Password=pw&JSON=No&Account=Ring2&Action=Get"},
        {"AccountsNotes",
         true,
         {QStringLiteral("Player=Bob"), QStringLiteral("Action=Set"), QStringLiteral("Data={}")},
         "Command=AccountsNotes&Password=pw&JSON=Yes&Player=Bob&Action=Get"},
        // An action not given is not known to read: the read goes first.
        {"AccountsNotes",
         true,
         {QStringLiteral("Player=Bob")},
         "Command=AccountsNotes&Password=pw&JSON=Yes&Player=Bob&Action=Get"},
        // A call that is its own read takes none, however the action is written.
        {"SystemAccount", true, {QStringLiteral("Account=Rake"), QStringLiteral("Action=Get")}, ""},
        {"SystemAccount2", true, {QStringLiteral("Action= get ")}, ""},
        {"AccountsNotes", true, {QStringLiteral("Player=Bob"), QStringLiteral("action=GET")}, ""},
        {"AccountsGet", true, {QStringLiteral("Player=Bob")}, ""},
        {"SystemReboot", true, {}, ""},
        {"AccountsAdd", true, {QStringLiteral("Player=Bob")}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Change);
        const TCallGrid change = CallGrid(FindCommand(Commands(), c.Change), c.JSON, c.Arguments);
        const std::optional<TCallGrid> read = BeforeCopyGrid(change, Commands());
        if (*c.Read == '\0') {
            EXPECT_FALSE(read);
            continue;
        }
        ASSERT_TRUE(read);
        EXPECT_EQ(IdHTTPForm::EncodeLines(WireLines(CallForm(*read, QStringLiteral("pw")))),
                  c.Read);
    }
    EXPECT_FALSE(BeforeCopyGrid(TCallGrid{}, Commands()));
}
