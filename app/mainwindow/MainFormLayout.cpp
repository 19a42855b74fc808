// The window's controls, one panel at a time: the connection fields along the top, the command
// tree and the parameter grid side by side with their help panes below them, the result format
// and Send at the bottom. Positions and sizes are those of the window at its usual font; a larger
// desktop font scales them all with the font's height, and widens a control rather than cut its
// caption.

#include "CommandTree.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "RowTextDelegate.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

constexpr int SplitterWidth = 5;
// The text height of the font the positions were laid out for.
constexpr int UsualFontHeight = 14;

QLabel* MakeLabel(const QString& AText, QWidget* AParent, QPoint APlace) {
    auto* label = new QLabel(AText, AParent);
    label->move(APlace);
    label->adjustSize();
    return label;
}

// A caption wider than its place in a larger desktop font widens the control instead of being cut.
void FitWidth(QWidget* AControl) {
    AControl->resize(std::max(AControl->width(), AControl->sizeHint().width()), AControl->height());
}

// Places a control of a row at its usual place, or further right when a larger desktop font has
// made the control before it reach that place; the control is widened to fit its caption.
void PlaceInRow(QWidget* AControl, const QWidget* ABefore, QRect APlace) {
    constexpr int Gap = 4;
    APlace.moveLeft(std::max(APlace.left(), ABefore->geometry().right() + 1 + Gap));
    AControl->setGeometry(APlace);
    FitWidth(AControl);
}

QTextEdit* MakeHelpPane(int AHeight) {
    auto* pane = new QTextEdit;
    pane->setFixedHeight(AHeight);
    pane->setFrameShape(QFrame::NoFrame);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setLineWrapMode(QTextEdit::WidgetWidth);
    pane->setTabChangesFocus(true);
    QPalette palette = pane->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    pane->setPalette(palette);
    return pane;
}

// A column of a tree over its help pane.
QWidget* MakeColumn(QWidget* ATree, QTextEdit* AHelp, int AMinimumWidth) {
    auto* column = new QWidget;
    column->setMinimumWidth(AMinimumWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ATree, 1);
    layout->addWidget(AHelp);
    ATree->setParent(column);
    AHelp->setParent(column);
    return column;
}

} // namespace

int TMainForm::Scaled(int APixels) const {
    return qRound(APixels * FLayoutScale);
}

QPoint TMainForm::Scaled(QPoint APlace) const {
    return {Scaled(APlace.x()), Scaled(APlace.y())};
}

QRect TMainForm::Scaled(const QRect& AGeometry) const {
    return {Scaled(AGeometry.left()), Scaled(AGeometry.top()), Scaled(AGeometry.width()),
            Scaled(AGeometry.height())};
}

void TMainForm::BuildControls() {
    setWindowTitle(QStringLiteral("Velvaro API Reference Utility 1.26"));
    FLayoutScale = std::max(1.0, fontMetrics().height() / double(UsualFontHeight));
    // A large font on a small screen: the window still fits on it.
    QSize most(Scaled(784), Scaled(562));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        most = most.boundedTo(screen->availableGeometry().size());
    setMinimumSize(QSize(Scaled(640), Scaled(480)).boundedTo(most));
    resize(most);

    BuildConnectionPanel();
    BuildProfileRow();
    BuildCommandPane();
    BuildParamGrid();
    BuildTreeSplitter();
    BuildButtonPanel();
    BuildURLStrip();
    LayOutPanels();
    SetTabOrder();

    ApplyTreePalettes();
    CreateShortcuts();
    CentreOnScreen();
}

void TMainForm::BuildConnectionPanel() {
    ConnectionPanel = new QFrame(this);
    ConnectionPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ConnectionPanel->setFixedHeight(Scaled(57));
    VersionLabel = MakeLabel(QStringLiteral("Version"), ConnectionPanel, Scaled(QPoint(16, 8)));
    VerEdit = new QLineEdit(ConnectionPanel);
    VerEdit->setGeometry(Scaled(QRect(16, 24, 51, 21)));
    AddressLabel = MakeLabel(QStringLiteral("Poker Server IP / Domain"), ConnectionPanel,
                             Scaled(QPoint(73, 8)));
    IPEdit = new QLineEdit(ConnectionPanel);
    IPEdit->setGeometry(Scaled(QRect(73, 24, 217, 21)));
    PortLabel = MakeLabel(QStringLiteral("Port"), ConnectionPanel, Scaled(QPoint(295, 8)));
    FilePortEdit = new QLineEdit(ConnectionPanel);
    FilePortEdit->setGeometry(Scaled(QRect(295, 24, 55, 21)));
    PathLabel = MakeLabel(QStringLiteral("API Path"), ConnectionPanel, Scaled(QPoint(356, 8)));
    APIPathEdit = new QLineEdit(ConnectionPanel);
    APIPathEdit->setGeometry(Scaled(QRect(356, 24, 105, 21)));
    // The box is the password field's caption.
    RememberPW = new QCheckBox(QStringLiteral("Remember API Password"), ConnectionPanel);
    RememberPW->setGeometry(Scaled(QRect(467, 6, 143, 17)));
    FitWidth(RememberPW);
    PasswordEdit = new QLineEdit(ConnectionPanel);
    PasswordEdit->setGeometry(Scaled(QRect(467, 24, 143, 21)));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setAccessibleName(QStringLiteral("API Password"));
    VersionLabel->setBuddy(VerEdit);
    AddressLabel->setBuddy(IPEdit);
    PortLabel->setBuddy(FilePortEdit);
    PathLabel->setBuddy(APIPathEdit);
    VerEdit->installEventFilter(this);
}

