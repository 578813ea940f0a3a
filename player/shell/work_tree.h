// Removal of folder trees: working folders of recordings and the work root.
#pragma once

#include <string>

namespace vedra {

// Deletes folder with everything in it and returns whether folder itself was removed.
// Symbolic links are removed as links, never followed: a link inside the tree pointing
// elsewhere loses only the link, and a folder that is itself a link is left alone (false).
// Failures of single entries are ignored, as the rest of the tree still goes.
bool DeleteTree(const std::string& folder);

// True when path lies strictly inside WorkRoot() (compared lexically after normalisation,
// so ".." cannot climb out).
bool IsInsideWorkRoot(const std::string& path);

// Deletes the work root (DeleteTree on WorkRoot()); the result is ignored by callers.
void RemoveWorkRoot();

}  // namespace vedra
