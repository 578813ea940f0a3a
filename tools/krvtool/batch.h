// A command over several recordings: files as given and the .krv files of
// folders, each run as its own krvtool process, N at once. Every file's
// standard output comes through whole and in the order given; standard error
// gets one line of progress per file as it ends, followed by that file's own
// messages. The exit code is the worst of the files'.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace krvtool {

// The recordings the arguments name: a folder stands for its .krv files in
// name order. `several`: more than one recording, or a folder, was named, so
// the command runs as a batch. False (said on stderr) when a folder cannot be
// listed or nothing is left; a missing file is kept: its own run reports it.
bool expandRecordings(const std::vector<std::string>& names, std::vector<std::string>& files, bool& several);

// "-j N", "-jN" or "--jobs N" at args[i] (i moves past its value): true when
// it was one, with `jobs` set, or `error` when the value is not 1-64.
bool parseJobs(const std::vector<std::string>& args, size_t& i, int& jobs, std::string& error);

// Exit codes ordered by how bad they are: usage (2), failed (1), cut short (3), done (0).
int worseExit(int a, int b);

// Runs `krvtool <childArgs(file)...>` for every file, `jobs` at a time.
int runBatch(const std::vector<std::string>& files,
             const std::function<std::vector<std::string>(const std::string& file)>& childArgs, int jobs);

} // namespace krvtool
