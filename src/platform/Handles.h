// Move-only owners for the handles the program uses. One template, a traits type per
// handle kind (its empty value and its closer); no implicit conversion to the raw handle.
#pragma once
#include "platform/Odbc.h"
#include <commctrl.h>
#include <utility>

namespace vcm {

template <class Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() noexcept = default;
    explicit Unique(Handle h) noexcept : m_h(h) {}
    Unique(Unique&& other) noexcept : m_h(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Handle get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return !Traits::IsEmpty(m_h); }

    void reset(Handle h = Traits::Empty()) noexcept
    {
        if (!Traits::IsEmpty(m_h))
            Traits::Close(m_h);
        m_h = h;
    }
    Handle release() noexcept { return std::exchange(m_h, Traits::Empty()); }
    // For out-parameters of creating calls: closes what is held and hands out the slot.
    Handle* put() noexcept
    {
        reset();
        return &m_h;
    }

private:
    Handle m_h = Traits::Empty();
};

struct HKeyTraits {
    using Handle = HKEY;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept { RegCloseKey(h); }
};

struct HModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept { FreeLibrary(h); }
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE mean "none" (CreateFile vs. OpenProcess).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { CloseHandle(h); }
};

template <class T>
struct GdiTraits {
    using Handle = T;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept { DeleteObject(h); }
};

struct HMenuTraits {
    using Handle = HMENU;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept { DestroyMenu(h); }
};

struct HImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept;
};

template <SQLSMALLINT Type>
struct SqlHandleTraits {
    using Handle = SQLHANDLE;
    static Handle Empty() noexcept { return SQL_NULL_HANDLE; }
    static bool IsEmpty(Handle h) noexcept { return h == SQL_NULL_HANDLE; }
    static void Close(Handle h) noexcept;
};

using UniqueHKey = Unique<HKeyTraits>;
using UniqueHModule = Unique<HModuleTraits>;
using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueHFont = Unique<GdiTraits<HFONT>>;
using UniqueHBitmap = Unique<GdiTraits<HBITMAP>>;
using UniqueHBrush = Unique<GdiTraits<HBRUSH>>;
using UniqueHMenu = Unique<HMenuTraits>;
using UniqueImageList = Unique<HImageListTraits>;
using UniqueSqlEnv = Unique<SqlHandleTraits<SQL_HANDLE_ENV>>;
using UniqueSqlDbc = Unique<SqlHandleTraits<SQL_HANDLE_DBC>>;
using UniqueSqlStmt = Unique<SqlHandleTraits<SQL_HANDLE_STMT>>;

// GetDC/ReleaseDC as a pair.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(GetDC(hwnd)) {}
    ~WindowDC() { if (m_dc) ReleaseDC(m_hwnd, m_dc); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const noexcept { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// SelectObject with the previous object restored at scope end.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) noexcept : m_dc(dc), m_old(SelectObject(dc, obj)) {}
    ~SelectedObject() { if (m_old) SelectObject(m_dc, m_old); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

}  // namespace vcm
