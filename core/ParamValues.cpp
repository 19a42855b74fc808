#include "ParamValues.h"

QStringList TParamValues::AllLines() const {
    QStringList result;
    result.reserve(FLines.size());
    for (const TLine& line : FLines)
        result.append(line.Text);
    return result;
}

QString TParamValues::Name(qsizetype AIndex) const {
    const QString& line = Line(AIndex);
    const qsizetype separator = line.indexOf(u'=');
    return separator < 0 ? QString() : line.left(separator);
}

QString TParamValues::Value(qsizetype AIndex) const {
    const QString& line = Line(AIndex);
    const qsizetype separator = line.indexOf(u'=');
    return separator < 0 ? QString() : line.mid(separator + 1);
}

qsizetype TParamValues::IndexOfName(const QString& AName) const {
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        const QString& line = FLines[i].Text;
        const qsizetype separator = line.indexOf(u'=');
        if (separator >= 0 &&
            QStringView(line).left(separator).compare(AName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void TParamValues::SetValue(const QString& AName, const QString& AValue) {
    const qsizetype index = IndexOfName(AName);
    if (AValue.isEmpty()) {
        if (index >= 0)
            FLines.removeAt(index);
    } else if (index >= 0) {
        FLines[index].Text = AName + u'=' + AValue;
    } else {
        Add(AName + u'=' + AValue);
    }
}
