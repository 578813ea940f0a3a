#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>

namespace vedra::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vedra-engine-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "cannot create a temporary folder";
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string RunCommand(const std::string& command, int* status)
{
    std::string output;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status)
            *status = -1;
        return output;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    const int rc = pclose(p);
    if (status)
        *status = rc;
    return output;
}

} // namespace vedra::test
