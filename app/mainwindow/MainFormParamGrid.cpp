// The parameter grid's handlers: values, check boxes, in-place editing and the result format.

#include "MainForm.h"
#include "ParamTree.h"
#include "TextColors.h"

#include <QRadioButton>
#include <QTextEdit>

namespace {
constexpr int FixedRows = 3; // Command, Password and JSON: filled by the program
constexpr int ValueColumn = 1;
} // namespace

QString TMainForm::ParamTreeGetText(int AIndex, int AColumn) const {
    return AColumn == 0 ? FParamValues.Name(AIndex) : FParamValues.Value(AIndex);
}

bool TMainForm::ParamTreeInitNode(int AIndex) const {
    return !FParamValues.Value(AIndex).isEmpty();
}

bool TMainForm::ParamTreeGetChecked(int AIndex) const {
    return FParamValues.Checked(AIndex);
}

void TMainForm::ParamTreeSetChecked(int AIndex, bool AChecked) {
    FParamValues.SetChecked(AIndex, AChecked);
}

bool TMainForm::ParamTreeChecking(int AIndex, bool&) const {
    return AIndex >= FixedRows;
}

bool TMainForm::ParamTreeEditing(int AIndex, int AColumn) const {
    return AIndex >= FixedRows && AColumn == ValueColumn && AIndex < FParamValues.Count();
}

void TMainForm::ParamTreeNewText(int AIndex, int, const QString& ANewText) {
    FParamValues.SetLine(AIndex, FParamValues.Name(AIndex) + u'=' + ANewText);
    ParamTreeModel->SetChecked(AIndex, !ANewText.isEmpty());
}

void TMainForm::ParamTreeFocusChanged(int AIndex, int AColumn) {
    const TParam& param = *FCurrentCommand->Params.at(static_cast<std::size_t>(AIndex));
    ShowHelp(ParamHelp, param.Name, param.Help + VersionRangeText(param.VerMin, param.VerMax));
    if (AIndex >= FixedRows && AColumn == ValueColumn)
        ParamTree->edit(ParamTreeModel->index(AIndex, AColumn));
}

void TMainForm::ParamTreePaintText(int AIndex, TTextStyle& AStyle) const {
    const TParam& param = *FCurrentCommand->Params.at(static_cast<std::size_t>(AIndex));
    AStyle.Unavailable = !VersionInRange(EnteredVersion(), param.VerMin, param.VerMax);
    if (AStyle.Unavailable)
        AStyle.Color = GreyedTextColor(ParamTree->palette());
    else if (AIndex < FixedRows)
        AStyle.Color = FixedRowTextColor(ParamTree->palette());
}

void TMainForm::JSONRBClick() {
    if (FParamValues.IsEmpty())
        return;
    FParamValues.SetValue(QStringLiteral("JSON"),
                          JSONRB->isChecked() ? QStringLiteral("Yes") : QStringLiteral("No"));
    ParamTree->viewport()->update();
}
