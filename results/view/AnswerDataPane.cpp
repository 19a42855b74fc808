#include "AnswerDataPane.h"

#include "AnswerTableModel.h"
#include "AnswerTreeModel.h"
#include "BackgroundPool.h"
#include "TableText.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <stdexcept>

namespace {

// The tree of a JSON text, or why there is none.
std::shared_ptr<const TAnswerTree> ReadTree(std::shared_ptr<const std::string> AText,
                                            QString& AError) {
    try {
        return std::make_shared<const TAnswerTree>(std::move(AText));
    } catch (const std::runtime_error& error) {
        AError = QStringLiteral("The answer is not JSON: %1").arg(QString::fromUtf8(error.what()));
        return nullptr;
    }
}

} // namespace

TAnswerDataPane::TAnswerDataPane(QWidget* AParent) : QWidget(AParent) {
    ReadError = new QLabel(this);
    ReadError->setWordWrap(true);
    ReadError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ReadError->hide();

    auto* treePage = new QWidget(this);
    TreeFind = new QLineEdit(treePage);
    TreeFind->setPlaceholderText(QStringLiteral("Find in the tree (Enter: next)"));
    TreeFind->setAccessibleName(QStringLiteral("Find in the tree"));
    TreeView = new QTreeView(treePage);
    TreeView->setAccessibleName(QStringLiteral("Answer tree"));
    TreeView->setUniformRowHeights(true);
    TreeModel = new TAnswerTreeModel(this);
    TreeView->setModel(TreeModel);
    TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* treeLayout = new QVBoxLayout(treePage);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->addWidget(TreeFind);
    treeLayout->addWidget(TreeView, 1);

    auto* tablePage = new QWidget(this);
    TablePicker = new QComboBox(tablePage);
    TablePicker->setAccessibleName(QStringLiteral("Table"));
    TableFilter = new QLineEdit(tablePage);
    TableFilter->setPlaceholderText(QStringLiteral("Quick filter"));
    TableFilter->setAccessibleName(QStringLiteral("Quick filter"));
    TableFilter->setClearButtonEnabled(true);
    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), tablePage);
    TableNote = new QLabel(tablePage);
    TableView = new QTableView(tablePage);
    TableView->setAccessibleName(QStringLiteral("Answer table"));
    TableModel = new TAnswerTableModel(this);
    TableView->setModel(TableModel);
    TableView->setSortingEnabled(true);
    TableView->horizontalHeader()->setSortIndicatorShown(true);
    TableView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    TableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableView->verticalHeader()->setDefaultSectionSize(TableView->fontMetrics().height() + 4);
    auto* tableBar = new QHBoxLayout;
    tableBar->addWidget(TablePicker, 1);
    tableBar->addWidget(TableFilter, 1);
    tableBar->addWidget(exportButton);
    auto* tableLayout = new QVBoxLayout(tablePage);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addLayout(tableBar);
    tableLayout->addWidget(TableNote);
    tableLayout->addWidget(TableView, 1);

    Views = new QStackedWidget(this);
    Views->addWidget(treePage);
    Views->addWidget(tablePage);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(ReadError);
    layout->addWidget(Views, 1);

    connect(TreeFind, &QLineEdit::returnPressed, this, [this] { FindNext(TreeFind->text()); });
    connect(TablePicker, &QComboBox::currentIndexChanged, this, &TAnswerDataPane::ShowTable);
    connect(TableFilter, &QLineEdit::textChanged, TableModel, &TAnswerTableModel::SetFilter);
    connect(exportButton, &QPushButton::clicked, this, &TAnswerDataPane::ExportCsv);
    connect(TreeView, &QWidget::customContextMenuRequested, this, [this](QPoint AWhere) {
        QMenu menu;
        menu.addAction(QStringLiteral("Copy"), QKeySequence::Copy, this,
                       &TAnswerDataPane::CopyValue);
        menu.addAction(QStringLiteral("Copy Path"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                       this, &TAnswerDataPane::CopyPath);
        menu.exec(TreeView->viewport()->mapToGlobal(AWhere));
    });
    const auto shortcut = [](QWidget* AWidget, const QKeySequence& AKeys, auto AAction) {
        auto* keys = new QShortcut(AKeys, AWidget);
        keys->setContext(Qt::WidgetWithChildrenShortcut);
        connect(keys, &QShortcut::activated, AWidget, AAction);
    };
    shortcut(TreeView, QKeySequence::Copy, [this] { CopyValue(); });
    shortcut(TreeView, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { CopyPath(); });
    shortcut(TableView, QKeySequence::Copy, [this] { CopyRows(); });
    connect(&FReadWatcher, &QFutureWatcherBase::finished, this, [this] {
        FReadPending = false;
        TRead read = FReadWatcher.result();
        if (!read.Cancelled)
            Show(std::move(read));
    });
}

TAnswerDataPane::~TAnswerDataPane() {
    // Work still running ends on its own at its next look at the flag; nothing waits for it.
    if (FCancel)
        FCancel->store(true);
}

void TAnswerDataPane::SetAnswer(TTextDocument::TText AText, bool ASequence) {
    if (AText == FAnswer)
        return;
    FAnswer = std::move(AText);
    FSequence = ASequence;
    if (isVisible())
        StartRead();
}

