#pragma once

#include <windows.h>

namespace kestrum::test {

// Repaints the control completely 10 000 times and expects the process to hold as many GDI
// objects afterwards as before (the first paint may create what the system keeps for good).
void expectRepaintingKeepsGdiObjects(HWND control);

} // namespace kestrum::test
