// How the window draws itself: text colours on light and dark palettes, the selected row's
// colours, the command tree's lines and the button row's spacing in a large font.

#include "CommandTree.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "QtTestSupport.h"
#include "TextColors.h"

#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <map>

namespace {

const QColor Grey(128, 128, 128);
const QColor Blue(0, 0, 255);
const QColor InactiveCaption(191, 205, 219);

QPalette PaletteWith(const QColor& ABase, const QColor& AText) {
    QPalette palette = QApplication::palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, ABase);
        palette.setColor(group, QPalette::Window, ABase);
        palette.setColor(group, QPalette::Text, AText);
        palette.setColor(group, QPalette::WindowText, AText);
    }
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(70, 70, 90));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, QColor(230, 230, 230));
    return palette;
}

TEST(TextColors, LightPalettesKeepTheClassicColoursDarkOnesStayReadable) {
    struct Case {
        QColor Base, Text;
        bool Dark;
    };
    const Case cases[] = {
        {Qt::white, Qt::black, false},
        {QColor(240, 240, 240), QColor(30, 30, 30), false},
        {QColor(190, 190, 190), Qt::black, false}, // mid grey, nearer white
        {Qt::black, Qt::white, true},
        {QColor(30, 30, 30), QColor(220, 220, 220), true},
        {QColor(45, 45, 48), QColor(110, 110, 110), true}, // a theme's own dim text
        {QColor(10, 26, 58), QColor(200, 210, 230), true}, // navy: blue on blue
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Base.name().toStdString());
        const QPalette palette = PaletteWith(test.Base, test.Text);
        EXPECT_EQ(IsDarkPalette(palette), test.Dark);
        const QColor grey = GreyedTextColor(palette);
        const QColor blue = FixedRowTextColor(palette);
        const QPalette selection = UnfocusedSelectionPalette(palette);
        if (!test.Dark) {
            EXPECT_EQ(grey, Grey);
            EXPECT_EQ(blue, Blue);
            EXPECT_EQ(selection.color(QPalette::Inactive, QPalette::Highlight), InactiveCaption);
            EXPECT_EQ(selection.color(QPalette::Inactive, QPalette::HighlightedText), test.Text);
            continue;
        }
        EXPECT_GE(ContrastRatio(grey, test.Base), MinimumContrast);
        EXPECT_GE(ContrastRatio(blue, test.Base), MinimumContrast);
        // Still told apart: grey from the normal text, blue a blue.
        EXPECT_NE(grey, palette.color(QPalette::Text));
        EXPECT_GT(blue.blue(), blue.red());
        EXPECT_GT(blue.blue(), blue.green());
        EXPECT_EQ(selection.color(QPalette::Inactive, QPalette::Highlight), QColor(70, 70, 90));
        EXPECT_EQ(selection.color(QPalette::Inactive, QPalette::HighlightedText),
                  QColor(230, 230, 230));
    }
    EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(ContrastRatio(Grey, Qt::white), 3.95, 0.01);
}

class WindowLookTest : public ::testing::Test {
protected:
    void Open() {
        FForm = std::make_unique<TMainForm>(FFolder.filePath(QStringLiteral("Tessarine.conf")));
        FForm->resize(784, 562);
        FForm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        QApplication::setActiveWindow(FForm.get());
    }
    ~WindowLookTest() override {
        FForm.reset();
        QApplication::setPalette(QPalette());
        QApplication::setFont(QFont());
    }
    int Position(const char* AName) const {
        const auto& entries = FForm->Catalogue();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i]->Name == AName)
                return static_cast<int>(i);
        return 0;
    }
    void FocusCommand(const char* AName) {
        const QModelIndex node = FForm->CommandTreeModel->NodeAt(Position(AName));
        FForm->CommandTree->expand(node.parent());
        FForm->CommandTree->setCurrentIndex(node);
    }
    // How many pixels of ARect of AView's viewport have exactly AColor.
    static int CountPixels(QAbstractItemView* AView, const QRect& ARect, const QColor& AColor) {
        const QImage image = AView->viewport()->grab(ARect).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y).rgb() == AColor.rgb();
        return count;
    }

    QTemporaryDir FFolder;
    std::unique_ptr<TMainForm> FForm;
};

