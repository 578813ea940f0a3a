// The player's working folders on disk. Each was made by a conversion of this process and
// carries a marker of its owner (krv/krv_workfolder.h): the player removes only its own, and at
// start the ones whose owner is gone.
#pragma once

#include <string>

namespace vedra {

// Removes a working folder this process made; any other path is left alone.
void RemoveWorkFolder(const std::string& folder);

// Removes the working folders, in WorkRoot() and FallbackWorkRoot(), whose owner has ended
// (killed, or left with Esc). Returns how many went.
int RemoveStaleWorkFolders();

// Removes every working folder this process still holds, then each work root left empty. The
// folders of other players and tools stay.
void RemoveWorkRoot();

} // namespace vedra
