// The button images as Outlook gets them: getImage called by name through the
// add-in's IDispatch (the markup's loadImage), on the DLL created by COM. The
// pictures are checked through their bitmaps, pixel by pixel.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "ribbon/ribbon_picture.h"
#include "support/addin_dll.h"
#include "support/connect_object.h"
#include "support/gdi_objects.h"

namespace {

const int kImageSize = 32;

// The pixels of a picture's bitmap, top-down, as premultiplied BGRA.
struct Pixels {
    int width = 0;
    int height = 0;
    WORD bitsPerPixel = 0;
    std::vector<uint32_t> bgra;

    uint32_t At(int x, int y) const { return bgra[static_cast<size_t>(y) * width + x]; }
    BYTE Alpha(int x, int y) const { return static_cast<BYTE>(At(x, y) >> 24); }
    BYTE Red(int x, int y) const { return static_cast<BYTE>(At(x, y) >> 16); }
    BYTE Green(int x, int y) const { return static_cast<BYTE>(At(x, y) >> 8); }
    BYTE Blue(int x, int y) const { return static_cast<BYTE>(At(x, y)); }
};

Pixels ReadBitmap(HBITMAP bitmap) {
    Pixels pixels;
    BITMAP info = {};
    if (GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) return pixels;
    pixels.width = info.bmWidth;
    pixels.height = info.bmHeight;
    pixels.bitsPerPixel = info.bmBitsPixel;
    BITMAPINFO request = kstest::TopDownBgraInfo(info.bmWidth, info.bmHeight);
    pixels.bgra.assign(static_cast<size_t>(info.bmWidth) * info.bmHeight, 0);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, info.bmHeight, pixels.bgra.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != info.bmHeight) pixels.bgra.clear();
    return pixels;
}

HBITMAP PictureBitmap(IDispatch* picture) {
    ks::ComRef<IPicture> pic;
    if (!picture || FAILED(picture->QueryInterface(IID_IPicture, pic.PutVoid()))) return nullptr;
    SHORT type = 0;
    if (FAILED(pic->get_Type(&type)) || type != PICTYPE_BITMAP) return nullptr;
    OLE_HANDLE handle = 0;
    if (FAILED(pic->get_Handle(&handle))) return nullptr;
    return reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
}

class RibbonImages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kstest::CreateConnect(IID_IDispatch, m_dispatch), S_OK);
        LPOLESTR name = const_cast<LPOLESTR>(L"getImage");
        ASSERT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &m_getImage), S_OK);
    }

    // Calls getImage as Outlook calls loadImage: one argument, the image id.
    HRESULT Invoke(VARIANT& argument, ks::ComRef<IDispatch>& picture) {
        DISPPARAMS params = {&argument, nullptr, 1, 0};
        ks::UniqueVariant result;
        EXCEPINFO exception = {};
        UINT argError = 0;
        HRESULT hr = m_dispatch->Invoke(m_getImage, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                        result.Get(), &exception, &argError);
        picture.Reset();
        if (SUCCEEDED(hr) && result->vt == VT_DISPATCH) picture = ks::ComRef<IDispatch>(result->pdispVal);
        return hr;
    }

    ks::ComRef<IDispatch> Image(const wchar_t* name) {
        ks::UniqueBstr text(name ? SysAllocString(name) : nullptr);
        VARIANT argument;
        argument.vt = VT_BSTR;
        argument.bstrVal = text.Get();
        ks::ComRef<IDispatch> picture;
        EXPECT_EQ(Invoke(argument, picture), S_OK);
        return picture;
    }

    Pixels ImagePixels(const wchar_t* name) {
        ks::ComRef<IDispatch> picture = Image(name);
        HBITMAP bitmap = PictureBitmap(picture.Get());
        return bitmap ? ReadBitmap(bitmap) : Pixels();
    }

    ks::ComRef<IDispatch> m_dispatch;
    DISPID m_getImage = DISPID_UNKNOWN;
};

TEST_F(RibbonImages, TheCallbackIsFoundByItsName) {
    EXPECT_EQ(m_getImage, 3);
}

