// The window's keyboard: finding commands by typing (in the tree and in the "Go to command"
// popup, whose order is checked on its own first), the shortcuts and the About box.

#include "AboutBox.h"
#include "Catalogue.h"
#include "CommandSearch.h"
#include "CommandTree.h"
#include "GoToCommandPopup.h"
#include "HistoryForm.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "ResultsForm.h"

#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using TKind = TCommandMatch::TKind;

struct TExpected {
    const char* Name;
    TKind Kind;
    const char* ParamName;
};

TEST(CommandSearch, NamesThenParametersThenHelpBestFirst) {
    TCommandList catalogue;
    AppendCatalogue(catalogue);
    struct Case {
        const char* Query;
        std::vector<TExpected> First; // the leading matches, in order
        std::size_t Count;            // all matches
    };
    const Case cases[] = {
        {"ringgamesstart", {{"RingGamesStart", TKind::ExactName, ""}}, 1},
        {"RINGGAMESST", {{"RingGamesStart", TKind::NamePrefix, ""}}, 1},
        {"start",
         {{"RingGamesStart", TKind::NameWord, ""}, {"TournamentsStart", TKind::NameWord, ""}},
         0},
        {"tstart", {{"TournamentsStart", TKind::NameWordStarts, ""}}, 1},
        {"rgst", {{"RingGamesStart", TKind::NameWordStarts, ""}}, 1},
        {"lobby chat", {{"LogsLobbyChat", TKind::NameWord, ""}}, 0},
        // A name first, then exact parameter names, then parts of them, then help texts.
        {"chat",
         {{"LogsLobbyChat", TKind::NameWord, ""},
          {"AccountsAdd", TKind::ExactParamName, "Chat"},
          {"AccountsEdit", TKind::ExactParamName, "Chat"},
          {"RingGamesAdd", TKind::ParamNamePart, "ObserverChat"},
          {"RingGamesEdit", TKind::ParamNamePart, "ObserverChat"},
          {"TournamentsAdd", TKind::ParamNamePart, "PlayerChat"},
          {"TournamentsEdit", TKind::ParamNamePart, "PlayerChat"},
          {"RingGamesMessage", TKind::Help, ""}},
         0},
        {"session",
         {{"AccountsSessionKey", TKind::NameWord, ""},
          {"ConnectionsGet", TKind::ParamNamePrefix, "SessionID"}},
         0},
        {"nosuchthing", {}, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Query);
        const std::vector<TCommandMatch> matches = MatchCommands(catalogue, test.Query);
        ASSERT_GE(matches.size(), test.First.size());
        if (test.Count != 0 || test.First.empty()) {
            EXPECT_EQ(matches.size(), test.Count);
        }
        for (std::size_t i = 0; i < test.First.size(); ++i) {
            EXPECT_EQ(catalogue[matches[i].Position]->Name, test.First[i].Name) << i;
            EXPECT_EQ(matches[i].Kind, test.First[i].Kind) << i;
            EXPECT_EQ(matches[i].ParamName, test.First[i].ParamName) << i;
        }
        // Best first, catalogue order within a kind, each command once and never a group.
        for (std::size_t i = 1; i < matches.size(); ++i) {
            EXPECT_TRUE(matches[i - 1].Kind < matches[i].Kind ||
                        (matches[i - 1].Kind == matches[i].Kind &&
                         matches[i - 1].Position < matches[i].Position))
                << i;
        }
        for (const TCommandMatch& match : matches)
            EXPECT_FALSE(catalogue[match.Position]->Header);
    }
    // Nothing typed: every command, in catalogue order.
    const std::vector<TCommandMatch> all = MatchCommands(catalogue, "  ");
    ASSERT_EQ(all.size(), 83u);
    EXPECT_EQ(catalogue[all.front().Position]->Name, "AccountsAdd");
    EXPECT_EQ(catalogue[all.back().Position]->Name, "TournamentsWaiting");
}

const QColor Grey(128, 128, 128);

class KeyboardTest : public ::testing::Test {
protected:
    KeyboardTest() {
        FForm = std::make_unique<TMainForm>(SettingsFile());
        FForm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        QApplication::setActiveWindow(FForm.get());
        QApplication::setKeyboardInputInterval(60000); // slow typing still makes one name
    }
    ~KeyboardTest() override { QApplication::setKeyboardInputInterval(400); }

    QString SettingsFile() const { return FFolder.filePath(QStringLiteral("Tessarine.conf")); }
    std::string Current() const { return FForm->Current()->Name; }
    bool GroupOfCurrentExpanded() const {
        return FForm->CommandTree->isExpanded(FForm->CommandTree->currentIndex().parent());
    }

    QTemporaryDir FFolder;
    std::unique_ptr<TMainForm> FForm;
};

