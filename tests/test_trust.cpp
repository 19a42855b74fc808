// The window and untrusted server certificates: the question, the pins it leaves in the settings
// file, and a refusal that sends nothing.

#include "CommandTree.h"
#include "MainForm.h"
#include "MainWindowDriver.h"
#include "PinStore.h"
#include "QtTestSupport.h"
#include "ResultsForm.h"
#include "TrustPrompt.h"
#include "tls/TlsTestServer.h"

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const std::string OkAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"
                             "Content-Length: 9\r\n\r\nResult=Ok";

enum class TAnswer { Trust, CancelButton, EscKey, CancelSending };

// A question as the user saw it.
struct TQuestion {
    QString Title;
    QString Text;
    QStringList Buttons;
    QString Default;
    QString Escape;
    bool OverSendingDialog = false;
};

struct TOutcome {
    std::vector<TQuestion> Questions;
    std::vector<SeenBox> OtherBoxes;
    QString Results;
};

class TrustTest : public ::testing::Test {
protected:
    TrustTest() : FForm(std::make_unique<TMainForm>(SettingsFile())) {
        FForm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        EXPECT_TRUE(ClickCommand(*FForm, "SystemStats"));
        EXPECT_NE(FForm->Current(), nullptr);
    }

    QString SettingsFile() const { return FFolder.filePath(QStringLiteral("Tessarine.conf")); }
    TPinStore Pins() const { return TPinStore(SettingsFile()); }

    // Sends to AServer and answers every certificate question with AAnswer.
    TOutcome Send(const TTlsTestServer& AServer, TAnswer AAnswer) {
        FForm->IPEdit->setText(QStringLiteral("https://127.0.0.1"));
        FForm->FilePortEdit->setText(QString::number(AServer.Port()));
        TOutcome outcome;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (auto* results = qobject_cast<TResultsForm*>(modal)) {
                // The window opens as the answer starts to arrive.
                if (results->Receiving() || results->Busy())
                    return;
                outcome.Results = results->ResultsText();
                results->close();
            } else if (box && box->isVisible() && box->icon() == QMessageBox::Warning &&
                       box != FAnswered) {
                FAnswered = box;
                TQuestion question{box->windowTitle(), box->text(), {}, {}, {}, false};
                for (QAbstractButton* button : box->buttons())
                    question.Buttons << button->text();
                question.Default = box->defaultButton() ? box->defaultButton()->text() : QString();
                question.Escape = box->escapeButton() ? box->escapeButton()->text() : QString();
                auto* sending = qobject_cast<QDialog*>(box->parentWidget());
                question.OverSendingDialog = sending != nullptr;
                outcome.Questions.push_back(question);
                switch (AAnswer) {
                case TAnswer::Trust: // by its key, Alt+T
                    QApplication::setActiveWindow(box);
                    QTest::keyClick(box, Qt::Key_T, Qt::AltModifier);
                    break;
                case TAnswer::CancelButton:
                    box->escapeButton()->click();
                    break;
                case TAnswer::EscKey:
                    QTest::keyClick(box, Qt::Key_Escape);
                    break;
                case TAnswer::CancelSending:
                    for (auto* button : sending->findChildren<QPushButton*>())
                        if (button->text() == QLatin1String("Cancel"))
                            button->click();
                    break;
                }
            } else if (box && box->isVisible() && box != FAnswered) {
                outcome.OtherBoxes.push_back({true, box->windowTitle(), box->text(), box->icon(),
                                              static_cast<int>(box->buttons().size()),
                                              box->detailedText()});
                box->buttons().front()->click();
            } else if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
                FSendingShown = true;
        });
        poll.start();
        QTest::mouseClick(FForm->CallButton, Qt::LeftButton);
        return outcome;
    }

    QTemporaryDir FFolder;
    std::unique_ptr<TMainForm> FForm;
    std::atomic<bool> FSendingShown{false};
    QPointer<QMessageBox> FAnswered;
};

TEST(TrustTexts, FingerprintsShowInPairsAsOpensslPrintsThem) {
    EXPECT_EQ(FingerprintForDisplay("sha256:0a1bff"), QStringLiteral("SHA-256 0A:1B:FF"));
}

