// The About box's resources as the built DLL carries them: dialog template
// 208 read back field by field, bitmap 209 read back byte by byte, and the
// copyright line shared with the version block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/addin_dll.h"
#include "support/expected_texts.h"

namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The bytes of one resource of the DLL in US English, or nothing.
std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR type, WORD id) {
    HRSRC info = FindResourceExW(module, type, MAKEINTRESOURCEW(id), kEnglishUs);
    if (!info) return {};
    HGLOBAL loaded = LoadResource(module, info);
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) return {};
    return std::vector<BYTE>(data, data + SizeofResource(module, info));
}

// Reads a dialog template the way the dialog manager does.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<BYTE>& bytes) : m_bytes(bytes) {}

    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    BYTE Byte() { return Read<BYTE>(); }

    std::wstring String() {
        std::wstring s;
        for (WORD c = Word(); c != 0 && !m_overrun; c = Word()) s.push_back(static_cast<wchar_t>(c));
        return s;
    }

    // A name or an ordinal: "" for none, "#n" for an ordinal.
    std::wstring NameOrOrdinal() {
        WORD first = Word();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        m_pos -= sizeof(WORD);
        return String();
    }

    void AlignDword() { m_pos = (m_pos + 3) & ~static_cast<size_t>(3); }
    size_t Position() const { return m_pos; }
    bool Overrun() const { return m_overrun; }

private:
    template <typename T>
    T Read() {
        T value{};
        if (m_pos + sizeof(T) > m_bytes.size()) {
            m_overrun = true;
            m_pos = m_bytes.size();
            return value;
        }
        std::memcpy(&value, &m_bytes[m_pos], sizeof(T));
        m_pos += sizeof(T);
        return value;
    }

    const std::vector<BYTE>& m_bytes;
    size_t m_pos = 0;
    bool m_overrun = false;
};

class AboutResources : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll.Reset(LoadLibraryExW(kstest::AddinDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_dll) << "cannot load the add-in DLL as data";
    }
    HMODULE Dll() const { return m_dll.Get(); }

private:
    ks::UniqueLibrary m_dll;
};

// One pixel of the bottom-up 24-bit picture, counted from the top.
COLORREF PixelAt(const std::vector<BYTE>& dib, int x, int yFromTop) {
    const int width = 293, height = 171, stride = 880;
    const size_t at = 40 + static_cast<size_t>(height - 1 - yFromTop) * stride + static_cast<size_t>(x) * 3;
    (void)width;
    return RGB(dib[at + 2], dib[at + 1], dib[at]);
}

}  // namespace

