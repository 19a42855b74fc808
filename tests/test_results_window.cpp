// The results window driven by keys on the offscreen platform: the find bar, Raw and Pretty, the
// status line, saving, and its place beside the main window, which keeps the jq filters used.

#include "FilterMemory.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "ResultsFixture.h"
#include "ResultsView.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

TEST_F(ResultsTest, FindCountsAndSteps) {
    SetAnswer(QStringLiteral("one Two\ntwo three\nTWO"), "text/plain");
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(FForm.FindBar->isVisible());
    QTest::keyClicks(FForm.FindBar->FindEdit, QStringLiteral("two"));
    WaitIdle();
    EXPECT_EQ(Count(), QStringLiteral("1 of 3"));
    EXPECT_EQ(Selected(), QStringLiteral("Two"));
    EXPECT_EQ(FForm.ResultsMemo->Matches(), (std::vector<int64_t>{4, 8, 18}));
    const std::pair<int, Qt::KeyboardModifiers> steps[] = {{Qt::Key_Return, {}},
                                                           {Qt::Key_F3, {}},
                                                           {Qt::Key_F3, {}},
                                                           {Qt::Key_Return, Qt::ShiftModifier},
                                                           {Qt::Key_F3, Qt::ShiftModifier}};
    const char* const counts[] = {"2 of 3", "3 of 3", "1 of 3", "3 of 3", "2 of 3"};
    for (int i = 0; i < 5; ++i) {
        Key(steps[i].first, steps[i].second);
        EXPECT_EQ(Count(), QString::fromLatin1(counts[i])) << i;
    }
    EXPECT_EQ(FForm.ResultsMemo->SelectionStart(), 8);

    FForm.FindBar->MatchCase->click();
    WaitIdle();
    EXPECT_EQ(Count(), QStringLiteral("1 of 1"));
    EXPECT_EQ(FForm.ResultsMemo->SelectionStart(), 8);
    QTest::keyClicks(FForm.FindBar->FindEdit, QStringLiteral("x"));
    WaitIdle();
    EXPECT_EQ(Count(), QStringLiteral("0 of 0"));

    // Escape closes the bar, not the window; a second Escape does nothing.
    Key(Qt::Key_Escape);
    EXPECT_FALSE(FForm.FindBar->isVisible());
    EXPECT_TRUE(FForm.ResultsMemo->Matches().empty());
    Key(Qt::Key_Escape);
    EXPECT_TRUE(FForm.isVisible());
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(FForm.isVisible());
}

TEST_F(ResultsTest, PrettyToggleAndNotJson) {
    SetAnswer(QStringLiteral(R"({"a":[1,"x"]})"));
    EXPECT_EQ(FForm.ResultsMemo->toPlainText(), QStringLiteral(R"({"a":[1,"x"]})"));
    Key(Qt::Key_J, Qt::ControlModifier);
    EXPECT_TRUE(FForm.PrettyChoice());
    EXPECT_TRUE(FForm.PrettyButton->isChecked());
    EXPECT_EQ(FForm.ResultsMemo->toPlainText(),
              QStringLiteral("{\n  \"a\": [\n    1,\n    \"x\"\n  ]\n}"));
    EXPECT_TRUE(FForm.StatusLine->text().contains(QStringLiteral("| 6 lines |")))
        << FForm.StatusLine->text().toStdString();
    FForm.PrettyButton->click();
    EXPECT_FALSE(FForm.ShowingPretty());

    // Not JSON: stays raw, and the status line says where reading stopped.
    FForm.PrettyButton->click();
    SetAnswer(QStringLiteral("{\"a\":1,\n\"b\" 2}"));
    EXPECT_TRUE(FForm.PrettyChoice());
    EXPECT_FALSE(FForm.ShowingPretty());
    EXPECT_EQ(FForm.ResultsMemo->Document()->LineCount(), 2);
    EXPECT_TRUE(FForm.StatusLine->text().endsWith(QStringLiteral(" | Not JSON: line 2, column 5")))
        << FForm.StatusLine->text().toStdString();
}

