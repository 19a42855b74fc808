// The API password and the keyring: kept there while "Remember API Password" is ticked, moved
// there from the settings file, forgotten when unticked, and the settings file when no keyring
// answers or the keyring refuses. Run three times: without any session bus, and by
// tests/keyring/with-keyring.sh against a real Secret Service in a private session bus, unlocked
// and locked (VL_KEYRING_TEST).

#include "MainForm.h"
#include "PasswordKeyring.h"
#include "QtTestSupport.h"
#include "ScriptedServer.h"
#include "ServerProfiles.h"
#include "ToolProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

enum class TKeyring { None, Unlocked, Locked };

TKeyring KeyringUnderTest() {
    const QString mode = qEnvironmentVariable("VL_KEYRING_TEST");
    if (mode == QLatin1String("unlocked"))
        return TKeyring::Unlocked;
    return mode == QLatin1String("locked") ? TKeyring::Locked : TKeyring::None;
}

class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test starts with no entry.
        const TPasswordKeyring::TResult removed = FKeyring.Remove();
        if (FMode != TKeyring::Locked) {
            ASSERT_EQ(removed.State == TPasswordKeyring::TState::Available,
                      FMode == TKeyring::Unlocked)
                << removed.Error.toStdString();
        }
    }

    std::unique_ptr<TMainForm> Open() {
        auto form = std::make_unique<TMainForm>(FFile);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }
    // Closes the window, which saves the settings; the tooltip it ends with.
    QString Close(std::unique_ptr<TMainForm>& AForm) {
        EXPECT_TRUE(AForm->close());
        QString tip = AForm->RememberPW->toolTip();
        AForm.reset();
        return tip;
    }
    QVariant Stored(const char* AName) const {
        return QSettings(FFile, QSettings::IniFormat)
            .value(QStringLiteral("VLCallbench/") + QLatin1String(AName));
    }
    bool InKeyring() const { return FMode == TKeyring::Unlocked; }

    const TKeyring FMode = KeyringUnderTest();
    QTemporaryDir FFolder;
    QString FFile = FFolder.filePath(QStringLiteral("Tessarine.conf"));
    TPasswordKeyring FKeyring;
};

TEST_F(KeyringTest, RememberedPasswordRoundTrip) {
    auto form = Open();
    EXPECT_TRUE(form->RememberPW->toolTip().contains(FFile));
    form->RememberPW->setChecked(true);
    form->PasswordEdit->setText(QStringLiteral("s3cret pw"));
    const QString tip = Close(form);

    // Where it went, and the tooltip saying so; a refusal is no error box.
    EXPECT_EQ(Stored("RememberPW").toString(), QStringLiteral("1"));
    const TPasswordKeyring::TResult entry = FKeyring.Read();
    EXPECT_EQ(entry.Found, InKeyring());
    EXPECT_EQ(entry.Password, InKeyring() ? QStringLiteral("s3cret pw") : QString());
    if (InKeyring()) {
        EXPECT_FALSE(Stored("Password").isValid());
    } else {
        EXPECT_EQ(Stored("Password").toString(), QStringLiteral("s3cret pw"));
        EXPECT_EQ(QFile::permissions(FFile) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    const QString tips[] = {
        QStringLiteral(
            "No keyring service answers, so the password is kept in the settings file ") +
            FFile + QStringLiteral(", readable by you only."),
        QStringLiteral("The password is kept in the desktop's keyring, not in the settings file."),
        QStringLiteral("The keyring refused access ("),
    };
    EXPECT_TRUE(tip.startsWith(tips[static_cast<int>(FMode)])) << tip.toStdString();
    if (FMode == TKeyring::Locked) {
        EXPECT_TRUE(
            tip.endsWith(QStringLiteral("), so the password is kept in the settings file ") +
                         FFile + QStringLiteral(", readable by you only.")))
            << tip.toStdString();
    }

    form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("s3cret pw"));

    // Unticked: forgotten by the keyring and the file.
    form->RememberPW->setChecked(false);
    Close(form);
    EXPECT_FALSE(FKeyring.Read().Found);
    EXPECT_EQ(Stored("RememberPW").toString(), QStringLiteral("0"));
    EXPECT_EQ(Stored("Password").toString(), QString());
    form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QString());
}

