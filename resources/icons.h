#pragma once
// Identifiers of the application icon and the image strips of the tree and list.

// Explorer shows the first icon group of the file: numeric id 1 sorts before every other
// numeric id, and no icon group of this program may be given a name (names sort first).
#define IDI_QUILLMARK 1

// Strips of the 16-pixel images (tree, list rows), drawn at 16, 24 and 32 pixels.
#define IDB_IMG16_16 9116
#define IDB_IMG16_24 9124
#define IDB_IMG16_32 9132
// Strips of the 32-pixel images (large-icon view), drawn at 32, 48 and 64 pixels.
#define IDB_IMG32_32 9232
#define IDB_IMG32_48 9248
#define IDB_IMG32_64 9264
