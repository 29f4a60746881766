#pragma once
// What the dataset's locate shares with the datasets that search for it.

#include <vector>

#include "index/IndexDescriptor.h"

namespace quire {

// Whether index `d` starts with the fields `numbers` (logical numbers, in
// order) and folds case as a search asks.
bool IndexServes(const TIndexDescriptor& d, const std::vector<int>& numbers, bool caseInsensitive);

}  // namespace quire
