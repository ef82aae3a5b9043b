#include "detect/search_evaluation.h"

bool EvaluateSearchList(const std::vector<SearchEntry>& searches, int32_t search_operator,
                        const SearchRunner& run, std::vector<SearchResult>* results) {
  results->clear();
  const bool all_must_succeed = search_operator == 0;
  const bool one_suffices = search_operator == 1;
  bool running = all_must_succeed;
  for (const SearchEntry& search : searches) {
    SearchResult result = run(search);
    const bool found = result.found;
    results->push_back(std::move(result));
    if (all_must_succeed) {
      running = running && found;
      if (!running) break;  // the verdict can no longer change
    } else if (one_suffices) {
      running = running || found;
      if (running) break;
    }
  }
  return running;
}
