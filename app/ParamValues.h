#pragma once

#include <QString>
#include <QStringList>

// An ordered list of "name=value" lines. The name of a line is the text before its first "=",
// the value everything after it; a line without "=" has neither.
class TParamValues {
public:
    void Clear() { Lines.clear(); }
    void Add(const QString& ALine) { Lines.append(ALine); }
    qsizetype Count() const { return Lines.size(); }
    bool IsEmpty() const { return Lines.isEmpty(); }
    const QString& Line(qsizetype AIndex) const { return Lines.at(AIndex); }
    void SetLine(qsizetype AIndex, const QString& ALine) { Lines[AIndex] = ALine; }
    const QStringList& AllLines() const { return Lines; }

    QString Name(qsizetype AIndex) const;
    QString Value(qsizetype AIndex) const;

    // Rewrites the first line whose name matches AName ignoring case, or appends one; an empty
    // AValue deletes that line instead.
    void SetValue(const QString& AName, const QString& AValue);

private:
    qsizetype IndexOfName(const QString& AName) const;

    QStringList Lines;
};