void TMainForm::BuildCommandPane() {
    CommandTreeModel = new TCommandTreeModel(*this, this);
    CommandTree = new TCommandTreeView(*this, nullptr);
    CommandTree->setModel(CommandTreeModel);
    CommandTree->setHeaderHidden(false);
    CommandTree->header()->setStretchLastSection(true);
    CommandTree->setSelectionMode(QAbstractItemView::SingleSelection);
    CommandTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CommandTree->setRootIsDecorated(true);
    CommandTree->setExpandsOnDoubleClick(true);
    CommandTree->setItemDelegate(new TRowTextDelegate(CommandTree));
    CommandTree->setAccessibleName(QStringLiteral("Commands"));
    CommandHelp = MakeHelpPane(Scaled(74));
    CommandHelp->setAccessibleName(QStringLiteral("Command help"));
    LeftPanel = MakeColumn(CommandTree, CommandHelp, Scaled(150));
    connect(CommandTree, &QTreeView::collapsed, this, &TMainForm::CommandTreeCollapsed);
}

void TMainForm::BuildParamGrid() {
    ParamTreeModel = new TParamTreeModel(*this, this);
    ParamTree = new TParamTreeView(*this, nullptr);
    ParamTree->setModel(ParamTreeModel);
    ParamTree->setItemDelegate(new TParamTreeDelegate(ParamTree));
    ParamTree->setRootIsDecorated(false);
    ParamTree->setItemsExpandable(false);
    ParamTree->setAllColumnsShowFocus(false);
    ParamTree->setSelectionBehavior(QAbstractItemView::SelectItems);
    ParamTree->setSelectionMode(QAbstractItemView::SingleSelection);
    ParamTree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    ParamTree->header()->setSectionsMovable(true);
    ParamTree->header()->setStretchLastSection(true);
    ParamTree->header()->setSectionResizeMode(QHeaderView::Interactive);
    ParamTree->header()->resizeSection(0, Scaled(175));
    ParamTree->setAccessibleName(QStringLiteral("Parameters"));
    ParamHelp = MakeHelpPane(Scaled(74));
    ParamHelp->setAccessibleName(QStringLiteral("Parameter help"));
    RightPanel = MakeColumn(ParamTree, ParamHelp, Scaled(150));
}

void TMainForm::BuildTreeSplitter() {
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setOpaqueResize(true);
    Splitter1->addWidget(LeftPanel);
    Splitter1->addWidget(RightPanel);
    Splitter1->setStretchFactor(1, 1);
    // The share the user gives the commands stays as the window is resized, and is remembered.
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = Splitter1->sizes();
        if (const int total = sizes.value(0) + sizes.value(1); total > 0)
            FSplitterShare = sizes.value(0) * 1000 / total;
    });
}

void TMainForm::BuildButtonPanel() {
    ButtonPanel = new QWidget(this);
    ButtonPanel->setFixedHeight(Scaled(41));
    ResultFormatLabel =
        MakeLabel(QStringLiteral("Result format:"), ButtonPanel, Scaled(QPoint(99, 12)));
    JSONRB = new QRadioButton(QStringLiteral("JSON"), ButtonPanel);
    JSONRB->setChecked(true);
    LegacyRB = new QRadioButton(QStringLiteral("Legacy"), ButtonPanel);
    auto* formats = new QButtonGroup(this);
    formats->addButton(JSONRB);
    formats->addButton(LegacyRB);
    for (QRadioButton* button : {JSONRB, LegacyRB})
        connect(button, &QRadioButton::toggled, this, [this](bool AChecked) {
            if (AChecked)
                JSONRBClick();
        });
    CallButton = new QPushButton(QStringLiteral("Send"), ButtonPanel);
    PlaceInRow(JSONRB, ResultFormatLabel, Scaled(QRect(183, 10, 50, 17)));
    PlaceInRow(LegacyRB, JSONRB, Scaled(QRect(242, 10, 57, 17)));
    PlaceInRow(CallButton, LegacyRB, Scaled(QRect(363, 6, 110, 25)));
    CallButton->setToolTip(QStringLiteral("Send the call (Ctrl+Return)"));
    CallButton->setEnabled(false);
    connect(CallButton, &QPushButton::clicked, this, &TMainForm::CallButtonClick);
}

void TMainForm::LayOutPanels() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ConnectionPanel);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(ButtonPanel);
    layout->addWidget(CallURLLabel);
}

void TMainForm::SetTabOrder() {
    QWidget* order[] = {CommandTree, CommandHelp,  VerEdit,    IPEdit,    FilePortEdit,
                        APIPathEdit, PasswordEdit, RememberPW, ParamTree, ParamHelp,
                        CallButton,  JSONRB,       LegacyRB};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TMainForm::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TMainForm::FormResize() {
    const int left = (width() - SplitterWidth) * FSplitterShare / 1000;
    Splitter1->setSizes({left, width() - SplitterWidth - left});
}
