// The game's icon for its launcher entries: the launcher's own icon, taken
// from the Windows executable, in the user's icon theme folder.
#pragma once

#include <string>

// Writes the largest image of executable's icon group as a PNG file to
// <data home>/icons/hicolor/<N>x<N>/apps/tolvar-realms.png (N the longer
// side) and returns the icon name for the entries ("tolvar-realms"). Icons
// of that name in other sizes are removed first, so an older one cannot win.
// Empty when the executable has no usable icon or the file cannot be
// written: the entries then go without one.
std::wstring InstallGameIcon(const std::wstring& executable);
