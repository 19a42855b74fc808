// The results window as a viewer: the JSON layout, the line index, search, and the real window
// driven by keys on the offscreen platform (find bar, Raw and Pretty, save, status line,
// accessibility, wrapping in the background, a 50 MB answer).

#include "BackgroundPool.h"
#include "JsonFormat.h"
#include "LineWrap.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "ResultsFindBar.h"
#include "ResultsForm.h"
#include "ResultsView.h"
#include "TextDocument.h"
#include "TextSearch.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QThreadPool>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::shared_ptr<const std::u16string> Text(const QString& AText) {
    return std::make_shared<const std::u16string>(AText.toStdU16String());
}

QString Pretty(const QString& AJson) {
    TJsonLayout verdict;
    const auto document = TTextDocument::MakePretty(Text(AJson), verdict);
    return document ? document->Text(0, document->Length()) : QStringLiteral("<not JSON>");
}

TEST(JsonFormat, IndentsByTwoSpacesOneTokenPerLine) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"a":1,"b":[true,false,null],"c":{},"d":[ ],"e":{"f":"g"}})",
         "{\n  \"a\": 1,\n  \"b\": [\n    true,\n    false,\n    null\n  ],\n  \"c\": {},\n"
         "  \"d\": [],\n  \"e\": {\n    \"f\": \"g\"\n  }\n}"},
        {" [1 , \"x\\\"y\\u00e9\" ,\r\n -0.5e+3]\n", "[\n  1,\n  \"x\\\"y\\u00e9\",\n  -0.5e+3\n]"},
        {"\"only\"", "\"only\""},
        {"[[[]]]", "[\n  [\n    []\n  ]\n]"},
    };
    for (const auto& [json, shown] : cases)
        EXPECT_EQ(Pretty(QString::fromUtf8(json)), QString::fromUtf8(shown)) << json;
}

TEST(JsonFormat, SaysWhereReadingStopped) {
    struct Case {
        const char* Json;
        int64_t Line, Column;
    };
    const Case cases[] = {
        {"", 1, 1},
        {"{\"a\":1,}", 1, 8},
        {"{\n \"a\" 1}", 2, 6},
        {"[01]", 1, 3},
        {"[1] x", 1, 5},
        {"\"a\x01\"", 1, 3},
        {"{\"a\":tru}", 1, 9},
        {"[1,\r\n2,\r3", 3, 2},
        {"{\"a\":\"\\x\"}", 1, 8},
        {"[1.]", 1, 4},
        {"[\"\xc3\xa9\xf0\x9f\x98\x80\" 1]", 1, 7},
    };
    for (const Case& c : cases) {
        const TJsonLayout layout = FormatJson(QString::fromUtf8(c.Json).toStdU16String());
        EXPECT_FALSE(layout.Valid) << c.Json;
        EXPECT_EQ(layout.ErrorLine, c.Line) << c.Json;
        EXPECT_EQ(layout.ErrorColumn, c.Column) << c.Json;
    }
}

