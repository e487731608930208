#pragma once

#include "core/result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace isolumen {

// How a ratio's value is given: as it is, in atom percent, or as δ against a standard ratio.
enum class RatioUnit { Plain, Percent, Delta };

// What makes a ratio: a numerator and a denominator that each add up one or more species, a
// scale factor, thresholds on the two sums, and the unit of the value. The value at a pixel or
// over a region is gain() x N/D + offset().
struct RatioDefinition
{
    QList<int> numerator{0};   // species, 0-based, summed
    QList<int> denominator{1}; // species, 0-based, summed
    double scale = 1;
    double numeratorThreshold = 0;   // tN: a ratio needs N >= tN
    double denominatorThreshold = 0; // tD: and D > tD
    RatioUnit unit = RatioUnit::Plain;
    double standard = 1; // R_std of a δ value: scale x N/D of the standard

    bool operator==(const RatioDefinition&) const = default;

    // Percent: 100 x scale; δ: (R / R_std - 1) x 1000 with R = scale x N/D.
    double gain() const;
    double offset() const;
    // Every species of both terms, once each, in order of appearance.
    QList<int> species() const;
};

// A ratio as text, "N/D", each term a species or a sum "A+B", a term of several species in
// parentheses or not: "13C/(12C+13C)", "2/1+2". A species is its label (one of labels, blanks
// around it ignored) or its number from 1. Without "/" the text is a numerator alone (a species
// or a sum), with an empty denominator. Absent, with why in error, when the text is none of
// these or names a species twice in a term.
Result<RatioDefinition> parseRatioTerms(const QString& text, const QStringList& labels);

// The terms as the user reads them: "13C/12C", "13C/(12C+13C)"; a term of several species in
// parentheses. name gives a species' label.
QString ratioTermsLabel(const RatioDefinition& ratio, const std::function<QString(int)>& name);

// The terms' label with the scale and unit: "13C/12C ×10000", "13C/(12C+13C) at-%",
// "13C/12C δ (‰)".
QString ratioLabel(const RatioDefinition& ratio, const std::function<QString(int)>& name);

// The terms' part of a label, without what ratioLabel() adds after it.
QString ratioTermsText(const QString& label);

} // namespace isolumen
