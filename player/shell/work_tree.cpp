#include "work_tree.h"

#include <unistd.h>

#include "app_paths.h"
#include "krv/krv_workfolder.h"

namespace vedra {
namespace {

constexpr const char* kWorkFolderPrefix = "tempFile";

} // namespace

void RemoveWorkFolder(const std::string& folder)
{
    if (!folder.empty())
        krv_remove_owned_folder(folder);
}

int RemoveStaleWorkFolders()
{
    int removed = 0;
    for (const std::string& root : {WorkRoot(), FallbackWorkRoot()})
        if (!root.empty())
            removed += krv_remove_stale_folders(root, kWorkFolderPrefix);
    return removed;
}

void RemoveWorkRoot()
{
    krv_remove_owned_folders();
    for (const std::string& root : {WorkRoot(), FallbackWorkRoot()})
        if (!root.empty())
            rmdir(root.c_str()); // only when nothing else is left in it
}

} // namespace vedra
