#pragma once

// A results window on its own, shown, with its answer laid out: the fixture of the results
// window's and view's tests. Header only, for the programs that link vl::results.

#include "ResultsFindBar.h"
#include "ResultsForm.h"
#include "ResultsView.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

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
