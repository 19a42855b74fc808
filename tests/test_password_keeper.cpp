// Where the remembered password is kept and what its tip says: the settings file's password
// before the keyring's, the move from the file to the keyring, forgetting it when unticked, and
// the settings file wherever the keyring does not take it. A stand-in keyring answers as told; the
// desktop's keyring is tried only without a session bus.

#include "PasswordKeeper.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

using TState = TPasswordKeyring::TState;
using TResult = TPasswordKeyring::TResult;

const QString File = QStringLiteral("/home/u/.config/Tessarine.conf");

QString FileTip() {
    return QStringLiteral("No keyring service answers, so the password is kept in the settings "
                          "file ") +
           File + QStringLiteral(", readable by you only.");
}
const QString KeyringTip =
    QStringLiteral("The password is kept in the desktop's keyring, not in the settings file.");

// The keyring's entry and how the keyring answers, shared with the stand-in the keeper owns.
struct TDesk {
    TState State = TState::Available;
    QString Error;
    std::optional<QString> Entry;
    std::vector<QString> Calls;
};

class TStandInKeyring : public TPasswordKeyring {
public:
    explicit TStandInKeyring(TDesk& ADesk) : FDesk(ADesk) {}

    TResult Read() const override {
        FDesk.Calls.push_back(QStringLiteral("Read"));
        TResult result = Answer();
        if (FDesk.State == TState::Available && FDesk.Entry) {
            result.Found = true;
            result.Password = *FDesk.Entry;
        }
        return result;
    }
    TResult Write(const QString& APassword) const override {
        FDesk.Calls.push_back(QStringLiteral("Write ") + APassword);
        if (FDesk.State == TState::Available)
            FDesk.Entry = APassword;
        return Answer();
    }
    TResult Remove() const override {
        FDesk.Calls.push_back(QStringLiteral("Remove"));
        if (FDesk.State == TState::Available)
            FDesk.Entry.reset();
        return Answer();
    }

private:
    TResult Answer() const {
        TResult result;
        result.State = FDesk.State;
        if (FDesk.State != TState::Available)
            result.Error = FDesk.Error;
        return result;
    }
    TDesk& FDesk;
};

class PasswordKeeperTest : public ::testing::Test {
protected:
    TDesk FDesk;
    TPasswordKeeper FKeeper{File, std::make_unique<TStandInKeyring>(FDesk)};
};

TEST_F(PasswordKeeperTest, ReadsTheFilesPasswordBeforeTheKeyrings) {
    struct TCase {
        bool Remember;
        QString FilePassword;
        std::optional<QString> Entry;
        QString Expected;
    };
    const TCase cases[] = {
        {true, {}, QStringLiteral("kept"), QStringLiteral("kept")},
        {true, QStringLiteral("newer"), QStringLiteral("kept"), QStringLiteral("newer")},
        {true, {}, std::nullopt, {}},
        {false, QStringLiteral("stale"), QStringLiteral("kept"), QStringLiteral("stale")},
    };
    for (const TCase& test : cases) {
        TDesk desk;
        desk.Entry = test.Entry;
        TPasswordKeeper keeper(File, std::make_unique<TStandInKeyring>(desk));
        EXPECT_EQ(keeper.Read(test.Remember, test.FilePassword), test.Expected)
            << test.Expected.toStdString();
        EXPECT_EQ(desk.Calls.size(), test.Remember ? 1U : 0U);
        // Unticked, nothing is known of the keyring yet.
        EXPECT_EQ(keeper.Tip().startsWith(QStringLiteral("When ticked")), !test.Remember);
    }
}

