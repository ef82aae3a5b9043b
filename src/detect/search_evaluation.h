// How a prerequisite's searches combine into one verdict.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "detect/prerequisite.h"

// Runs one search and reports whether it found what it looks for, with the
// values it collected.
using SearchRunner = std::function<SearchResult(const SearchEntry&)>;

// Operator 0: every search must be found (stops at the first that is not);
// operator 1: one suffices (stops at the first that is found); any other
// operator runs every search and is never satisfied. results receives one
// entry per search that ran, in order.
bool EvaluateSearchList(const std::vector<SearchEntry>& searches, int32_t search_operator,
                        const SearchRunner& run, std::vector<SearchResult>* results);