// The text's context menu does what the keys do; a new answer starts with an empty find bar; the
// status says what was assumed or cut, and a long status never widens the window.
TEST_F(ResultsTest, ContextMenuFindBarAndStatusDetails) {
    SetAnswer(QStringLiteral(R"({"a":[1,"x"]})"));
    const auto menu = FForm.MakeContextMenu();
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text() + u'=' + QString::number(action->isEnabled()) + u'=' +
                         action->shortcut().toString();
    EXPECT_EQ(texts.join(u' '), QStringLiteral("&Copy=0=Ctrl+C Select &All=1=Ctrl+A "
                                               "&Find...=1=Ctrl+F jq Fi&lter...=1=Ctrl+G "
                                               "&Save As...=1=Ctrl+S "
                                               "&Raw=1= &Pretty=1=Ctrl+J"));
    const auto trigger = [&](const QString& AText) {
        const auto fresh = FForm.MakeContextMenu();
        for (QAction* action : fresh->actions())
            if (action->text() == AText)
                action->trigger();
        WaitIdle();
    };
    trigger(QStringLiteral("&Pretty"));
    EXPECT_TRUE(FForm.ShowingPretty());
    trigger(QStringLiteral("Select &All"));
    trigger(QStringLiteral("&Copy"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), FForm.ResultsMemo->toPlainText());
    trigger(QStringLiteral("&Find..."));
    EXPECT_TRUE(FForm.FindBar->isVisible());
    FForm.FindBar->FindEdit->setText(QStringLiteral("x"));
    WaitIdle();
    trigger(QStringLiteral("&Raw"));
    EXPECT_FALSE(FForm.ShowingPretty());

    // The next answer: no search of its own yet.
    TCallResult cut;
    cut.Text = u"{\"a\":\"abc";
    cut.StatusLine = "HTTP/1.1 200 OK";
    cut.ContentType = "text/plain";
    cut.CharSet = "ISO-8859-1";
    cut.CharSetAssumed = true;
    cut.ByteSize = 20 * 1024 * 1024;
    cut.KeptBytes = 16 * 1024 * 1024;
    FForm.SetPrettyChoice(true);
    FForm.resize(500, 300);
    FForm.SetCallResult(cut);
    WaitIdle();
    EXPECT_TRUE(FForm.FindBar->FindEdit->text().isEmpty());
    EXPECT_FALSE(FForm.FindBar->isVisible());
    const QString status = FForm.StatusLine->text();
    EXPECT_TRUE(status.contains(QStringLiteral(" | first 16.00 MiB of 20.00 MiB kept | "
                                               "text/plain; charset=ISO-8859-1 (assumed) | ")))
        << status.toStdString();
    EXPECT_FALSE(status.contains(QStringLiteral("Not JSON"))) << status.toStdString();
    QApplication::processEvents();
    EXPECT_EQ(FForm.width(), 500);
}

TEST_F(ResultsTest, StatusLineNamesTheCall) {
    SetAnswer(QStringLiteral("a\nb\n\u00e9"), "text/plain");
    EXPECT_EQ(FForm.StatusLine->text(),
              QStringLiteral("HTTP/1.1 200 OK | 6 bytes | 3 lines | text/plain; charset=utf-8 | "
                             "%1 ms")
                  .arg(QLocale().toString(1234)));
}

TEST_F(ResultsTest, SavesAsShownUnderASuggestedName) {
    QTemporaryDir folder;
    QString suggested;
    QString answer = folder.filePath(QStringLiteral("answer.json"));
    FForm.AskSaveFileName = [&](QWidget*, const QString& ASuggested) {
        suggested = ASuggested;
        return answer;
    };
    const auto read = [&] {
        QFile file(answer);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    };
    SetAnswer(QStringLiteral("{\"n\":\"\u00e9\U0001F600\"}\r\n"));
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("/AccountsList-\\d{8}-\\d{6}\\.json$"))
                    .match(suggested)
                    .hasMatch())
        << suggested.toStdString();
    EXPECT_EQ(read(), QByteArray("{\"n\":\"\xc3\xa9\xf0\x9f\x98\x80\"}\r\n"));
    FForm.SetPrettyChoice(true);
    WaitIdle();
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(read(), QByteArray("{\n  \"n\": \"\xc3\xa9\xf0\x9f\x98\x80\"\n}\n"));
    // The next save offers the folder used last; a text answer is offered as .txt.
    EXPECT_TRUE(suggested.startsWith(folder.path()));
    SetAnswer(QStringLiteral("Result=Ok"), "text/plain");
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(suggested.startsWith(folder.path() + QStringLiteral("/AccountsList-")));
    EXPECT_TRUE(suggested.endsWith(QStringLiteral(".txt")));

    // A save that fails says why and leaves the earlier file as it was.
    answer = folder.filePath(QStringLiteral("no-such-folder/answer.txt"));
    ModalBoxWatcher boxes;
    EXPECT_TRUE(FForm.Save());
    // The write goes on off the user-interface thread; the status line says so meanwhile.
    EXPECT_TRUE(FForm.StatusLine->text().endsWith(QStringLiteral(" | Saving answer.txt ...")))
        << FForm.StatusLine->text().toStdString();
    WaitIdle();
    EXPECT_FALSE(FForm.StatusLine->text().contains(QStringLiteral("Saving")));
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(QStringLiteral("Could not save ") + answer + u':'))
        << boxes.Boxes[0].Text.toStdString();
    EXPECT_GT(boxes.Boxes[0].Text.size(), answer.size() + 16);
    EXPECT_FALSE(boxes.Boxes[0].Text.contains(QStringLiteral("Unknown error")));
}