TEST(TextDocument, RawLinesBreakAtCrLfLfAndCr) {
    const auto document = TTextDocument::MakeRaw(Text(QStringLiteral("ab\r\nc\nd\re\r\n")));
    ASSERT_EQ(document->LineCount(), 5);
    std::u16string buffer;
    const std::u16string lines[] = {u"ab", u"c", u"d", u"e", u""};
    for (int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(document->Line(i, buffer), lines[i]) << i;
    EXPECT_EQ(document->LineAt(3), 0); // inside the CR LF
    EXPECT_EQ(document->LineAt(4), 1);
    EXPECT_EQ(document->Text(0, document->Length()), QStringLiteral("ab\nc\nd\ne\n"));
    EXPECT_EQ(document->Text(1, 5), QStringLiteral("b\nc"));
}

TEST(TextSearch, CountsInRawAndIndentedTextAndAcrossPieces) {
    const auto raw = TTextDocument::MakeRaw(Text(QStringLiteral("Abc abc\nxABCx\r\naBc")));
    EXPECT_EQ(FindAll(*raw, QStringLiteral("abc"), Qt::CaseInsensitive),
              (std::vector<int64_t>{0, 4, 9, 15}));
    EXPECT_EQ(FindAll(*raw, QStringLiteral("abc"), Qt::CaseSensitive), (std::vector<int64_t>{4}));
    EXPECT_TRUE(FindAll(*raw, QStringLiteral("c\nx"), Qt::CaseInsensitive).empty());

    TJsonLayout verdict;
    const auto pretty =
        TTextDocument::MakePretty(Text(QStringLiteral(R"({"k":"v","k2":1})")), verdict);
    ASSERT_TRUE(pretty);
    // Shown as {\n  "k": "v",\n  "k2": 1\n}: the search sees the indented text.
    EXPECT_EQ(FindAll(*pretty, QStringLiteral("\"k\": "), Qt::CaseSensitive),
              (std::vector<int64_t>{4}));
    EXPECT_EQ(FindAll(*pretty, QStringLiteral("k"), Qt::CaseSensitive),
              (std::vector<int64_t>{5, 17}));

    // One line longer than a search piece: a match across a cut is found once.
    QString line(3 * 1024 * 1024, u'a');
    line.replace((1 << 20) - 2, 5, QStringLiteral("needl"));
    line.replace(2 * (1 << 20) - 1, 6, QStringLiteral("needle"));
    const auto longLine = TTextDocument::MakeRaw(Text(line + QStringLiteral("\nneedle")));
    EXPECT_EQ(FindAll(*longLine, QStringLiteral("needle"), Qt::CaseSensitive),
              (std::vector<int64_t>{2 * (1 << 20) - 1, 3 * 1024 * 1024 + 1}));
    EXPECT_EQ(FindAll(*longLine, QStringLiteral("aa"), Qt::CaseSensitive).size(),
              std::size_t((3 * 1024 * 1024 - 11) / 2));
}

// The indented text is searched without being made: every match must be the one a search over
// the text as shown finds (searched here as a raw text of the same characters).
TEST(TextSearch, IndentedTextFindsWhatTheShownTextHolds) {
    const QString json =
        QStringLiteral(R"({"k":"v","K2":[1,-2.5e3,true,null,{},[ ],{"a: b":"c, d"}],)") +
        QStringLiteral(R"("deep":[[[[{"x":"aA"}]]]],"\u00e9":"\u00c9 )") +
        QStringLiteral("\u00e9\u00c9 \U0001F600\",\"s\":\"  spaced  \",\"e\":{\"\":\"\u212a\"},") +
        QStringLiteral(R"("aaaa":"aaaaa"})");
    TJsonLayout verdict;
    const auto pretty = TTextDocument::MakePretty(Text(json), verdict);
    ASSERT_TRUE(pretty);
    const auto shown = TTextDocument::MakeRaw(Text(pretty->Text(0, pretty->Length())));
    const QString needles[] = {QStringLiteral("k"),
                               QStringLiteral("\"k\": "),
                               QStringLiteral("\": "),
                               QStringLiteral(": "),
                               QStringLiteral("  "),
                               QStringLiteral("   \""),
                               QStringLiteral("},"),
                               QStringLiteral("{}"),
                               QStringLiteral("[]"),
                               QStringLiteral("1,"),
                               QStringLiteral(","),
                               QStringLiteral("}"),
                               QStringLiteral("aa"),
                               QStringLiteral("aaa"),
                               QStringLiteral("AA"),
                               QStringLiteral("\"aA\""),
                               QStringLiteral("a: b"),
                               QStringLiteral("c, d"),
                               QStringLiteral("\u00e9"),
                               QStringLiteral("\u00c9 \U0001F600"),
                               QStringLiteral("\U0001F600\","),
                               QStringLiteral("spaced  \""),
                               QStringLiteral("\"\": \"\""),
                               QStringLiteral("null,"),
                               QStringLiteral("e3,"),
                               QStringLiteral("{"),
                               QStringLiteral("\""),
                               QStringLiteral("\":"),
                               QStringLiteral("\\u00e9")};
    for (const QString& needle : needles) {
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive})
            EXPECT_EQ(FindAll(*pretty, needle, sensitivity), FindAll(*shown, needle, sensitivity))
                << needle.toStdString()
                << (sensitivity == Qt::CaseSensitive ? " (match case)" : "");
    }

    // A newer search stops this one: nothing is counted.
    const std::atomic<bool> stopped{true};
    EXPECT_TRUE(FindAll(*pretty, QStringLiteral("k"), Qt::CaseSensitive, &stopped).empty());

    // A value longer than a search piece is searched in pieces like a long raw line.
    const QString longValue = QStringLiteral("[\"") + QString(3 * 1024 * 1024, u'a') +
                              QStringLiteral("needle\", \"needle\"]");
    const auto longPretty = TTextDocument::MakePretty(Text(longValue), verdict);
    ASSERT_TRUE(longPretty);
    const auto longShown = TTextDocument::MakeRaw(Text(longPretty->Text(0, longPretty->Length())));
    for (const char* text : {"needle", "aa", "a\",", "  \"a"})
        EXPECT_EQ(FindAll(*longPretty, QString::fromUtf8(text), Qt::CaseInsensitive),
                  FindAll(*longShown, QString::fromUtf8(text), Qt::CaseInsensitive))
            << text;
}

