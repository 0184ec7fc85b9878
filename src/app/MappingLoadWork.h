// The mapping load as long work: the window's thread only pumps messages while workers read
// the tables and resolve the accounts, several chunks at once.
#pragma once
#include "app/LongWork.h"
#include "mapping/MappingLoader.h"

namespace vcm {

// Workers the account lookups of a load use at once. Under Wine on two processors no count
// was faster than one thread in the loader benchmark: the lookups queue at the one Wine
// server process. Two are kept because the answer time of a real domain controller is spent
// waiting, and two workers overlap those waits.
inline constexpr unsigned kLookupWorkers = 2;

// Reads the mappings on one worker, resolves their accounts chunk by chunk on `threads`
// workers (counting resolved identifiers against the distinct ones, for the runner's
// display), then applies the view options on one worker. Throws what a step threw.
MappingLoad LoadMappingsOnWorkers(LongWorkRunner& runner, const LoadSettings& settings,
                                  unsigned threads = kLookupWorkers);

}  // namespace vcm
