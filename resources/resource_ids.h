// Ids of the module's resources.
#pragma once

#define IDR_CONNECT 101
#define IDR_TYPELIB 1
#define IDR_MANIFEST 2
#define IDB_SELECT_PNG 201
#define IDB_UNSELECT_PNG 202
#define IDD_ABOUTBOX 208
#define IDB_ABOUTBOX 209