TEST_F(KeyringTest, PasswordInTheFileMovesToTheKeyring) {
    {
        QSettings file(FFile, QSettings::IniFormat);
        file.setValue(QStringLiteral("VLCallbench/RememberPW"), QStringLiteral("1"));
        file.setValue(QStringLiteral("VLCallbench/Password"), QStringLiteral("from file"));
    }
    if (InKeyring()) { // an older entry loses against the file's newer value
        ASSERT_EQ(FKeyring.Write(QStringLiteral("older")).State,
                  TPasswordKeyring::TState::Available);
    }
    auto form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("from file"));
    if (FMode != TKeyring::None) {
        EXPECT_TRUE(form->RememberPW->toolTip().startsWith(
            QStringLiteral("The password is kept in the settings file ") + FFile +
            QStringLiteral(", readable by you only, until the desktop's keyring takes it")));
    }
    Close(form);

    EXPECT_EQ(FKeyring.Read().Password, InKeyring() ? QStringLiteral("from file") : QString());
    EXPECT_EQ(Stored("Password").isValid(), !InKeyring());
    form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("from file"));
}

// vlcallbench-call sends the password the window remembers, from wherever the window keeps it:
// the keyring, or the file where no keyring takes it; a password named on its command line wins.
TEST_F(KeyringTest, CallToolSendsTheRememberedPassword) {
    auto form = Open();
    form->RememberPW->setChecked(true);
    form->PasswordEdit->setText(QStringLiteral("s3cret pw"));
    Close(form);
    EXPECT_EQ(Stored("Password").isValid(), !InKeyring());

    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";
    TScriptedServer server(TServerScript().ReadRequest().Send(ok));
    const std::u16string wideUrl = server.URL();
    const std::string url(wideUrl.begin(), wideUrl.end());
    const std::vector<std::string> environment{
        "XDG_CONFIG_HOME=" + FFolder.path().toStdString(),
        "XDG_DATA_HOME=" + FFolder.filePath(QStringLiteral("data")).toStdString(),
        "OTHER_PASSWORD=other"};
    for (const bool named : {false, true}) {
        std::vector<std::string> arguments{"--server", url, "SystemStats"};
        if (named)
            arguments.insert(arguments.begin(), {"--password-env", "OTHER_PASSWORD"});
        const TToolRun run = RunTool(VL_CALL_TOOL, arguments, environment);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        ASSERT_TRUE(server.WaitForScriptsDone(named ? 2 : 1));
        const std::string request = server.Requests().back();
        EXPECT_TRUE(
            request.ends_with(named ? "\r\n\r\nCommand=SystemStats&Password=other&JSON=Yes"
                                    : "\r\n\r\nCommand=SystemStats&Password=s3cret+pw&JSON=Yes"))
            << request;
    }
}

// A renamed profile's password moves to the new name's entry; a deleted profile's leaves the
// keyring and the file, while the profile that stays keeps its own.
TEST_F(KeyringTest, RenamedAndDeletedProfilesTakeTheirPasswordsAlong) {
    auto form = Open();
    form->RememberPW->setChecked(true);
    form->PasswordEdit->setText(QStringLiteral("default pw"));
    ASSERT_TRUE(form->NewProfile(QStringLiteral("stage")));
    form->RememberPW->setChecked(true);
    form->PasswordEdit->setText(QStringLiteral("stage pw"));
    ASSERT_TRUE(form->RenameProfile(QStringLiteral("live")));
    Close(form);
    TPasswordKeyring stage(TServerProfiles::KeyringKey(QStringLiteral("stage")));
    TPasswordKeyring live(TServerProfiles::KeyringKey(QStringLiteral("live")));
    EXPECT_FALSE(stage.Read().Found);
    EXPECT_EQ(live.Read().Password, InKeyring() ? QStringLiteral("stage pw") : QString());

    form = Open();
    EXPECT_EQ(form->ProfileName(), QStringLiteral("live"));
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("stage pw"));
    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(question, nullptr);
        asked = true;
        question->button(QMessageBox::Yes)->click();
    });
    form->DeleteProfileAction->trigger();
    EXPECT_TRUE(asked);
    EXPECT_EQ(form->ProfileName(), QStringLiteral("Default"));
    EXPECT_EQ(form->ProfileBox->count(), 1);
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("default pw"));
    Close(form);
    EXPECT_FALSE(live.Read().Found);
    EXPECT_EQ(FKeyring.Read().Password, InKeyring() ? QStringLiteral("default pw") : QString());
    QSettings file(FFile, QSettings::IniFormat);
    for (const QString& key : file.allKeys())
        EXPECT_FALSE(key.contains(QLatin1String("live")) || key.contains(QLatin1String("stage")))
            << key.toStdString();
    live.Remove();
}

} // namespace
