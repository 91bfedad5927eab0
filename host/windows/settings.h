// The saver's one setting, the community, stored per user in the registry
// (HKCU\Software\Lumivor, value "Community": "clock" or a community's name).
#pragma once

#include <cstdint>
#include <cstdio>

// The stored choice: -1 for the clock's choice (also when nothing is stored or
// the stored name is unknown), else the community 0..9.
int ReadCommunitySetting();
// Stores the choice (-1 or 0..9); false after a message on diag.
bool WriteCommunitySetting(int choice, std::FILE* diag);

// The settings dialog, owned by `owner` (0: none). With choose >= -1 the dialog
// selects that entry and confirms it at once, as a click on OK would. Returns
// the exit status.
int RunSettingsDialog(std::uintptr_t owner, int choose, std::FILE* diag);