// A needle that overlaps itself, matched across the cut between two pieces of a long line: the
// matches after the cut follow on from the one that reaches over it.
TEST(TextSearch, OverlappingNeedleStaysInStepAcrossPieces) {
    const int64_t length = 3 * 1024 * 1024;
    const auto raw = TTextDocument::MakeRaw(Text(QStringLiteral("b") + QString(length, u'a')));
    const std::vector<int64_t> found = FindAll(*raw, QStringLiteral("aa"), Qt::CaseSensitive);
    ASSERT_EQ(found.size(), std::size_t(length / 2));
    for (std::size_t i = 0; i < found.size(); ++i)
        ASSERT_EQ(found[i], int64_t(1 + 2 * i)) << i;
}

// The matches a plain search over the shown text finds, unit by unit from every place: leftmost
// first, none overlapping; units compared folded when case-blind.
std::vector<int64_t> NaiveFind(const QString& AShown, const QString& ANeedle,
                               Qt::CaseSensitivity ACase) {
    const auto units = [&](const QString& AText) {
        std::vector<char16_t> result(static_cast<std::size_t>(AText.size()));
        const QChar* text = AText.constData();
        for (std::size_t i = 0; i < result.size(); ++i)
            result[i] =
                ACase == Qt::CaseInsensitive ? text[i].toCaseFolded().unicode() : text[i].unicode();
        return result;
    };
    const std::vector<char16_t> text = units(AShown);
    const std::vector<char16_t> needle = units(ANeedle);
    const std::size_t size = needle.size() * sizeof(char16_t);
    std::vector<int64_t> found;
    for (std::size_t i = 0; i + needle.size() <= text.size();) {
        if (std::memcmp(text.data() + i, needle.data(), size) != 0) {
            ++i;
            continue;
        }
        found.push_back(static_cast<int64_t>(i));
        i += needle.size();
    }
    return found;
}

// Needles that overlap themselves, in texts made to lead a search astray, raw and indented, in
// both case modes, short and across the cuts between the pieces of a long line: what a plain
// search finds.
TEST(TextSearch, SelfSimilarNeedlesFindWhatAPlainSearchFinds) {
    const std::pair<QString, const char*> cases[] = {
        {QStringLiteral("aaaaaaab aab"), "aab"},
        {QStringLiteral("aabaabaabaab aabaab"), "aabaab"},
        {QStringLiteral("abababababc ababc"), "ababc"},
        {QStringLiteral("aAaAaAb AAB"), "aab"},
        {QStringLiteral("abcabcabdabcabd"), "abcabd"},
        {QStringLiteral("aaaa"), "a"},
        {QStringLiteral("aaaaa"), "aa"},
        {QStringLiteral("xaaa\naaab\r\naab\raaab"), "aab"},
        {QStringLiteral("\u212a\u212akkK \u212akkK"), "kk"},
        {QStringLiteral("s\u017f\u017fS\u00df\u00dfss"), "ss"},
        {QStringLiteral("\u00e9\u00c9\u00e9\u00c9\u00e9x"), "\u00e9\u00e9x"},
        {QStringLiteral("  \"  \"  \" a"), "  \""},
    };
    // The cuts of a long line fall every 2^20 characters: matches run across them.
    QString periodic;
    while (periodic.size() < (2 << 20) + 100)
        periodic += QStringLiteral("aab");
    QString runs((2 << 20) + 100, u'a');
    for (const int cut : {1 << 20, 2 << 20})
        for (const int at : {-7, -3, -1, 0, 2, 5})
            runs[cut + at] = u'b';
    for (const auto& [text, needleText] : cases) {
        const QString needle = QString::fromUtf8(needleText);
        const auto raw = TTextDocument::MakeRaw(Text(text));
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive})
            EXPECT_EQ(FindAll(*raw, needle, sensitivity), NaiveFind(text, needle, sensitivity))
                << text.toStdString() << " / " << needleText << " " << sensitivity;
    }
    const std::pair<QString, std::vector<const char*>> longCases[] = {
        {periodic, {"aabaab", "baa"}}, {runs, {"aaaab", "aaaaaaab", "ba", "\"aa"}}};
    TJsonLayout verdict;
    for (const auto& [text, needles] : longCases) {
        const auto raw = TTextDocument::MakeRaw(Text(text));
        const auto pretty = TTextDocument::MakePretty(
            Text(QStringLiteral("[\"%1\",{\"aab\":\"%1\"}]").arg(text)), verdict);
        ASSERT_TRUE(pretty);
        const QString shown = pretty->Text(0, pretty->Length());
        for (const char* needleText : needles) {
            const QString needle = QString::fromUtf8(needleText);
            for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
                EXPECT_EQ(FindAll(*raw, needle, sensitivity), NaiveFind(text, needle, sensitivity))
                    << needleText << " " << sensitivity;
                EXPECT_EQ(FindAll(*pretty, needle, sensitivity),
                          NaiveFind(shown, needle, sensitivity))
                    << needleText << " (indented) " << sensitivity;
            }
        }
    }
}

