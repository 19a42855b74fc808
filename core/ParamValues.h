#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// An ordered list of "name=value" lines, each with its tick (whether it goes out with a call).
// The name of a line is the text before its first "=", the value everything after it; a line
// without "=" has neither.
class TParamValues {
public:
    void Clear() { FLines.clear(); }
    // A new line starts unticked.
    void Add(const QString& ALine) { FLines.append({ALine, false}); }
    qsizetype Count() const { return FLines.size(); }
    bool IsEmpty() const { return FLines.isEmpty(); }
    const QString& Line(qsizetype AIndex) const { return FLines.at(AIndex).Text; }
    // Rewrites the line's text; its tick stays.
    void SetLine(qsizetype AIndex, const QString& ALine) { FLines[AIndex].Text = ALine; }
    bool Checked(qsizetype AIndex) const { return FLines.at(AIndex).Checked; }
    void SetChecked(qsizetype AIndex, bool AChecked) { FLines[AIndex].Checked = AChecked; }
    QStringList AllLines() const;

    QString Name(qsizetype AIndex) const;
    QString Value(qsizetype AIndex) const;

    // Rewrites the first line whose name matches AName ignoring case (keeping its tick), or
    // appends an unticked one; an empty AValue deletes that line instead.
    void SetValue(const QString& AName, const QString& AValue);

private:
    qsizetype IndexOfName(const QString& AName) const;

    struct TLine {
        QString Text;
        bool Checked = false;
    };
    QList<TLine> FLines;
};
