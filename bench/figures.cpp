#include "figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

Summary summarize(std::vector<double> samples) {
    Summary summary;
    summary.count = samples.size();
    if (samples.empty())
        return summary;
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double fraction) {
        const auto index = static_cast<std::size_t>(std::ceil(fraction * samples.size()));
        return samples[std::clamp<std::size_t>(index, 1, samples.size()) - 1];
    };
    summary.p50 = rank(0.50);
    summary.p95 = rank(0.95);
    summary.p99 = rank(0.99);
    summary.max = samples.back();
    return summary;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

Table::Table(std::string title, std::vector<std::string> columns)
    : m_title(std::move(title)), m_columns(std::move(columns)) {}

void Table::addRow(std::vector<std::string> cells) {
    cells.resize(m_columns.size());
    m_rows.push_back(std::move(cells));
}

void Table::print() const {
    std::vector<std::size_t> widths;
    for (const std::string& column : m_columns)
        widths.push_back(column.size());
    for (const auto& row : m_rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());

    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text = "|";
        for (std::size_t i = 0; i < cells.size(); ++i)
            text += " " + cells[i] + std::string(widths[i] - cells[i].size(), ' ') + " |";
        std::puts(text.c_str());
    };
    std::printf("\n%s\n\n", m_title.c_str());
    line(m_columns);
    std::string rule = "|";
    for (std::size_t width : widths)
        rule += std::string(width + 2, '-') + "|";
    std::puts(rule.c_str());
    for (const auto& row : m_rows)
        line(row);
    std::fflush(stdout);
}

} // namespace bench