// "aa...ab" in a long run of "a": every unit of the text is read a bounded number of times, so
// the search ends (how fast is measured by the benchmark).
TEST(TextSearch, NeedleThatAlmostMatchesEverywhereEnds) {
    constexpr int Run = 8 * 1024 * 1024;
    const QString needle = QString(4000, u'a') + u'b';
    const QString text = QString(Run, u'a') + u'b';
    const auto raw = TTextDocument::MakeRaw(Text(text));
    TJsonLayout verdict;
    const auto pretty = TTextDocument::MakePretty(Text(u'"' + text + u'"'), verdict);
    ASSERT_TRUE(pretty);
    for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        EXPECT_EQ(FindAll(*raw, needle, sensitivity), (std::vector<int64_t>{Run + 1 - 4001}));
        EXPECT_EQ(FindAll(*pretty, needle, sensitivity), (std::vector<int64_t>{Run + 2 - 4001}));
    }
}

// A results window on its own, shown, with its answer laid out.
class ResultsTest : public ::testing::Test {
protected:
    ResultsTest() {
        FForm.setWindowTitle(QStringLiteral("AccountsList - JSON format"));
        FForm.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&FForm));
        QApplication::setActiveWindow(&FForm);
    }

    void SetAnswer(const QString& AText, const std::string& AContentType = "application/json") {
        TCallResult result;
        result.Text = AText.toStdU16String();
        result.StatusLine = "HTTP/1.1 200 OK";
        result.ContentType = AContentType;
        result.CharSet = "utf-8";
        result.ByteSize = AText.toUtf8().size();
        result.DurationMs = 1234;
        FForm.SetCallResult(std::move(result));
        WaitIdle();
    }

    void WaitIdle() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !FForm.Busy(); }, 60000));
        QApplication::processEvents();
    }

    QString Count() const { return FForm.FindBar->CountLabel->text(); }
    QString Selected() const { return FForm.ResultsMemo->SelectedText(); }
    void Key(int AKey, Qt::KeyboardModifiers AModifiers = {}) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &FForm, Qt::Key(AKey), AModifiers);
        WaitIdle();
    }

    TResultsForm FForm;
};

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

TEST_F(ResultsTest, SelectionByKeysAndMouseCopiesAndIsAccessible) {
    SetAnswer(QStringLiteral("first line\r\nsecond"), "text/plain");
    TResultsView* view = FForm.ResultsMemo;
    view->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->CursorRect(6).center());
    EXPECT_EQ(view->Cursor(), 6);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), QStringLiteral("line\nsecond"));
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("line\nsecond"));
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Selected(), QStringLiteral("first line\nsecond"));

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(accessible, nullptr);
    QAccessibleTextInterface* text = accessible->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(accessible->state().readOnly);
    EXPECT_EQ(text->characterCount(), 18);
    EXPECT_EQ(text->text(6, 14), QStringLiteral("line\r\nse"));
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(0, 18));
    text->setSelection(0, 12, 18);
    EXPECT_EQ(Selected(), QStringLiteral("second"));
}