// A deeply nested answer shown Pretty stays small and marks its depth; a selection too large for
// the clipboard is refused with a reason rather than failing somewhere below.
TEST_F(ResultsTest, DeepNestingAndOversizedCopy) {
    constexpr int Depth = 30000;
    const QString json = QString(Depth, u'{').replace(u'{', QStringLiteral("{\"a\":")) +
                         QStringLiteral("1") + QString(Depth, u'}');
    SetAnswer(json);
    FForm.SetPrettyChoice(true);
    WaitIdle();
    ASSERT_TRUE(FForm.ShowingPretty());
    const auto& document = *FForm.ResultsMemo->Document();
    EXPECT_LE(document.Length(), (2 * TJsonLine::MaxIndentDepth + 2) * json.size());
    FForm.ResultsMemo->SetSelection(document.LineStart(Depth), document.LineStart(Depth));
    FForm.ResultsMemo->viewport()->repaint();

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    FForm.ResultsMemo->MaxCopyLength = 1000;
    FForm.ResultsMemo->setFocus();
    Key(Qt::Key_A, Qt::ControlModifier);
    ModalBoxWatcher boxes;
    Key(Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(
        QStringLiteral("Could not copy:\nThe selection is too large for the clipboard: ")))
        << boxes.Boxes[0].Text.toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    FForm.ResultsMemo->MaxCopyLength = TResultsView::DefaultMaxCopyLength;
    FForm.ResultsMemo->Copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().size(), document.Length());
}

// A save runs on while the window is closed, and a window destroyed while it saves finishes the
// file first: never a half-written file, nor a temporary one left beside it.
TEST_F(ResultsTest, SaveGoesOnWhenTheWindowClosesOrGoes) {
    QTemporaryDir folder;
    QString first = folder.filePath(QStringLiteral("first.txt"));
    QString second = folder.filePath(QStringLiteral("second.txt"));
    const auto read = [](const QString& APath) {
        QFile file(APath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    };
    QString answer;
    for (int i = 0; answer.size() < 8 * 1024 * 1024; ++i)
        answer += QStringLiteral("line %1 \u00e9\n").arg(i);
    SetAnswer(answer, "text/plain");
    FForm.AskSaveFileName = [&](QWidget*, const QString&) { return first; };
    ASSERT_TRUE(FForm.Save());
    EXPECT_FALSE(FForm.Save()); // one save at a time
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(FForm.isVisible());
    EXPECT_EQ(read(first), answer.toUtf8());

    auto form = std::make_unique<TResultsForm>();
    form->SetResultsText(answer + QStringLiteral("end"));
    form->AskSaveFileName = [&](QWidget*, const QString&) { return second; };
    ASSERT_TRUE(form->Save());
    form.reset();
    EXPECT_EQ(read(second), (answer + QStringLiteral("end")).toUtf8());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("first.txt"), QStringLiteral("second.txt")}));
}

TEST(ResultsWindow, BelongsToTheMainWindowAndRemembersItsView) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("Tessarine.conf"));
    const std::pair<const char*, bool> cases[] = {
        {"Pretty", true}, {"Fancy", false}, {"Raw", false}};
    for (const auto& [stored, pretty] : cases) {
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue(QStringLiteral("VLCallbench/ResultsView"),
                              QString::fromLatin1(stored));
        }
        TMainForm form(file);
        auto* results = form.findChild<TResultsForm*>();
        ASSERT_NE(results, nullptr);
        EXPECT_TRUE(results->isWindow());
        EXPECT_EQ(results->PrettyChoice(), pretty) << stored;
        results->SetPrettyChoice(!pretty);
        form.close();
        EXPECT_EQ(QSettings(file, QSettings::IniFormat)
                      .value(QStringLiteral("VLCallbench/ResultsView"))
                      .toString(),
                  pretty ? QStringLiteral("Raw") : QStringLiteral("Pretty"));
    }
}

// The main window keeps the filters its results window used in its settings file, past its own
// saving of the settings, and the next run brings the command's last filter back.
TEST(ResultsWindow, MainWindowKeepsTheFiltersUsedInItsSettingsFile) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("Tessarine.conf"));
    const auto show = [](TResultsForm& AResults, const char* AAnswer) {
        TCallResult result;
        result.Text = QString::fromUtf8(AAnswer).toStdU16String();
        AResults.SetCommand(QStringLiteral("AccountsList"));
        AResults.SetCallResult(std::move(result));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !AResults.Busy(); }, 60000));
    };
    {
        TMainForm form(file);
        auto& results = *form.findChild<TResultsForm*>();
        show(results, R"({"Result":"Ok"})");
        results.ApplyFilter(QStringLiteral(".Result"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !results.Busy(); }, 60000));
        form.close();
    }
    EXPECT_EQ(TFilterMemory(file).Recent(QStringLiteral("AccountsList")).Filters,
              QStringList{QStringLiteral(".Result")});
    TMainForm form(file);
    auto& results = *form.findChild<TResultsForm*>();
    show(results, R"({"Result":"Again"})");
    EXPECT_EQ(results.Filter(), ".Result");
    EXPECT_EQ(results.ShownText()->size(), 7u);
}

} // namespace
