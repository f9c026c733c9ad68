// Pictures of windows for runs without a user (VNSETUP_SCREENSHOT): a window's client area as a
// 24-bit surface, saved as PNG through the imaging layer, with a layout file that lists every
// control's place, visibility and text for checks.
#pragma once

#include <windows.h>

#include <filesystem>

#include "imaging/dib_surface.h"

namespace vn {

class TForm;

// Copies the client area of `window` (its controls included) into `target` (24 bits).
void CaptureClient(HWND window, TDIBSurface& target);
// Draws the client area of `front` onto `picture` (the client area of `back`) where it stands on
// the screen.
void DrawInFront(TDIBSurface& picture, HWND back, HWND front);
// Saves `picture` as PNG to `file` and the layout of `form`'s controls beside it (the same name with
// ".layout"): one line per control, "name left top width height visible|hidden enabled|disabled
// text", the client size and the window caption first as "client 0 0 width height visible enabled
// caption". Prints the picture's path on stdout.
void SavePicture(const TDIBSurface& picture, const TForm& form, const std::filesystem::path& file);

}  // namespace vn
