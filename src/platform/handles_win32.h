#pragma once
// The owners of Win32 handles, in one place: each is a std::unique_ptr that
// closes its handle with the call that kind of handle needs when it goes.
// Hold a handle the program made in one of these rather than releasing it by
// hand; add an owner here when another kind needs one. A handle the system
// or another owner keeps (a dialog's controls, a menu's submenus once
// inserted) is not for these.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace tarvik {

struct GdiObjectRelease {
    void operator()(HGDIOBJ object) const { (void)::DeleteObject(object); }
};
struct MenuRelease {
    void operator()(HMENU menu) const { (void)::DestroyMenu(menu); }
};
struct IconRelease {
    void operator()(HICON icon) const { (void)::DestroyIcon(icon); }
};
struct WindowRelease {
    void operator()(HWND window) const { (void)::DestroyWindow(window); }
};
struct ModuleRelease {
    void operator()(HMODULE module) const { (void)::FreeLibrary(module); }
};

template <class Handle, class Release>
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<Handle>, Release>;

// DeleteObject: fonts, bitmaps, regions (CreateFont..., LoadImage, CreateRectRgn...).
template <class Gdi>
using UniqueGdi = UniqueHandle<Gdi, GdiObjectRelease>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueRegion = UniqueGdi<HRGN>;
// DestroyMenu: a menu no other menu holds (CreatePopupMenu).
using UniqueMenu = UniqueHandle<HMENU, MenuRelease>;
// DestroyIcon: an icon loaded as its own copy (LoadImage without LR_SHARED).
using UniqueIcon = UniqueHandle<HICON, IconRelease>;
// DestroyWindow: a window the program made and ends itself.
using UniqueWindow = UniqueHandle<HWND, WindowRelease>;
// FreeLibrary: a library loaded for a while (LoadLibrary).
using UniqueModule = UniqueHandle<HMODULE, ModuleRelease>;

// A device context of a window (GetDC; null: the screen's), released to
// that window (ReleaseDC).
struct DcRelease {
    HWND window = nullptr;
    void operator()(HDC dc) const { (void)::ReleaseDC(window, dc); }
};
using UniqueDc = UniqueHandle<HDC, DcRelease>;
inline UniqueDc WindowDc(HWND window) { return UniqueDc(::GetDC(window), DcRelease{window}); }

// `object` selected into `dc` for the life of this one; the object it
// replaced goes back at the end. Nothing happens for a null dc or object.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object)
        : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_) (void)::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace tarvik
