#pragma once
// Identifiers of the executable's resources (menus, dialogs, icons, bitmaps).
