// The mappings of deleted accounts among the grid's rows, as candidates for the bulk
// removal, and the box that sums a bulk removal up.
#pragma once
#include <string>
#include <vector>

#include "grid/GridModel.h"
#include "mapping/BulkRemoval.h"
#include "mapping/MappingModel.h"

namespace vcm {

// The data rows (1 ..) of a mapping grid whose account is Deleted, in grid order; never
// an Unverified or Resolved one. Empty when the grid shows no model.
std::vector<int> DeletedAccountRows(const GridModel& grid);

// What the bulk removal needs of a model row: its key and what the load saw of it.
RemovalCandidate CandidateOf(const MappingModel& model, MappingModel::Row row);

// "Mappings removed: n", "Mappings skipped: m" with the reasons of the first ten skipped,
// the count a Stop left unprocessed, and the restore file.
std::wstring BulkRemovalSummary(const BulkRemovalResult& result, size_t candidates, const std::wstring& restoreFile);

}  // namespace vcm