TEST_F(AboutResources, DialogTemplateIsTheExtendedAboutBox) {
    std::vector<BYTE> bytes = ResourceBytes(Dll(), RT_DIALOG, 208);
    ASSERT_FALSE(bytes.empty()) << "no dialog 208 in language 1033";
    TemplateReader r(bytes);

    EXPECT_EQ(r.Word(), 1) << "version";
    EXPECT_EQ(r.Word(), 0xFFFF) << "signature of an extended template";
    EXPECT_EQ(r.Dword(), 0u) << "help id";
    EXPECT_EQ(r.Dword(), 0u) << "extended style";
    EXPECT_EQ(r.Dword(), 0x90C80AC8u) << "style";
    EXPECT_EQ(r.Word(), 1) << "control count";
    EXPECT_EQ(r.Short(), 0) << "x";
    EXPECT_EQ(r.Short(), 0) << "y";
    EXPECT_EQ(r.Short(), 195) << "width";
    EXPECT_EQ(r.Short(), 105) << "height";
    EXPECT_EQ(r.NameOrOrdinal(), L"") << "menu";
    EXPECT_EQ(r.NameOrOrdinal(), L"") << "window class";
    EXPECT_EQ(r.String(), L"About KestrinSelect") << "caption";
    EXPECT_EQ(r.Word(), 8) << "font points";
    EXPECT_EQ(r.Word(), 400) << "font weight";
    EXPECT_EQ(r.Byte(), 0) << "italic";
    EXPECT_EQ(r.Byte(), 1) << "character set";
    EXPECT_EQ(r.String(), L"MS Shell Dlg") << "face";

    r.AlignDword();
    EXPECT_EQ(r.Dword(), 0u) << "OK: help id";
    EXPECT_EQ(r.Dword(), 0u) << "OK: extended style";
    EXPECT_EQ(r.Dword(), 0x50010001u) << "OK: style";
    EXPECT_EQ(r.Short(), 140) << "OK: x";
    EXPECT_EQ(r.Short(), 81) << "OK: y";
    EXPECT_EQ(r.Short(), 50) << "OK: width";
    EXPECT_EQ(r.Short(), 14) << "OK: height";
    EXPECT_EQ(r.Dword(), static_cast<DWORD>(IDOK)) << "OK: id";
    EXPECT_EQ(r.NameOrOrdinal(), L"#128") << "OK: the predefined Button class atom";
    EXPECT_EQ(r.NameOrOrdinal(), L"OK") << "OK: text";
    EXPECT_EQ(r.Word(), 0) << "OK: creation data";
    EXPECT_FALSE(r.Overrun());
    EXPECT_LE(bytes.size() - r.Position(), 3u) << "nothing after the one control";
}

TEST_F(AboutResources, BitmapIs293By171TwentyFourBitBottomUp) {
    std::vector<BYTE> dib = ResourceBytes(Dll(), RT_BITMAP, 209);
    ASSERT_EQ(dib.size(), 150520u) << "a 40-byte header and 171 rows of 880 bytes";
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof(header));
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 293);
    EXPECT_EQ(header.biHeight, 171) << "positive: rows stored bottom-up";
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, 0u);
    EXPECT_EQ(header.biXPelsPerMeter, 2834);
    EXPECT_EQ(header.biYPelsPerMeter, 2834);
    EXPECT_EQ(header.biClrUsed, 0u) << "no colour table";
}

TEST_F(AboutResources, BitmapArtworkStaysInsideRows13To73) {
    std::vector<BYTE> dib = ResourceBytes(Dll(), RT_BITMAP, 209);
    ASSERT_EQ(dib.size(), 150520u);
    const COLORREF field = RGB(5, 41, 94);
    int artworkPixels = 0;
    int strayPixels = 0;
    for (int y = 0; y < 171; ++y) {
        for (int x = 0; x < 293; ++x) {
            const bool plain = PixelAt(dib, x, y) == field;
            if (y >= 13 && y <= 73) {
                if (!plain) ++artworkPixels;
            } else if (!plain) {
                ++strayPixels;
            }
        }
    }
    EXPECT_EQ(strayPixels, 0) << "above row 13 and below row 73 the field is plain";
    EXPECT_GT(artworkPixels, 2000) << "the logo and the emblem are drawn in the band";
    EXPECT_EQ(PixelAt(dib, 0, 0), field);
    EXPECT_EQ(PixelAt(dib, 292, 170), field);
}

TEST_F(AboutResources, VersionBlockCarriesTheCopyrightTheBoxShows) {
    const std::wstring path = kstest::AddinDllPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT length = 0;
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value) {
            return std::string("<absent>");
        }
        char narrow[256] = {};
        WideCharToMultiByte(CP_ACP, 0, value, -1, narrow, sizeof(narrow), nullptr, nullptr);
        return std::string(narrow);
    };
    // The box's own lines are read as it draws them (test_about_click).
    EXPECT_EQ(text(L"LegalCopyright"), kstest::expected::kAboutCopyrightLine);
    EXPECT_EQ("Version: " + text(L"FileVersion"), kstest::expected::kAboutVersionLine);
    EXPECT_EQ("Version: " + text(L"ProductVersion"), kstest::expected::kAboutVersionLine);
}
