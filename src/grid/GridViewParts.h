// What the grid view's source files share: private messages, the check images' layout and
// a scoped flag. Only the grid view includes this.
#pragma once
#include <windows.h>

namespace vcm::gridview {

inline constexpr UINT_PTR kListSubclassId = 1;
// Posted to the host: the header's drag has finished and its order is final.
inline constexpr UINT kSyncColumnOrder = WM_APP + 1;
// Posted to the host: something gave a hidden column a width.
inline constexpr UINT kRezeroHidden = WM_APP + 2;

inline constexpr int kUncheckedImage = 0;
inline constexpr int kCheckedImage = 1;

// The same images at any DPI: a 16-pixel cell at 96 DPI holding a 13-pixel box.
inline constexpr int kImageSize96 = 16;
inline constexpr int kBoxSize96 = 13;

// Sets a flag for the length of a scope.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~ScopedFlag() { m_flag = m_old; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

}  // namespace vcm::gridview