TEST_F(PasswordKeeperTest, TipSaysWhereTheKeptPasswordIs) {
    EXPECT_EQ(FKeeper.Tip(),
              QStringLiteral("When ticked, the password is kept in the desktop's keyring, or in "
                             "the settings file ") +
                  File +
                  QStringLiteral(" (readable by you only) where no keyring service answers."));
    struct TCase {
        TState State;
        bool InKeyring;
        QString Tip;
    };
    const TCase cases[] = {
        {TState::Available, true, KeyringTip},
        {TState::Unavailable, false, FileTip()},
        {TState::Refused, false,
         QStringLiteral("The keyring refused access (locked), so the password is kept in the "
                        "settings file ") +
             File + QStringLiteral(", readable by you only.")},
    };
    for (const TCase& test : cases) {
        FDesk.State = test.State;
        FDesk.Error = QStringLiteral("locked");
        EXPECT_EQ(FKeeper.Keep(true, QStringLiteral("pw")), test.InKeyring);
        EXPECT_EQ(FKeeper.Tip(), test.Tip);
    }
}

TEST_F(PasswordKeeperTest, PasswordInTheFileMovesToTheKeyringAtTheNextKeep) {
    FDesk.Entry = QStringLiteral("older");
    EXPECT_EQ(FKeeper.Read(true, QStringLiteral("from file")), QStringLiteral("from file"));
    EXPECT_EQ(FKeeper.Tip(), QStringLiteral("The password is kept in the settings file ") + File +
                                 QStringLiteral(", readable by you only, until the desktop's "
                                                "keyring takes it when the window closes."));
    EXPECT_TRUE(FKeeper.Keep(true, QStringLiteral("from file")));
    EXPECT_EQ(FDesk.Entry, QStringLiteral("from file"));
    EXPECT_EQ(FKeeper.Tip(), KeyringTip);

    // A keyring that stops answering leaves it in the file again.
    FDesk.State = TState::Unavailable;
    EXPECT_FALSE(FKeeper.Keep(true, QStringLiteral("from file")));
    EXPECT_EQ(FKeeper.Tip(), FileTip());
}

TEST_F(PasswordKeeperTest, UntickingForgetsWhatTheKeyringMayHoldUntilItIsGone) {
    // Never ticked: the keyring is not asked.
    EXPECT_EQ(FKeeper.Read(false, {}), QString());
    EXPECT_FALSE(FKeeper.Keep(false, QStringLiteral("typed")));
    EXPECT_TRUE(FDesk.Calls.empty());

    EXPECT_TRUE(FKeeper.Keep(true, QStringLiteral("pw")));
    // A refused removal is tried again at the next save, and no more once it is done.
    FDesk.State = TState::Refused;
    EXPECT_FALSE(FKeeper.Keep(false, QStringLiteral("pw")));
    FDesk.State = TState::Available;
    EXPECT_FALSE(FKeeper.Keep(false, QStringLiteral("pw")));
    EXPECT_FALSE(FDesk.Entry.has_value());
    EXPECT_FALSE(FKeeper.Keep(false, QStringLiteral("pw")));
    const std::vector<QString> calls{QStringLiteral("Write pw"), QStringLiteral("Remove"),
                                     QStringLiteral("Remove")};
    EXPECT_EQ(FDesk.Calls, calls);
    // The keyring answered last, so the tip names it.
    EXPECT_EQ(FKeeper.Tip(), KeyringTip);
}

// The desktop's keyring without a session bus: the settings file keeps the password, promptly.
TEST(PasswordKeeperWithoutBus, FallsBackToTheSettingsFile) {
    // Before the first use of the session bus in this program; no keyring is reached from here.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "");
    TPasswordKeeper keeper(File);
    EXPECT_EQ(keeper.Read(true, QStringLiteral("in file")), QStringLiteral("in file"));
    EXPECT_EQ(keeper.Tip(), FileTip());
    EXPECT_EQ(keeper.Read(true, {}), QString());
    EXPECT_FALSE(keeper.Keep(true, QStringLiteral("typed")));
    EXPECT_EQ(keeper.Tip(), FileTip());
    EXPECT_FALSE(keeper.Keep(false, QStringLiteral("typed")));
}

} // namespace
