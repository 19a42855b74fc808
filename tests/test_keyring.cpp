// The API password and the keyring: kept there while "Remember API Password" is ticked, moved
// there from the settings file, forgotten when unticked, and the settings file when no keyring
// answers. Run twice: by tests/keyring/with-keyring.sh against a real Secret Service in a
// private session bus (VL_KEYRING_TEST=1), and without any session bus.

#include "MainForm.h"
#include "PasswordKeyring.h"
#include "QtTestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

bool KeyringExpected() {
    return qEnvironmentVariable("VL_KEYRING_TEST") == QLatin1String("1");
}

class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test starts with no entry.
        const TPasswordKeyring::TResult removed = Keyring.Remove();
        ASSERT_EQ(removed.State == TPasswordKeyring::TState::Available, KeyringExpected())
            << removed.Error.toStdString();
    }

    std::unique_ptr<TMainForm> Open() {
        auto form = std::make_unique<TMainForm>(File);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }
    void Close(std::unique_ptr<TMainForm>& AForm) {
        EXPECT_TRUE(AForm->close());
        AForm.reset();
    }
    QVariant Stored(const char* AName) const {
        return QSettings(File, QSettings::IniFormat)
            .value(QStringLiteral("VLCallbench/") + QLatin1String(AName));
    }

    QTemporaryDir Folder;
    QString File = Folder.filePath(QStringLiteral("Tessarine.conf"));
    TPasswordKeyring Keyring;
};

TEST_F(KeyringTest, RememberedPasswordRoundTrip) {
    auto form = Open();
    EXPECT_TRUE(form->RememberPW->toolTip().contains(File))
        << form->RememberPW->toolTip().toStdString();
    form->RememberPW->setChecked(true);
    form->PasswordEdit->setText(QStringLiteral("s3cret pw"));
    Close(form);

    EXPECT_EQ(Stored("RememberPW").toString(), QStringLiteral("1"));
    const TPasswordKeyring::TResult entry = Keyring.Read();
    if (KeyringExpected()) {
        EXPECT_FALSE(Stored("Password").isValid());
        EXPECT_TRUE(entry.Found);
        EXPECT_EQ(entry.Password, QStringLiteral("s3cret pw"));
    } else {
        EXPECT_EQ(Stored("Password").toString(), QStringLiteral("s3cret pw"));
        EXPECT_EQ(QFile::permissions(File) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_FALSE(entry.Found);
    }

    form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("s3cret pw"));
    const QString tip = form->RememberPW->toolTip();
    if (KeyringExpected()) {
        EXPECT_EQ(tip, QStringLiteral("The password is kept in the desktop's keyring, not in the "
                                      "settings file."));
    } else {
        EXPECT_TRUE(tip.startsWith(QStringLiteral("No keyring service answers, so the password "
                                                  "is kept in the settings file ")) &&
                    tip.contains(File))
            << tip.toStdString();
    }

    // Unticked: forgotten by the keyring and the file.
    form->RememberPW->setChecked(false);
    Close(form);
    EXPECT_FALSE(Keyring.Read().Found);
    EXPECT_EQ(Stored("RememberPW").toString(), QStringLiteral("0"));
    EXPECT_EQ(Stored("Password").toString(), QString());
    form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QString());
}

TEST_F(KeyringTest, PasswordInTheFileMovesToTheKeyring) {
    {
        QSettings file(File, QSettings::IniFormat);
        file.setValue(QStringLiteral("VLCallbench/RememberPW"), QStringLiteral("1"));
        file.setValue(QStringLiteral("VLCallbench/Password"), QStringLiteral("from file"));
    }
    if (KeyringExpected()) { // an older entry loses against the file's newer value
        ASSERT_EQ(Keyring.Write(QStringLiteral("older")).State,
                  TPasswordKeyring::TState::Available);
    }
    auto form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("from file"));
    Close(form);

    EXPECT_EQ(Keyring.Read().Password, KeyringExpected() ? QStringLiteral("from file") : QString());
    EXPECT_EQ(Stored("Password").isValid(), !KeyringExpected());
    form = Open();
    EXPECT_EQ(form->PasswordEdit->text(), QStringLiteral("from file"));
}

} // namespace