void TAnswerDataPane::StartRead() {
    if (!FAnswer || FAnswer == FReadFor)
        return;
    FReadFor = FAnswer;
    if (FCancel)
        FCancel->store(true);
    FCancel = std::make_shared<std::atomic<bool>>(false);
    FReadPending = true;
    FReadWatcher.setFuture(QtConcurrent::run(
        &BackgroundPool(), [answer = FAnswer, sequence = FSequence, cancel = FCancel] {
            TRead read;
            // In UTF-8 with room past the end for the parser, so that the tree reads it without a
            // copy; a filter's results, one per line, as the elements of one array when there are
            // several (a line break stands only between two results).
            const QByteArray utf8 =
                QStringView(answer->data(), static_cast<qsizetype>(answer->size())).toUtf8();
            if (cancel->load()) {
                read.Cancelled = true;
                return read;
            }
            const bool array = sequence && (utf8.isEmpty() || utf8.contains('\n'));
            auto text = std::make_shared<std::string>();
            text->reserve(static_cast<std::size_t>(utf8.size()) + 2 + AnswerTreePadding);
            if (array)
                *text += '[';
            text->append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
            if (array) {
                std::replace(text->begin(), text->end(), '\n', ',');
                *text += ']';
            }
            read.Tree = ReadTree(std::move(text), read.Error);
            return read;
        }));
}

void TAnswerDataPane::ShowMode(TMode AMode) {
    FMode = AMode;
    Views->setCurrentIndex(AMode == TMode::Tree ? 0 : 1);
    StartRead();
    if (AMode == TMode::Tree)
        TreeView->setFocus();
    else
        TableView->setFocus();
}

void TAnswerDataPane::Show(TRead ARead) {
    ReadError->setText(ARead.Error);
    ReadError->setVisible(!ARead.Error.isEmpty());
    if (ARead.Tree) {
        FTree = std::move(ARead.Tree);
        TreeModel->SetTree(FTree);
        TreeView->expand(TreeModel->index(0, 0));
        TreeView->resizeColumnToContents(0);
        FTables = FindTables(*FTree);
        const QSignalBlocker blocker(TablePicker);
        TablePicker->clear();
        for (const std::uint32_t table : FTables)
            TablePicker->addItem(QStringLiteral("%1  (%2 rows)")
                                     .arg(QString::fromStdString(FTree->Path(table)))
                                     .arg(FTree->Kind(table) == TNodeKind::Array
                                              ? FTree->Node(table).Length
                                              : FTree->Node(table + 1).Length));
        TablePicker->setVisible(FTables.size() > 1);
        ShowTable(0);
    }
    emit Idle();
}

void TAnswerDataPane::ShowTable(int APick) {
    if (!FTree || APick < 0 || static_cast<std::size_t>(APick) >= FTables.size()) {
        TableModel->SetTable(FTree, {});
        TableNote->setText(
            QStringLiteral("The answer holds no array of objects to show as a table."));
        TableNote->show();
        return;
    }
    TableNote->hide();
    TableView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    TableModel->SetTable(FTree, MakeTable(*FTree, FTables[static_cast<std::size_t>(APick)]));
}

void TAnswerDataPane::CopyValue() {
    const std::uint32_t node = TreeModel->NodeOf(TreeView->currentIndex());
    if (node != NoNode)
        QApplication::clipboard()->setText(QString::fromStdString(FTree->Json(node)));
}

void TAnswerDataPane::CopyPath() {
    const std::uint32_t node = TreeModel->NodeOf(TreeView->currentIndex());
    if (node != NoNode)
        QApplication::clipboard()->setText(QString::fromStdString(FTree->Path(node)));
}

bool TAnswerDataPane::FindNext(const QString& AText) {
    if (!FTree)
        return false;
    const std::uint32_t found =
        FTree->Find(AText.toStdString(), TreeModel->NodeOf(TreeView->currentIndex()));
    if (found == NoNode)
        return false;
    const QModelIndex index = TreeModel->IndexOf(found);
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        TreeView->expand(up);
    TreeView->setCurrentIndex(index);
    TreeView->scrollTo(index);
    return true;
}

void TAnswerDataPane::CopyRows() {
    if (!TableModel->Tree())
        return;
    QModelIndexList selected = TableView->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& A, const QModelIndex& B) { return A.row() < B.row(); });
    std::vector<std::uint32_t> rows;
    for (const QModelIndex& index : selected)
        rows.push_back(TableModel->ShownRows()[static_cast<std::size_t>(index.row())]);
    QApplication::clipboard()->setText(
        QString::fromStdString(TableTsv(*TableModel->Tree(), TableModel->Table(), rows, false)));
}

QString TAnswerDataPane::TableCsvText() const {
    if (!TableModel->Tree())
        return {};
    return QString::fromStdString(
        TableCsv(*TableModel->Tree(), TableModel->Table(), TableModel->ShownRows()));
}

void TAnswerDataPane::ExportCsv() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                                      QStringLiteral("answer.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    const QByteArray bytes = TableCsvText().toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        QMessageBox::warning(
            this, QStringLiteral("Export CSV"),
            QStringLiteral("Could not write %1:\n%2").arg(path, file.errorString()));
}
