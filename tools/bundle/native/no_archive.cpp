// The configuration checker builds a ChainerConfig outside any run: there is
// no executable's archive, so no search helper can be extracted.
#include "core/chainer_config.h"

std::wstring ChainerConfig::GetSearchHelperPath(const SearchEntry&) { return std::wstring(); }
