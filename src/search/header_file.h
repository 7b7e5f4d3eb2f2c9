// The result page header file: the lines written at the head of every result page, read from
// the file named by "HeaderFile" / "FileName" (default "SHFile.htm"), or six default lines when
// it cannot be read. The options window loads it; so does the command-line search.
#pragma once

#include <string>
#include <vector>

namespace vellumark {

inline constexpr const char* kDefaultHeaderFileName = "SHFile.htm";

// The header used when the header file cannot be read.
const std::vector<std::string>& DefaultHeaderLines();

// Clears `lines`, then adds every non-empty line of the file `path` (line ends LF or CR LF).
// True once the file could be opened, even when it holds no line. When it does not exist or
// cannot be read, the default lines are added after any lines read, and the result is false.
bool LoadHeaderFile(const std::string& path, std::vector<std::string>& lines);

}  // namespace vellumark
