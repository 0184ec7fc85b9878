// Grids filled cell by cell and file contents read back, for the removal and export tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "mapping/GridModel.h"
#include "mapping/MappingGrid.h"

namespace vcm::test {

// A mapping grid holding exactly these rows, in this order, nothing selected.
inline GridModel GridOf(const std::vector<MappingRow>& rows)
{
    GridModel grid(MappingGridColumns());
    grid.SetRows(static_cast<int>(rows.size()) + 1);
    for (int r = 1; r < grid.Rows(); ++r) {
        const MappingRow& m = rows[static_cast<size_t>(r - 1)];
        grid.SetCell(r, grid.ColIndex(kKeyADDomain), m.ADDomain);
        grid.SetCell(r, grid.ColIndex(kKeyADAlias), m.ADAlias);
        grid.SetCell(r, grid.ColIndex(kKeyPrimary), m.Primary);
        grid.SetCell(r, grid.ColIndex(kKeyVeltoAlias), m.VeltoAlias);
        grid.SetCell(r, grid.ColIndex(kKeySID), m.SID);
    }
    return grid;
}

// Every cell's text, row by row in design column order, so that two states compare whole.
inline std::vector<std::vector<std::wstring>> Snapshot(const GridModel& grid)
{
    std::vector<std::vector<std::wstring>> cells;
    for (int r = 0; r < grid.Rows(); ++r) {
        auto& row = cells.emplace_back();
        for (int c = 0; c < grid.Cols(); ++c)
            row.push_back(grid.TextMatrix(r, c));
    }
    return cells;
}

// The file's bytes; "<missing>" when it cannot be opened.
inline std::string FileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

}  // namespace vcm::test