TEST_F(TrustTest, FirstUseAsksThenThePinIsTrustedSilently) {
    const TTestCertificate& Certificate = TTestPki::Get().SelfSigned;
    TTlsTestServer Server({TTlsServerMode::Answer, OkAnswer, true, &Certificate});

    TOutcome outcome = Send(Server, TAnswer::Trust);
    ASSERT_EQ(outcome.Questions.size(), 1U);
    const TQuestion& question = outcome.Questions[0];
    EXPECT_EQ(question.Title, QStringLiteral("Untrusted certificate"));
    EXPECT_EQ(question.Buttons, (QStringList{QStringLiteral("&Trust"), QStringLiteral("Cancel")}));
    EXPECT_EQ(question.Default, QStringLiteral("Cancel"));
    EXPECT_EQ(question.Escape, QStringLiteral("Cancel"));
    const QString port = QString::number(Server.Port());
    for (const QString& part :
         {QStringLiteral("127.0.0.1:") + port, QStringLiteral("self-signed certificate"),
          QStringLiteral("Subject: CN=localhost,O=VL Test"),
          QStringLiteral("Issuer: CN=localhost,O=VL Test"), QStringLiteral(" UTC to "),
          QStringLiteral("Fingerprint: ") + FingerprintForDisplay(Certificate.Fingerprint),
          QStringLiteral("Trust remembers this certificate for 127.0.0.1:") + port})
        EXPECT_TRUE(question.Text.contains(part))
            << part.toStdString() << " in " << question.Text.toStdString();
    EXPECT_TRUE(outcome.OtherBoxes.empty()) << outcome.OtherBoxes[0].Text.toStdString();
    EXPECT_EQ(outcome.Results, QStringLiteral("Result=Ok"));
    EXPECT_EQ(Pins().Find("127.0.0.1", Server.Port()), Certificate.Fingerprint);

    outcome = Send(Server, TAnswer::CancelButton);
    EXPECT_TRUE(outcome.Questions.empty());
    EXPECT_EQ(outcome.Results, QStringLiteral("Result=Ok"));
    ASSERT_TRUE(Server.WaitForRequests(2));
}

TEST_F(TrustTest, AChangedCertificateShowsBothFingerprints) {
    const TTestPki& Pki = TTestPki::Get();
    TTlsTestServer Server({TTlsServerMode::Answer, OkAnswer, true, &Pki.SelfSigned2});
    ASSERT_TRUE(Pins().Pin("127.0.0.1", Server.Port(), Pki.SelfSigned.Fingerprint));

    const TOutcome outcome = Send(Server, TAnswer::Trust);
    ASSERT_EQ(outcome.Questions.size(), 1U);
    const TQuestion& question = outcome.Questions[0];
    EXPECT_EQ(question.Title, QStringLiteral("Certificate changed"));
    EXPECT_EQ(question.Buttons, (QStringList{QStringLiteral("&Trust the new certificate"),
                                             QStringLiteral("Cancel")}));
    EXPECT_EQ(question.Default, QStringLiteral("Cancel"));
    EXPECT_TRUE(question.Text.contains(QStringLiteral("Old fingerprint: ") +
                                       FingerprintForDisplay(Pki.SelfSigned.Fingerprint)));
    EXPECT_TRUE(question.Text.contains(QStringLiteral("New fingerprint: ") +
                                       FingerprintForDisplay(Pki.SelfSigned2.Fingerprint)));
    EXPECT_TRUE(question.Text.contains(QStringLiteral("Someone may be intercepting")));
    EXPECT_EQ(outcome.Results, QStringLiteral("Result=Ok"));
    EXPECT_EQ(Pins().Find("127.0.0.1", Server.Port()), Pki.SelfSigned2.Fingerprint);
}

TEST_F(TrustTest, RefusalEndsTheCallQuietlyAndSendsNothing) {
    const TTestCertificate& Certificate = TTestPki::Get().SelfSigned;
    for (const TAnswer answer : {TAnswer::CancelButton, TAnswer::EscKey, TAnswer::CancelSending}) {
        SCOPED_TRACE(static_cast<int>(answer));
        // Cancel of the Sending dialog: the question comes after the dialog is up.
        FSendingShown = false;
        TTlsServerOptions options{TTlsServerMode::Answer, OkAnswer, true, &Certificate};
        if (answer == TAnswer::CancelSending)
            options.BeforeHandshake = [this] {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!FSendingShown && std::chrono::steady_clock::now() < end)
                    std::this_thread::yield();
            };
        TTlsTestServer Server(options);

        const TOutcome outcome = Send(Server, answer);
        ASSERT_EQ(outcome.Questions.size(), 1U);
        EXPECT_EQ(outcome.Questions[0].OverSendingDialog, answer == TAnswer::CancelSending);
        EXPECT_TRUE(outcome.OtherBoxes.empty()) << outcome.OtherBoxes[0].Text.toStdString();
        EXPECT_TRUE(outcome.Results.isEmpty());
        ASSERT_TRUE(Server.WaitForServed(1));
        EXPECT_EQ(Server.Requests(), std::vector<std::string>{""});
        EXPECT_FALSE(Pins().Find("127.0.0.1", Server.Port()));
        EXPECT_FALSE(FForm->Sending());
    }
}

} // namespace
