#pragma once

// The child that asks whether Qt starts costs a second start of Qt before every first box or
// window. Its good answer is remembered for the circumstances it was given in: the display (its
// name and the server's socket), the Qt platform and plugin settings, the Qt module file and the
// Qt library the child loaded. The next start in the same circumstances shows at once, without
// loading Qt before it is sure; any change asks again. Only a good answer is kept: a platform that
// failed once is asked every time.

#include <filesystem>
#include <string>
#include <vector>

namespace kartiva::linux_os {

// What a good answer is remembered as: the Qt library's file `qtLibrary`, the environment that
// picks the display, the platform and the libraries, and the identity (device, inode, size, time
// of change) of each file of `files` and of `qtLibrary`; a file that cannot be looked at counts
// as missing.
std::string QtProbeCircumstances(const std::string& qtLibrary,
                                 const std::vector<std::filesystem::path>& files);

// Whether `answerFile` holds a good answer for the circumstances of `files` and of the Qt library
// that it names. The file is taken as hostile: only a regular file of the user's own that nobody
// else may write, of a few kilobytes at most, is read, and nothing waits on it.
bool RemembersGoodAnswer(const std::filesystem::path& answerFile,
                         const std::vector<std::filesystem::path>& files);

// Remembers a good answer, readable by the user alone; a failure to write it only costs the next
// start a probe.
void RememberGoodAnswer(const std::filesystem::path& answerFile,
                        const std::vector<std::filesystem::path>& files,
                        const std::string& qtLibrary);

}  // namespace kartiva::linux_os
