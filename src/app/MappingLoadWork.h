// The mapping load as long work: the window's thread only pumps messages while workers read
// the tables and resolve the accounts, several chunks at once.
#pragma once
#include "app/LongWork.h"
#include "mapping/MappingLoader.h"

namespace vcm {

// Workers the account lookups of a load use at once. Under Wine on two processors the loader
// benchmark found no gain while one thread's lookups ran at their usual speed (the calls
// queue at the one Wine server process); in runs where they ran three times slower, two
// workers took 0.42 to 0.44 of that time and four 0.26. Two are kept: they overlap the waits
// for a real domain controller's answers while asking it only twice at once.
inline constexpr unsigned kLookupWorkers = 2;

// Reads the mappings on one worker, resolves their accounts chunk by chunk on `threads`
// workers (counting resolved identifiers against the distinct ones, for the runner's
// display), then applies the view options on one worker. Throws what a step threw.
MappingLoad LoadMappingsOnWorkers(LongWorkRunner& runner, const LoadSettings& settings,
                                  unsigned threads = kLookupWorkers);

}  // namespace vcm
