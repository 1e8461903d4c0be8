#pragma once

#include <QList>
#include <algorithm>
#include <cmath>

// The figures scripts/bench reports of a set of samples; p90 and p99 by nearest rank.
struct Percentiles
{
    double median = 0;
    double p90 = 0;
    double p99 = 0;
    double worst = 0;

    static Percentiles of(QList<double> values)
    {
        if (values.isEmpty())
            return {};
        std::sort(values.begin(), values.end());
        const qsizetype n = values.size();
        const auto rank = [&](double percent) {
            return values.at(
                std::clamp<qsizetype>(qsizetype(std::ceil(percent / 100 * double(n))) - 1, 0, n - 1));
        };
        const double median = n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
        return {median, rank(90), rank(99), values.constLast()};
    }
};
