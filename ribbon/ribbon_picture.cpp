#include "ribbon/ribbon_picture.h"

#include <objidl.h>
#include <olectl.h>
#include <gdiplus.h>
#include <cstring>

#include "server/owners.h"

namespace ks {

namespace {

// One GDI+ session: started on construction, shut down on destruction, so
// every path out of the call shuts it down after its GDI+ objects are gone.
class GdiplusSession {
public:
    GdiplusSession() noexcept {
        Gdiplus::GdiplusStartupInput input;  // version 1, no callback, own thread, codecs
        // The result is not consulted: a failed start shows up in the decoding.
        if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok) m_token = 0;
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession() {
        if (m_token) Gdiplus::GdiplusShutdown(m_token);
    }

private:
    ULONG_PTR m_token = 0;
};

// A GDI+ bitmap decoded from a stream, disposed of on scope exit.
class GdiplusBitmap {
public:
    GdiplusBitmap() noexcept = default;
    GdiplusBitmap(const GdiplusBitmap&) = delete;
    GdiplusBitmap& operator=(const GdiplusBitmap&) = delete;
    ~GdiplusBitmap() {
        if (m_bitmap) Gdiplus::DllExports::GdipDisposeImage(m_bitmap);
    }
    Gdiplus::GpBitmap** Put() noexcept { return &m_bitmap; }
    Gdiplus::GpBitmap* Get() const noexcept { return m_bitmap; }

private:
    Gdiplus::GpBitmap* m_bitmap = nullptr;
};

// Copies the resource into a new movable block: a stream needs memory it can
// read through a handle, and a resource has none.
UniqueHGlobal CopyResource(HMODULE module, WORD resourceId) noexcept {
    HRSRC info = FindResourceExW(module, L"PNG", MAKEINTRESOURCEW(resourceId),
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!info) return UniqueHGlobal();
    const DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return UniqueHGlobal();
    UniqueHGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) return UniqueHGlobal();
    GlobalLockGuard lock(block.Get());
    if (!lock.Get()) return UniqueHGlobal();
    std::memcpy(lock.Get(), bytes, size);
    return block;
}

}  // namespace

HRESULT CreateRibbonPicture(HMODULE module, WORD resourceId, IPictureDisp** picture) noexcept {
    PICTDESC description = {};
    description.cbSizeofstruct = sizeof(description);
    description.picType = PICTYPE_BITMAP;
    description.bmp.hpal = nullptr;

    // Declaration order is the clean-up order in reverse: the GDI+ bitmap goes
    // before the block it was read from, and GDI+ shuts down last.
    GdiplusSession gdiplus;
    UniqueHGlobal block = CopyResource(module, resourceId);
    if (!block) return S_OK;
    GlobalLockGuard lock(block.Get());
    if (!lock.Get()) return S_OK;

    GdiplusBitmap bitmap;
    {
        ComRef<IStream> stream;
        // Delete-on-release off: the block outlives the stream.
        if (FAILED(CreateStreamOnHGlobal(block.Get(), FALSE, stream.Put()))) return S_OK;
        if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.Get(), bitmap.Put()) != Gdiplus::Ok ||
            !bitmap.Get()) {
            return S_OK;
        }
        // GDI+ keeps its own stream reference for as long as the bitmap lives.
    }

    HBITMAP handle = nullptr;
    const Gdiplus::ARGB transparentBlack = 0;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(bitmap.Get(), &handle, transparentBlack) != Gdiplus::Ok ||
        !handle) {
        return S_OK;
    }
    // Until the picture owns the bitmap, this scope does: a refused picture
    // leaves nothing behind.
    UniqueGdiObject owned(handle);
    description.bmp.hbitmap = handle;
    HRESULT hr = OleCreatePictureIndirect(&description, IID_IDispatch, TRUE, reinterpret_cast<void**>(picture));
    if (SUCCEEDED(hr)) owned.Detach();
    return hr;
}

}  // namespace ks