TEST_F(WindowLookTest, DarkPaletteGivesReadableRowsAndFollowsThemeChanges) {
    Open();
    FocusCommand("AccountsList");
    const QColor base(30, 30, 30);
    QApplication::setPalette(PaletteWith(base, QColor(220, 220, 220)));
    QApplication::processEvents();
    const QColor commandGrey =
        FForm->CommandTreeModel->NodeAt(1).data(Qt::ForegroundRole).value<QColor>();
    const QColor paramGrey =
        FForm->ParamTreeModel->index(3, 0).data(Qt::ForegroundRole).value<QColor>();
    EXPECT_GE(ContrastRatio(commandGrey, base), MinimumContrast);
    EXPECT_EQ(paramGrey, commandGrey);
    FForm->VerEdit->setText(QStringLiteral("7.00"));
    const QColor blue = FForm->ParamTreeModel->index(0, 0).data(Qt::ForegroundRole).value<QColor>();
    EXPECT_GE(ContrastRatio(blue, base), MinimumContrast);
    EXPECT_NE(blue, Blue);
    for (QWidget* tree :
         {static_cast<QWidget*>(FForm->CommandTree), static_cast<QWidget*>(FForm->ParamTree)})
        EXPECT_EQ(tree->palette().color(QPalette::Inactive, QPalette::Highlight),
                  QColor(70, 70, 90));

    // Back to a light theme: the classic colours again.
    QApplication::setPalette(PaletteWith(Qt::white, Qt::black));
    QApplication::processEvents();
    EXPECT_EQ(FForm->ParamTreeModel->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), Blue);
    FForm->VerEdit->clear();
    EXPECT_EQ(FForm->CommandTreeModel->NodeAt(1).data(Qt::ForegroundRole).value<QColor>(), Grey);
    EXPECT_EQ(FForm->CommandTree->palette().color(QPalette::Inactive, QPalette::Highlight),
              InactiveCaption);
}

// Records how each selected cell is drawn: its text colour, the selection colour under it, and
// whether the text is set in italics.
class TSelectionRecorder : public QProxyStyle {
public:
    struct TDrawn {
        QColor Text;
        QColor Highlight;
        bool Italic = false;
    };
    TSelectionRecorder() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    void drawControl(ControlElement AElement, const QStyleOption* AOption, QPainter* APainter,
                     const QWidget* AWidget) const override {
        if (const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(AOption);
            AElement == CE_ItemViewItem && item && (item->state & State_Selected)) {
            const auto group = item->state & State_Active ? QPalette::Active : QPalette::Inactive;
            Selected[item->text] = {item->palette.color(group, QPalette::HighlightedText),
                                    item->palette.color(group, QPalette::Highlight),
                                    item->font.italic()};
        }
        QProxyStyle::drawControl(AElement, AOption, APainter, AWidget);
    }
    mutable std::map<QString, TDrawn> Selected;
};