TEST_F(RibbonImages, EachPictureIsA32By32BitmapWithAlpha) {
    for (const wchar_t* name : {L"KestrinSelectImage", L"KestrinUnselectImage"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        Pixels pixels = ImagePixels(name);
        EXPECT_EQ(pixels.width, kImageSize);
        EXPECT_EQ(pixels.height, kImageSize);
        EXPECT_EQ(pixels.bitsPerPixel, 32);
        ASSERT_EQ(pixels.bgra.size(), static_cast<size_t>(kImageSize * kImageSize));
        // Transparent corners: the alpha channel came through, not a black square.
        EXPECT_EQ(pixels.At(0, 0), 0u);
        EXPECT_EQ(pixels.At(31, 0), 0u);
        EXPECT_EQ(pixels.At(0, 31), 0u);
        EXPECT_EQ(pixels.At(31, 31), 0u);
        // The padlock's gold body, opaque.
        EXPECT_EQ(pixels.Alpha(8, 20), 255);
        EXPECT_GT(pixels.Red(8, 20), pixels.Blue(8, 20) + 100);
        EXPECT_GT(pixels.Green(8, 20), pixels.Blue(8, 20) + 60);
        // The red mark on its white square at the lower right.
        EXPECT_EQ(pixels.At(20, 20), 0xFFFFFFFFu);
        EXPECT_EQ(pixels.Alpha(24, 24), 255);
        EXPECT_GT(pixels.Red(24, 24), 180);
        EXPECT_LT(pixels.Green(24, 24), 60);
    }
}

TEST_F(RibbonImages, TheSelectImageIsClosedAndTheOtherOpen) {
    Pixels closed = ImagePixels(L"KestrinSelectImage");
    Pixels open = ImagePixels(L"KestrinUnselectImage");
    ASSERT_FALSE(closed.bgra.empty());
    ASSERT_FALSE(open.bgra.empty());
    EXPECT_NE(closed.bgra, open.bgra);
    // The shackle's left leg: down into the body when closed, lifted out when open.
    EXPECT_EQ(closed.Alpha(9, 12), 255);
    EXPECT_EQ(open.At(9, 12), 0u);
}

TEST_F(RibbonImages, EveryOtherNameGetsTheOpenPadlock) {
    Pixels open = ImagePixels(L"KestrinUnselectImage");
    ASSERT_FALSE(open.bgra.empty());
    for (const wchar_t* name : {L"kestrinselectimage", L"KESTRINSELECTIMAGE", L"KestrinSelectImage ", L"Other", L""}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        EXPECT_EQ(ImagePixels(name).bgra, open.bgra);
    }
    SCOPED_TRACE("null name");
    EXPECT_EQ(ImagePixels(nullptr).bgra, open.bgra);
}

TEST_F(RibbonImages, TwoCallsGiveIndependentPictures) {
    ks::ComRef<IDispatch> first = Image(L"KestrinSelectImage");
    ks::ComRef<IDispatch> second = Image(L"KestrinSelectImage");
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first.Get(), second.Get());
    HBITMAP firstBitmap = PictureBitmap(first.Get());
    HBITMAP secondBitmap = PictureBitmap(second.Get());
    EXPECT_NE(firstBitmap, secondBitmap);
    Pixels before = ReadBitmap(secondBitmap);

    first.Reset();
    EXPECT_EQ(GetObjectType(firstBitmap), 0u) << "the released picture's bitmap is deleted";
    EXPECT_EQ(GetObjectType(secondBitmap), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(ReadBitmap(secondBitmap).bgra, before.bgra);
}

TEST_F(RibbonImages, TheImageIdMayArriveByReference) {
    // Office's C++ signature table declares loadImage's id as BSTR*. The type
    // library declares a BSTR, and OLE Automation dereferences VT_BYREF
    // arguments while coercing them to the declared type.
    ks::UniqueBstr text(SysAllocString(L"KestrinSelectImage"));
    BSTR id = text.Get();
    VARIANT argument;
    argument.vt = VT_BSTR | VT_BYREF;
    argument.pbstrVal = &id;
    ks::ComRef<IDispatch> picture;
    ASSERT_EQ(Invoke(argument, picture), S_OK);
    ASSERT_TRUE(picture);
    Pixels byReference = ReadBitmap(PictureBitmap(picture.Get()));
    EXPECT_EQ(byReference.bgra, ImagePixels(L"KestrinSelectImage").bgra);
    EXPECT_EQ(id, text.Get()) << "the caller's text is left alone";
}

TEST_F(RibbonImages, ThroughTheVtableANullOutAddressIsRefused) {
    ks::ComRef<IRibbonCallback> callback;
    ASSERT_EQ(m_dispatch.QueryTo(IID_IRibbonCallback, callback), S_OK);
    ks::UniqueBstr name(SysAllocString(L"KestrinSelectImage"));
    EXPECT_EQ(callback->getImage(name.Get(), nullptr), E_POINTER);
}

TEST(GdiObjectCount, SeesOneBitmapComeAndGo) {
    // The measure the leak test relies on must see a single leaked bitmap.
    const DWORD before = kstest::GdiObjectCount();
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(kstest::GdiObjectCount(), before + 1);
    DeleteObject(bitmap);
    EXPECT_EQ(kstest::GdiObjectCount(), before);
}

TEST_F(RibbonImages, ManyCallsLeaveNoGdiObjectsBehind) {
    // Warm up: the first calls load GDI+ and its codecs.
    for (int i = 0; i < 3; ++i) Image(L"KestrinSelectImage");
    const DWORD before = kstest::GdiObjectCount();
    std::vector<HBITMAP> bitmaps;
    for (int i = 0; i < 200; ++i) {
        ks::ComRef<IDispatch> picture = Image(i % 2 ? L"KestrinSelectImage" : L"KestrinUnselectImage");
        bitmaps.push_back(PictureBitmap(picture.Get()));
    }
    EXPECT_GT(before, 0u);
    EXPECT_EQ(kstest::GdiObjectCount(), before);
    size_t stillAlive = 0;
    for (HBITMAP bitmap : bitmaps) stillAlive += GetObjectType(bitmap) != 0;
    EXPECT_EQ(stillAlive, 0u) << "bitmaps of released pictures";
}

uint32_t BigEndian32(const BYTE* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

TEST(RibbonImageResources, ArePng32By32RgbaUnderTheStringTypePngInUsEnglish) {
    HMODULE dll = LoadLibraryExW(kstest::AddinDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(dll);
    for (WORD id : {WORD(IDB_SELECT_PNG), WORD(IDB_UNSELECT_PNG)}) {
        SCOPED_TRACE(id);
        HRSRC info = FindResourceExW(dll, L"PNG", MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_TRUE(info);
        const DWORD size = SizeofResource(dll, info);
        const BYTE* png = static_cast<const BYTE*>(LockResource(LoadResource(dll, info)));
        ASSERT_TRUE(png);
        ASSERT_GT(size, 33u);
        EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ(std::memcmp(png + 12, "IHDR", 4), 0);
        EXPECT_EQ(BigEndian32(png + 16), 32u);  // width
        EXPECT_EQ(BigEndian32(png + 20), 32u);  // height
        EXPECT_EQ(png[24], 8);                  // bits per channel
        EXPECT_EQ(png[25], 6);                  // colour type: RGB with alpha
        EXPECT_EQ(png[28], 0);                  // not interlaced
    }
    FreeLibrary(dll);
}

TEST(RibbonPicture, AModuleWithoutTheImageGivesNoPicture) {
    // The test program carries no PNG resources.
    IPictureDisp* const untouched = reinterpret_cast<IPictureDisp*>(static_cast<UINT_PTR>(0x5EED));
    IPictureDisp* picture = untouched;
    EXPECT_EQ(ks::CreateRibbonPicture(GetModuleHandleW(nullptr), IDB_UNSELECT_PNG, &picture), S_OK);
    EXPECT_EQ(picture, untouched);
}

}  // namespace
