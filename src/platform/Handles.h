// Move-only owners for the handles the program uses. One template, a traits type per
// handle kind (its empty value and its closer); no implicit conversion to the raw handle.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <oleauto.h>
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

// Handles whose empty value is null, closed by one call that takes the handle.
template <class H, auto Closer>
struct NullHandleTraits {
    using Handle = H;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept { Closer(h); }
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE mean "none" (CreateFile vs. OpenProcess).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { CloseHandle(h); }
};

// A COM interface pointer holds one reference, given back by Release.
template <class Interface>
struct ComTraits {
    using Handle = Interface*;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
    static void Close(Handle h) noexcept { h->Release(); }
};

// The closers as plain functions of this module: the address of a function imported from a
// system library is no constant the traits could take.
namespace closers {
inline void Key(HKEY h) noexcept { RegCloseKey(h); }
inline void Module(HMODULE h) noexcept { FreeLibrary(h); }
inline void Gdi(HGDIOBJ h) noexcept { DeleteObject(h); }
inline void Menu(HMENU h) noexcept { DestroyMenu(h); }
inline void ImageList(HIMAGELIST h) noexcept { ImageList_Destroy(h); }
inline void MemoryDC(HDC h) noexcept { DeleteDC(h); }
inline void Bstr(BSTR h) noexcept { SysFreeString(h); }
inline void Accelerators(HACCEL h) noexcept { DestroyAcceleratorTable(h); }
inline void Local(HLOCAL h) noexcept { LocalFree(h); }
inline void Global(HGLOBAL h) noexcept { GlobalFree(h); }
}  // namespace closers

using UniqueHKey = Unique<NullHandleTraits<HKEY, closers::Key>>;
using UniqueHModule = Unique<NullHandleTraits<HMODULE, closers::Module>>;
using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueHFont = Unique<NullHandleTraits<HFONT, closers::Gdi>>;
using UniqueHBitmap = Unique<NullHandleTraits<HBITMAP, closers::Gdi>>;
using UniqueHBrush = Unique<NullHandleTraits<HBRUSH, closers::Gdi>>;
using UniqueHMenu = Unique<NullHandleTraits<HMENU, closers::Menu>>;
using UniqueImageList = Unique<NullHandleTraits<HIMAGELIST, closers::ImageList>>;
// A device context of one's own (CreateCompatibleDC), not one borrowed with GetDC.
using UniqueMemoryDC = Unique<NullHandleTraits<HDC, closers::MemoryDC>>;
using UniqueBstr = Unique<NullHandleTraits<BSTR, closers::Bstr>>;
using UniqueAccelerators = Unique<NullHandleTraits<HACCEL, closers::Accelerators>>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessage, SID strings).
using UniqueLocal = Unique<NullHandleTraits<HLOCAL, closers::Local>>;
using UniqueGlobal = Unique<NullHandleTraits<HGLOBAL, closers::Global>>;
template <class Interface>
using UniqueCom = Unique<ComTraits<Interface>>;

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

// OleInitialize/OleUninitialize as a pair on this thread; uninitialises only what it initialised.
class OleScope {
public:
    OleScope() noexcept : m_initialized(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleScope() { if (m_initialized) OleUninitialize(); }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool m_initialized;
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
