// The two logos of the About window, drawn into an owner-drawn picture at any size.
#pragma once
#include <windows.h>

namespace vcm {

void DrawVeltoLogo(HDC dc, const RECT& area);
void DrawBrenvikLogo(HDC dc, const RECT& area);

}  // namespace vcm
