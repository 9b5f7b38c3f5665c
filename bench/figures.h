#pragma once

#include <string>
#include <vector>

namespace bench {

// Order statistics of a set of samples (any unit; the caller keeps track).
struct Summary {
    std::size_t count = 0;
    double p50 = 0;
    double p95 = 0;
    double p99 = 0;
    double max = 0;
};

// Nearest-rank percentiles; an empty set gives zeros.
Summary summarize(std::vector<double> samples);

// A figure with a fixed number of decimals, e.g. fixed(1.234, 2) == "1.23".
std::string fixed(double value, int decimals);

// Prints rows under a title as an aligned plain-text table.
class Table {
public:
    Table(std::string title, std::vector<std::string> columns);
    void addRow(std::vector<std::string> cells);
    void print() const;

private:
    std::string m_title;
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

// "met" or "MISSED" for a goal check.
inline std::string verdict(bool met) {
    return met ? "met" : "MISSED";
}

} // namespace bench