// Lines are wrapped by the widths their characters are drawn with: each row fits the view, the
// next character would not have fitted, and no character is split between rows.
TEST_F(ResultsTest, WrapsByTheWidthsCharactersAreDrawnWith) {
    QString wide;
    QString marks;
    QString tabs;
    while (wide.size() < 600)
        wide += QStringLiteral("\u4e2d\U0001F600\u2460\u2a0cx");
    while (marks.size() < 600)
        marks += QStringLiteral("e\u0301\u0323\U0001D11E\U0001F44D\U0001F3FDa\u200d\u00e9");
    while (tabs.size() < 300)
        tabs += QStringLiteral("ab\tcd \u00e9\t");
    const QString ascii = QString(40, u'x') + QStringLiteral(" ") + QString(400, u'y');
    SetAnswer(QStringList{wide, marks, tabs, ascii}.join(u'\n'), "text/plain");
    TResultsView* view = FForm.ResultsMemo;
    const TTextDocument& document = *view->Document();
    const qreal width = view->TextWidth();
    // The width of a row as the view draws it.
    const auto drawn = [&](const QString& AText) {
        QTextLayout layout(AText, view->font());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e9);
        layout.endLayout();
        return line.cursorToX(static_cast<int>(AText.size()));
    };
    for (int64_t line = 0; line < document.LineCount(); ++line) {
        std::u16string buffer;
        const QString text = QString::fromStdU16String(std::u16string(document.Line(line, buffer)));
        const int64_t start = document.LineStart(line);
        std::vector<qsizetype> rows{0};
        for (qsizetype i = 1; i < text.size(); ++i)
            if (view->RowOf(start + i) != view->RowOf(start + i - 1))
                rows.push_back(i);
        EXPECT_GT(rows.size(), 2u) << line;
        rows.push_back(text.size());
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
        for (std::size_t row = 0; row + 1 < rows.size(); ++row) {
            const qsizetype from = rows[row];
            const qsizetype to = rows[row + 1];
            characters.setPosition(from);
            EXPECT_TRUE(characters.isAtBoundary()) << "line " << line << " row " << row;
            // A blank at the edge hangs past it.
            qsizetype end = to;
            while (end > from && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
                --end;
            EXPECT_LE(drawn(text.mid(from, end - from)), width + 0.01)
                << "line " << line << " row " << row;
            // A row of a line without blanks takes every character that fits.
            if (line < 2 && row + 2 < rows.size()) {
                characters.setPosition(to);
                const qsizetype after = characters.toNextBoundary();
                EXPECT_GT(drawn(text.mid(from, after - from)), width) << "line " << line;
            }
        }
    }
    // An ASCII line breaks after the blank, by columns as before.
    const int64_t asciiStart = document.LineStart(3);
    EXPECT_NE(view->RowOf(asciiStart + 40), view->RowOf(asciiStart + 41));
}

TEST_F(ResultsTest, FiftyMegabytesOnOneLine) {
    QString line;
    line.reserve(50 * 1024 * 1024 + 32);
    while (line.size() < 50 * 1024 * 1024)
        line += QStringLiteral("{\"Player\":\"p\",\"Note\":\"a b c\"},");
    line += QStringLiteral("END");
    SetAnswer(line, "text/plain");
    TResultsView* view = FForm.ResultsMemo;
    ASSERT_EQ(view->Document()->LineCount(), 1);
    // Wrapped to the width: many rows, no horizontal scrolling.
    EXPECT_GT(view->RowCount(), line.size() / 200);
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    view->setFocus();
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->Cursor(), line.size());
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), QStringLiteral("END"));
    QTest::keyClick(FForm.ResultsMemo, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(FForm.FindBar->FindEdit, QStringLiteral("player"));
    WaitIdle();
    const QString expected = QLocale().toString(qulonglong(line.size() / 30));
    EXPECT_EQ(Count(), QStringLiteral("1 of ") + expected);
}

// Keeps every thread of the background pool busy while it lives, so that work queued there
// waits: what the window does while a pass is still to come is then certain.
class TPoolHold {
public:
    TPoolHold() : FCount(BackgroundPool().maxThreadCount()) {
        for (int i = 0; i < FCount; ++i)
            BackgroundPool().start([this] {
                FStarted.release();
                FGo.acquire();
            });
        EXPECT_TRUE(FStarted.tryAcquire(FCount, 30000));
    }
    ~TPoolHold() { Release(); }
    TPoolHold(const TPoolHold&) = delete;
    TPoolHold& operator=(const TPoolHold&) = delete;
    void Release() {
        if (!FReleased)
            FGo.release(FCount);
        FReleased = true;
    }

private:
    const int FCount;
    bool FReleased = false;
    QSemaphore FStarted;
    QSemaphore FGo;
};