TEST_F(KeyboardTest, TypingInTheTreeFindsCommandsInCollapsedGroups) {
    QTest::keyClicks(FForm->CommandTree, QStringLiteral("tournamentsst"));
    EXPECT_EQ(Current(), "TournamentsStart");
    EXPECT_TRUE(GroupOfCurrentExpanded());
    EXPECT_TRUE(
        FForm->CommandTree->selectionModel()->isSelected(FForm->CommandTree->currentIndex()));

    // The same letter again and again steps through the names that begin with it.
    FForm->CommandTree->keyboardSearch(QString());
    QTest::keyClicks(FForm->CommandTree, QStringLiteral("r"));
    EXPECT_EQ(Current(), "Ring Games");
    QTest::keyClicks(FForm->CommandTree, QStringLiteral("r"));
    EXPECT_EQ(Current(), "RingGamesAdd");
    EXPECT_TRUE(GroupOfCurrentExpanded());
    FForm->CommandTree->keyboardSearch(QString());
    QTest::keyClicks(FForm->CommandTree, QStringLiteral("zz"));
    EXPECT_EQ(Current(), "RingGamesAdd"); // nothing found: nothing moves
}

TEST_F(KeyboardTest, GoToCommandPopupFiltersAndFocusesTheChoice) {
    QTest::keyClick(FForm->CommandTree, Qt::Key_K, Qt::ControlModifier);
    TGoToCommandPopup* popup = FForm->GoToCommandPopup;
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(popup->isVisible());
    // The box is a window of its own: the focus moves into it once it is activated.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == popup->Field; }, 5000));
    EXPECT_EQ(popup->List->count(), 83);
    EXPECT_FALSE(FForm->layout()->indexOf(popup) >= 0);

    QTest::keyClicks(popup->Field, QStringLiteral("chat"));
    ASSERT_GE(popup->List->count(), 8);
    EXPECT_EQ(popup->List->item(0)->text(), QStringLiteral("LogsLobbyChat"));
    EXPECT_EQ(popup->List->item(1)->text(), QStringLiteral("AccountsAdd  (parameter Chat)"));
    // No version entered: every command is outside it and shown grey.
    EXPECT_EQ(popup->List->item(0)->foreground().color(), Grey);
    QTest::keyClick(popup->Field, Qt::Key_Down);
    QTest::keyClick(popup->Field, Qt::Key_Return);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(Current(), "AccountsAdd");
    EXPECT_TRUE(GroupOfCurrentExpanded());
    EXPECT_TRUE(QTest::qWaitFor([&] { return FForm->CommandTree->hasFocus(); }, 5000));

    // Within the version, entries keep the list's own colour. Esc closes and changes nothing.
    FForm->VerEdit->setText(QStringLiteral("7.00"));
    QTest::keyClick(FForm->CommandTree, Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->Field->text(), QString());
    QTest::keyClicks(popup->Field, QStringLiteral("ringgamesst"));
    ASSERT_EQ(popup->List->count(), 1);
    EXPECT_EQ(popup->List->item(0)->foreground().style(), Qt::NoBrush);
    QTest::keyClick(popup->Field, Qt::Key_Escape);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(Current(), "AccountsAdd");
}

TEST_F(KeyboardTest, F1ShowsAboutAndCtrlQClosesThroughTheCloseQuery) {
    {
        ModalBoxWatcher watcher;
        QTest::keyClick(FForm->CommandTree, Qt::Key_F1);
        ASSERT_EQ(watcher.Boxes.size(), 1u);
        EXPECT_EQ(watcher.Boxes[0].Title, QStringLiteral("About vlcallbench"));
        const QString text = watcher.Boxes[0].Text;
        for (const QString& part :
             {QStringLiteral("vlcallbench 1.26"), QStringLiteral("Ctrl+Return"),
              QStringLiteral("Ctrl+K"), QStringLiteral("Ctrl+Q"), QStringLiteral("F1"),
              QStringLiteral("Qt ") + QString::fromLatin1(qVersion())})
            EXPECT_TRUE(text.contains(part)) << part.toStdString();
        EXPECT_EQ(text, AboutText());
        // Every window's keys are in it.
        for (const QString& part : {QStringLiteral("Ctrl+J"), QStringLiteral("Ctrl+W"),
                                    QStringLiteral("Ctrl+L"), QStringLiteral("Ctrl+F")})
            EXPECT_TRUE(text.contains(part)) << part.toStdString();
    }
    // F1 shows it over the results and history windows as well.
    FForm->ShowHistory();
    for (QWidget* window : {static_cast<QWidget*>(&FForm->ResultsWindow()),
                            static_cast<QWidget*>(FForm->HistoryWindow())}) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QApplication::setActiveWindow(window);
        ModalBoxWatcher watcher;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window,
                        Qt::Key_F1);
        ASSERT_EQ(watcher.Boxes.size(), 1u) << window->metaObject()->className();
        EXPECT_EQ(watcher.Boxes[0].Text, AboutText());
        window->hide();
    }
    QApplication::setActiveWindow(FForm.get()); // back from the box
    FForm->IPEdit->setText(QStringLiteral("example.org"));
    QTest::keyClick(FForm->IPEdit, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(FForm->isVisible());
    QSettings stored(SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("VLCallbench/IP")).toString(),
              QStringLiteral("example.org"));
}

} // namespace
