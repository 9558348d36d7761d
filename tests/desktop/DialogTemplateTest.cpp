#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace kestrum::test {
namespace {

// What a dialog template asks for: its style and its font.
struct TemplateFont {
    DWORD style = 0;
    WORD points = 0;
    std::wstring face;
};

// Skips a menu or class field: nothing, an ordinal or a string.
const WORD* skipNameOrOrdinal(const WORD* field) {
    if (*field == 0) {
        return field + 1;
    }
    if (*field == 0xFFFF) {
        return field + 2;
    }
    return field + std::wstring_view(reinterpret_cast<const wchar_t*>(field)).size() + 1;
}

// Reads the extended template's header (the only kind the program has).
TemplateFont readTemplate(const void* resource) {
    const auto* words = static_cast<const WORD*>(resource);
    EXPECT_EQ(words[1], 0xFFFF) << "not an extended template";
    TemplateFont result;
    std::memcpy(&result.style, words + 6, sizeof result.style);
    const WORD* field = skipNameOrOrdinal(skipNameOrOrdinal(words + 13));           // menu, class
    field += std::wstring_view(reinterpret_cast<const wchar_t*>(field)).size() + 1; // title
    if ((result.style & DS_SETFONT) != 0) {
        result.points = field[0];
        result.face = reinterpret_cast<const wchar_t*>(field + 3); // weight, italic and charset
    }
    return result;
}

LPCWSTR dialogType() {
    return MAKEINTRESOURCEW(5); // RT_DIALOG, whose own define follows the ANSI build
}

BOOL CALLBACK collect(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<LPWSTR>*>(names)->push_back(name);
    return TRUE;
}

// Every dialog, the ones added later too, uses the system's dialog font: "MS Shell Dlg" with
// DS_SHELLFONT, which Windows maps to its scalable, ClearType-ready face.
TEST(DialogTemplates, EveryDialogUsesTheShellFont) {
    std::vector<LPWSTR> names;
    EnumResourceNamesW(nullptr, dialogType(), collect, reinterpret_cast<LONG_PTR>(&names));
    ASSERT_GE(names.size(), 3u); // the about box, the hidden owner and the monitor window
    for (LPWSTR name : names) {
        SCOPED_TRACE(IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name))
                                          : std::string("named"));
        HRSRC found = FindResourceW(nullptr, name, dialogType());
        ASSERT_NE(found, nullptr);
        const TemplateFont font = readTemplate(LockResource(LoadResource(nullptr, found)));
        EXPECT_EQ(font.style & DS_SHELLFONT, static_cast<DWORD>(DS_SHELLFONT));
        EXPECT_EQ(font.face, L"MS Shell Dlg");
        EXPECT_EQ(font.points, 8);
    }
}

} // namespace
} // namespace kestrum::test