// Log lines of wide characters and marks, wrapped by drawn widths, more than is wrapped at once.
QString WideLog() {
    QString text;
    for (int line = 0; line < 4000; ++line) {
        text += QStringLiteral("%1 ").arg(line, 5, 10, QLatin1Char('0'));
        for (int word = 0; word < 3 + line % 11; ++word)
            text += QStringLiteral("\u738b\u5c0f\u660e Nguye\u0302\u0303n w%1 ").arg(word);
        text += u'\n';
    }
    return text;
}

// The rows of every line as a wrap for the view's present width, made here and at once, gives
// them: the starts of each row as offsets of the text, and the first row of each line.
struct TReferenceRows {
    std::vector<std::vector<int64_t>> Starts; // by line
    std::vector<int64_t> FirstRow;            // by line
    int64_t Total = 0;

    explicit TReferenceRows(const TResultsView& AView) {
        const TTextDocument& document = *AView.Document();
        TLineWrapper wrapper(AView.font());
        const qreal column = QFontMetricsF(AView.font()).horizontalAdvance(u'0');
        wrapper.SetWidth(AView.TextWidth(),
                         std::max(1, static_cast<int>(AView.TextWidth() / std::max(1.0, column))));
        std::u16string buffer;
        std::vector<int64_t> rows;
        for (int64_t line = 0; line < document.LineCount(); ++line) {
            wrapper.Wrap(document, line, document.Line(line, buffer), rows);
            for (int64_t& start : rows)
                start += document.LineStart(line);
            FirstRow.push_back(Total);
            Total += static_cast<int64_t>(rows.size());
            Starts.push_back(rows);
        }
    }
    // The start of the row AAfter rows below (above, when negative) the first row of ALine.
    int64_t RowStart(int64_t ALine, int64_t AAfter) const {
        const int64_t row = FirstRow[static_cast<std::size_t>(ALine)] + AAfter;
        const auto line = static_cast<std::size_t>(
            std::upper_bound(FirstRow.begin(), FirstRow.end(), row) - FirstRow.begin() - 1);
        return Starts[line][static_cast<std::size_t>(row - FirstRow[line])];
    }
};

class ResultsRewrapTest : public ResultsTest {
protected:
    TResultsView& View() { return *FForm.ResultsMemo; }
    const TTextDocument& Document() { return *View().Document(); }
    QScrollBar& Bar() { return *View().verticalScrollBar(); }

    void Resize(int ADelta) {
        const int before = View().viewport()->width();
        FForm.resize(FForm.width() + ADelta, FForm.height());
        EXPECT_TRUE(QTest::qWaitFor([&] { return View().viewport()->width() != before; }, 10000));
    }
    // The text offset at the start of the ARow-th row on screen.
    int64_t ShownRowStart(int ARow) {
        const int height = QFontMetrics(View().font()).lineSpacing();
        return View().OffsetAt(QPoint(4, 2 + ARow * height + height / 2));
    }
    // The rows on screen, painted, are the reference's from row AAfter below the start of ALine.
    void ExpectShownRows(const TReferenceRows& AReference, int64_t ALine, int64_t AAfter) {
        View().viewport()->repaint();
        for (int row = 0; row < Bar().pageStep(); ++row)
            EXPECT_EQ(ShownRowStart(row), AReference.RowStart(ALine, AAfter + row)) << row;
    }
    // The rows of every line are those of the reference, the scroll range theirs.
    void ExpectAllRows(const TReferenceRows& AReference) {
        ASSERT_EQ(View().RowCount(), AReference.Total);
        for (std::size_t line = 0; line < AReference.Starts.size(); ++line)
            for (std::size_t row = 0; row < AReference.Starts[line].size(); ++row)
                ASSERT_EQ(View().RowOf(AReference.Starts[line][row]),
                          AReference.FirstRow[line] + static_cast<int64_t>(row))
                    << "line " << line << " row " << row;
        EXPECT_EQ(Bar().maximum(), AReference.Total - Bar().pageStep());
    }
    void WaitWrapped() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !View().Wrapping(); }, 60000));
    }
};