// A selected row reads on the selection in every palette, with and without the focus, and an
// unavailable one stays told apart (in italics) as well as said to screen readers.
TEST_F(WindowLookTest, SelectedRowsAreReadableAndShowTheirAvailability) {
    Open();
    TSelectionRecorder style;
    FForm->CommandTree->setStyle(&style);
    FForm->ParamTree->setStyle(&style);
    FocusCommand("AccountsList");
    const auto drawn = [&](QAbstractItemView* AView, const QString& AText) {
        style.Selected.clear();
        AView->viewport()->repaint();
        const auto found = style.Selected.find(AText);
        return found == style.Selected.end() ? TSelectionRecorder::TDrawn{} : found->second;
    };
    const struct {
        const char* Name;
        QPalette Palette;
    } palettes[] = {
        {"default", QPalette()},
        {"light", PaletteWith(Qt::white, Qt::black)},
        {"dark", PaletteWith(QColor(30, 30, 30), QColor(220, 220, 220))},
        {"mid blue selection",
         [] {
             QPalette palette = PaletteWith(Qt::white, Qt::black);
             palette.setColor(QPalette::Highlight, QColor(48, 140, 198));
             palette.setColor(QPalette::HighlightedText, Qt::white);
             return palette;
         }()},
    };
    const int account = 5; // "Player", a row of AccountsList's own
    for (const auto& palette : palettes) {
        QApplication::setPalette(palette.Palette);
        QApplication::processEvents();
        for (const bool focused : {true, false}) {
            for (const char* version : {"", "7.00"}) {
                const bool unavailable = *version == 0;
                FForm->VerEdit->setText(QString::fromLatin1(version));
                (focused ? static_cast<QWidget*>(FForm->CommandTree) : FForm->VerEdit)->setFocus();
                const std::string where = std::string(palette.Name) +
                                          (focused ? ", focused, " : ", unfocused, ") +
                                          (unavailable ? "unavailable" : "available");
                const auto command = drawn(FForm->CommandTree, QStringLiteral("AccountsList"));
                EXPECT_GE(ContrastRatio(command.Text, command.Highlight), MinimumContrast) << where;
                EXPECT_EQ(command.Italic, unavailable) << where;
                EXPECT_EQ(FForm->CommandTree->currentIndex()
                              .data(Qt::AccessibleDescriptionRole)
                              .toString()
                              .isEmpty(),
                          !unavailable)
                    << where;

                // The grid: a fixed (blue) row and a row of the command's own.
                FForm->ParamTree->setCurrentIndex(FForm->ParamTreeModel->index(account, 0));
                if (focused)
                    FForm->ParamTree->setFocus();
                const QString player = FForm->ParamTreeModel->index(account, 0).data().toString();
                const auto param = drawn(FForm->ParamTree, player);
                EXPECT_GE(ContrastRatio(param.Text, param.Highlight), MinimumContrast) << where;
                EXPECT_EQ(param.Italic, unavailable) << where;
                FForm->ParamTree->setCurrentIndex(FForm->ParamTreeModel->index(0, 0));
                const auto fixed = drawn(FForm->ParamTree, QStringLiteral("Command"));
                EXPECT_GE(ContrastRatio(fixed.Text, fixed.Highlight), MinimumContrast) << where;
                EXPECT_EQ(fixed.Italic, unavailable) << where;
                FocusCommand("AccountsList");
            }
        }
    }
    FForm->CommandTree->setStyle(nullptr);
    FForm->ParamTree->setStyle(nullptr);
}

TEST_F(WindowLookTest, CommandTreeDrawsDottedLinesInAnyStyle) {
    Open();
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    ASSERT_NE(fusion, nullptr);
    FForm->CommandTree->setStyle(fusion.get());
    const QModelIndex accounts = FForm->CommandTreeModel->NodeAt(0);
    FForm->CommandTree->expand(accounts);
    FForm->CommandTree->setCurrentIndex(FForm->CommandTreeModel->NodeAt(Position("Blacklist")));
    QApplication::processEvents();
    const QColor line = FForm->CommandTree->palette().color(QPalette::Mid);
    const int indent = FForm->CommandTree->indentation();
    // Down the top level beside the commands of the first group, and from the group to them.
    const QRect first = FForm->CommandTree->visualRect(FForm->CommandTreeModel->NodeAt(1));
    const QRect last = FForm->CommandTree->visualRect(FForm->CommandTreeModel->NodeAt(17));
    const int top = first.top(), bottom = last.bottom();
    const QRect topLevel(indent / 2, top, 1, bottom - top);
    const QRect groupLevel(indent + indent / 2, top, 1, bottom - top);
    EXPECT_GT(CountPixels(FForm->CommandTree, topLevel, line), (bottom - top) / 3);
    EXPECT_GT(CountPixels(FForm->CommandTree, groupLevel, line), (bottom - top) / 3);
    FForm->CommandTree->setStyle(nullptr);
}

TEST_F(WindowLookTest, ResultFormatLabelKeepsItsDistanceInALargeFont) {
    QFont large = QApplication::font();
    large.setPointSize(large.pointSize() * 2);
    QApplication::setFont(large);
    Open();
    const QWidget* row[] = {FForm->ResultFormatLabel, FForm->JSONRB, FForm->LegacyRB,
                            FForm->CallButton};
    for (std::size_t i = 1; i < std::size(row); ++i)
        EXPECT_GE(row[i]->x() - (row[i - 1]->geometry().right() + 1), 4) << i;
    EXPECT_GE(FForm->JSONRB->width(), FForm->JSONRB->sizeHint().width());
}

} // namespace
