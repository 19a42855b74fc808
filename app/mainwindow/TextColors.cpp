#include "TextColors.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(double AChannel) {
    return AChannel <= 0.04045 ? AChannel / 12.92 : std::pow((AChannel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& AColor) {
    const QColor rgb = AColor.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
           0.0722 * Linear(rgb.blueF());
}

QColor Mix(const QColor& AFrom, const QColor& ATo, double AShare) {
    const QColor from = AFrom.toRgb();
    const QColor to = ATo.toRgb();
    const auto channel = [AShare](float AOne, float AOther) {
        return AOne + (AOther - AOne) * static_cast<float>(AShare);
    };
    return QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
                            channel(from.blueF(), to.blueF()));
}

// The first colour along the way from AStart to AEnd (in steps of 1/64) that reaches the
// minimum contrast against ABase; AEnd when none does before it.
QColor FirstReadable(const QColor& AStart, const QColor& AEnd, const QColor& ABase) {
    for (int step = 0; step < 64; ++step) {
        const QColor color = Mix(AStart, AEnd, step / 64.0);
        if (ContrastRatio(color, ABase) >= MinimumContrast)
            return color.toRgb();
    }
    return AEnd.toRgb();
}

const QColor LightGrey(128, 128, 128);
const QColor LightBlue(0, 0, 255);
const QColor InactiveCaption(191, 205, 219);

} // namespace

double ContrastRatio(const QColor& AFirst, const QColor& ASecond) {
    const double first = Luminance(AFirst);
    const double second = Luminance(ASecond);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

bool IsDarkPalette(const QPalette& APalette) {
    const QColor base = APalette.color(QPalette::Active, QPalette::Base);
    return ContrastRatio(base, Qt::white) > ContrastRatio(base, Qt::black);
}

QColor GreyedTextColor(const QPalette& APalette) {
    if (!IsDarkPalette(APalette))
        return LightGrey;
    // Half way between the text and the base reads as "dimmed"; move towards the text only as
    // far as the contrast needs.
    const QColor base = APalette.color(QPalette::Active, QPalette::Base);
    const QColor text = APalette.color(QPalette::Active, QPalette::Text);
    const QColor lightest = ContrastRatio(text, base) >= MinimumContrast ? text : QColor(Qt::white);
    return FirstReadable(Mix(base, lightest, 0.5), lightest, base);
}

QColor FixedRowTextColor(const QPalette& APalette) {
    if (!IsDarkPalette(APalette))
        return LightBlue;
    // The blue lightened towards white until it reads on the base.
    return FirstReadable(LightBlue, Qt::white, APalette.color(QPalette::Active, QPalette::Base));
}

QColor ReadableOn(const QColor& AColor, const QColor& ABackground) {
    if (ContrastRatio(AColor, ABackground) >= MinimumContrast)
        return AColor;
    const QColor white(Qt::white);
    const QColor black(Qt::black);
    const QColor towards =
        ContrastRatio(white, ABackground) >= ContrastRatio(black, ABackground) ? white : black;
    return FirstReadable(AColor, towards, ABackground);
}

QPalette UnfocusedSelectionPalette(const QPalette& APalette) {
    QPalette palette = APalette;
    if (IsDarkPalette(APalette))
        return palette;
    palette.setColor(QPalette::Inactive, QPalette::Highlight, InactiveCaption);
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     APalette.color(QPalette::Active, QPalette::Text));
    return palette;
}