// While the pass for a new width is still to come, the rows shown, the top line, paging,
// jumps, selection and copy are those of the new width; once it lands, every row is.
TEST_F(ResultsRewrapTest, ResizeKeepsRowsAndTopLineWhileThePassRuns) {
    const QString text = WideLog();
    SetAnswer(text, "text/plain");
    constexpr int64_t TopLine = 2000;
    Bar().setValue(static_cast<int>(View().RowOf(Document().LineStart(TopLine))));
    ASSERT_EQ(ShownRowStart(0), Document().LineStart(TopLine));
    {
        TPoolHold hold;
        Resize(-170);
        ASSERT_TRUE(View().Wrapping());
        const TReferenceRows reference(View());
        EXPECT_EQ(ShownRowStart(0), Document().LineStart(TopLine));
        ExpectShownRows(reference, TopLine, 0);
        // Scrolled by the bar and by keys, a page at a time.
        Bar().triggerAction(QAbstractSlider::SliderPageStepAdd);
        ExpectShownRows(reference, TopLine, Bar().pageStep());
        View().setFocus();
        View().SetSelection(ShownRowStart(0), ShownRowStart(0));
        QTest::keyClick(&View(), Qt::Key_PageDown);
        EXPECT_EQ(View().Cursor(), reference.RowStart(TopLine, 2 * Bar().pageStep()));
        QTest::keyClick(&View(), Qt::Key_PageUp);
        QTest::keyClick(&View(), Qt::Key_PageUp);
        EXPECT_EQ(View().Cursor(), reference.RowStart(TopLine, 0));
        ExpectShownRows(reference, TopLine, 0);
        // Above the top line, through lines not wrapped yet.
        QTest::keyClick(&View(), Qt::Key_PageUp);
        QTest::keyClick(&View(), Qt::Key_PageUp);
        EXPECT_EQ(View().Cursor(), reference.RowStart(TopLine, -2 * Bar().pageStep()));
        ExpectShownRows(reference, TopLine, -2 * Bar().pageStep());
        // Selection, copy and marks are by offset: the wrap does not touch them.
        const int64_t from = Document().LineStart(TopLine) + 6;
        const int64_t to = Document().LineStart(TopLine + 2) + 5;
        View().SetSelection(from, to);
        View().SetMatches({from, to}, 3);
        View().Copy();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text.mid(from, to - from));
        View().viewport()->repaint();
        // To the end and back: the last row shows the end, the first the start.
        QTest::keyClick(&View(), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(View().Cursor(), Document().Length());
        EXPECT_EQ(Bar().value(), Bar().maximum());
        EXPECT_TRUE(View().CursorRect(Document().Length()).isValid());
        View().viewport()->repaint();
        QTest::keyClick(&View(), Qt::Key_Home, Qt::ControlModifier);
        ExpectShownRows(reference, 0, 0);
        Bar().setValue(static_cast<int>(View().RowOf(Document().LineStart(TopLine))));
        ExpectShownRows(reference, TopLine, 0);
        EXPECT_TRUE(View().Wrapping());
    }
    WaitWrapped();
    // The same rows as a wrap made at once, and the top line still on top.
    EXPECT_EQ(ShownRowStart(0), Document().LineStart(TopLine));
    ExpectAllRows(TReferenceRows(View()));
}

// A second resize while the first pass is still to come ends with the second width's rows.
TEST_F(ResultsRewrapTest, SecondResizeDuringAPassWins) {
    SetAnswer(WideLog(), "text/plain");
    {
        TPoolHold hold;
        Resize(-150);
        View().viewport()->repaint();
        Resize(260);
        EXPECT_TRUE(View().Wrapping());
        ExpectShownRows(TReferenceRows(View()), 0, 0);
    }
    WaitWrapped();
    const TReferenceRows reference(View());
    ExpectAllRows(reference);
    ExpectShownRows(reference, 0, 0);
}

// A window closed while its pass is still to come goes at once; the pass then ends harmlessly.
TEST(ResultsWindow, ClosingDuringARewrapIsSafe) {
    auto form = std::make_unique<TResultsForm>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->SetResultsText(WideLog());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Busy(); }, 60000));
    TPoolHold hold;
    const int before = form->ResultsMemo->viewport()->width();
    form->resize(form->width() - 120, form->height());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ResultsMemo->viewport()->width() != before; }, 10000));
    EXPECT_TRUE(form->ResultsMemo->Wrapping());
    form->close();
    form.reset();
    hold.Release();
    EXPECT_TRUE(BackgroundPool().waitForDone(60000));
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

} // namespace
