// Server profiles in the real window: today's settings file is the one profile, profiles switch
// the connection fields, a production profile is marked and asks before anything but a read goes
// to a loopback server, which sees nothing on Cancel or a wrongly typed name.

#include "MainForm.h"
#include "MainWindowDriver.h"
#include "ProductionConfirm.h"
#include "ScriptedServer.h"
#include "ServerProfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class ProfilesWindowTest : public ::testing::Test {
protected:
    void Open() {
        FForm = std::make_unique<TMainForm>(SettingsFile());
        FForm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        QApplication::setActiveWindow(FForm.get());
    }
    QString SettingsFile() const { return FFolder.filePath(QStringLiteral("Tessarine.conf")); }
    void WriteSettings(const QByteArray& AContents) const {
        QFile file(SettingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AContents);
    }
    // Clicks Send while AAnswer handles the production question, which must come.
    void SendAnswering(const std::function<void(TProductionConfirm&)>& AAnswer) {
        bool asked = false;
        QTimer::singleShot(0, [&] {
            auto* confirm = qobject_cast<TProductionConfirm*>(QApplication::activeModalWidget());
            ASSERT_NE(confirm, nullptr);
            asked = true;
            AAnswer(*confirm);
            if (confirm->isVisible())
                confirm->reject();
        });
        QTest::mouseClick(FForm->CallButton, Qt::LeftButton);
        EXPECT_TRUE(asked);
    }

    QTemporaryDir FFolder;
    std::unique_ptr<TMainForm> FForm;
};

TEST_F(ProfilesWindowTest, TodaysSettingsAreTheOneProfileAndSwitchingKeepsBoth) {
    WriteSettings("[VLCallbench]\nVersion=6.50\nIP=https://test.example\nPort=8443\nPath=api2\n"
                  "RememberPW=0\nKeepHistory=1\nResultsView=Raw\n");
    Open();
    EXPECT_EQ(FForm->ProfileBox->count(), 1);
    EXPECT_EQ(FForm->ProfileBox->currentText(), QStringLiteral("Default"));
    EXPECT_EQ(FForm->windowTitle(), QStringLiteral("Velvaro API Reference Utility 1.26"));
    EXPECT_FALSE(FForm->ConnectionPanel->autoFillBackground());
    // The profile row sits right of the password, on the fields' line, without moving them.
    EXPECT_EQ(FForm->PasswordEdit->geometry(), QRect(467, 24, 143, 21));
    EXPECT_GT(FForm->ProfileBox->x(), FForm->PasswordEdit->geometry().right());
    EXPECT_EQ(FForm->ProfileBox->y(), 24);
    EXPECT_LE(FForm->ProfileButton->geometry().right(), FForm->ConnectionPanel->width());

    ASSERT_TRUE(FForm->NewProfile(QStringLiteral("live")));
    EXPECT_EQ(FForm->ProfileName(), QStringLiteral("live"));
    EXPECT_EQ(FForm->IPEdit->text(), QStringLiteral("http://127.0.0.1"));
    FForm->IPEdit->setText(QStringLiteral("https://live.example"));

    // Back to Default: its fields as they were; live keeps what was typed.
    FForm->ProfileBoxChange(FForm->ProfileBox->findText(QStringLiteral("Default")));
    EXPECT_EQ(FForm->IPEdit->text(), QStringLiteral("https://test.example"));
    EXPECT_EQ(FForm->VerEdit->text(), QStringLiteral("6.50"));
    FForm->ProfileBoxChange(FForm->ProfileBox->findText(QStringLiteral("live")));
    EXPECT_EQ(FForm->IPEdit->text(), QStringLiteral("https://live.example"));
    FForm->close();
    FForm.reset();
    TConnectionSettings settings;
    TSettingsStore(SettingsFile()).Load(settings);
    EXPECT_EQ(settings.IP, QStringLiteral("https://live.example"));
    EXPECT_EQ(TServerProfiles(SettingsFile()).CurrentName(), QStringLiteral("live"));
}

TEST_F(ProfilesWindowTest, ProductionProfileIsMarkedAndAsksBeforeAnythingButAReadIsSent) {
    const TScriptedServer server(TServerScript().ReadRequest().Send(
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nOK"));
    Open();
    ASSERT_TRUE(FForm->NewProfile(QStringLiteral("live")));
    FForm->IPEdit->setText(QStringLiteral("http://127.0.0.1"));
    FForm->FilePortEdit->setText(QString::number(server.Port()));
    FForm->PasswordEdit->setText(QStringLiteral("s3cret"));
    FForm->ProductionAction->trigger();
    EXPECT_TRUE(FForm->ProductionProfile());
    // Not colour alone: the name in the band, the title and the accessible name.
    EXPECT_TRUE(FForm->ConnectionPanel->autoFillBackground());
    EXPECT_EQ(FForm->ProfileLabel->text(), QStringLiteral("PRODUCTION: live"));
    EXPECT_EQ(FForm->windowTitle(),
              QStringLiteral("Velvaro API Reference Utility 1.26 - PRODUCTION: live"));
    EXPECT_EQ(FForm->accessibleName(), FForm->windowTitle());

    ASSERT_TRUE(ClickCommand(*FForm, "AccountsDelete"));
    // Cancel, the default, sends nothing.
    SendAnswering([](TProductionConfirm& AConfirm) {
        EXPECT_TRUE(AConfirm.CancelButton->isDefault());
        EXPECT_TRUE(AConfirm.Statement->text().contains(
            QStringLiteral("AccountsDelete removes data on production profile 'live'")));
        EXPECT_TRUE(AConfirm.Statement->text().contains(QStringLiteral("Class: remove")));
        EXPECT_TRUE(
            AConfirm.Values->toPlainText().contains(QStringLiteral("Command=AccountsDelete")));
        EXPECT_TRUE(
            AConfirm.Values->toPlainText().contains(QStringLiteral("Password=(not shown)")));
        QTest::keyClick(&AConfirm, Qt::Key_Return);
    });
    // A wrongly typed name leaves Send disabled.
    SendAnswering([](TProductionConfirm& AConfirm) {
        ASSERT_NE(AConfirm.NameEdit, nullptr);
        QTest::keyClicks(AConfirm.NameEdit, QStringLiteral("Live"));
        EXPECT_FALSE(AConfirm.SendButton->isEnabled());
        QTest::mouseClick(AConfirm.SendButton, Qt::LeftButton);
        QTest::keyClick(AConfirm.NameEdit, Qt::Key_Return);
    });
    EXPECT_EQ(server.ConnectionCount(), 0U);

    // A change asks without a typed name; Cancel again sends nothing.
    ASSERT_TRUE(ClickCommand(*FForm, "AccountsIncBalance"));
    SendAnswering([](TProductionConfirm& AConfirm) {
        EXPECT_EQ(AConfirm.NameEdit, nullptr);
        EXPECT_TRUE(AConfirm.Statement->text().contains(
            QStringLiteral("AccountsIncBalance moves money on production profile 'live'")));
        QTest::mouseClick(AConfirm.CancelButton, Qt::LeftButton);
    });
    EXPECT_EQ(server.ConnectionCount(), 0U);

    // Unticked, the profile is ordinary again.
    FForm->ProductionAction->trigger();
    EXPECT_FALSE(FForm->ProductionProfile());
    EXPECT_EQ(FForm->windowTitle(), QStringLiteral("Velvaro API Reference Utility 1.26"));
    EXPECT_FALSE(FForm->ConnectionPanel->autoFillBackground());
}

} // namespace
