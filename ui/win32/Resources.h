// Ids of vemkard.exe's resources (vemkard.rc), shared with the code that
// loads them.
#pragma once

#define IDI_VEMKARD 1
#define IDB_TOOLBAR 101
