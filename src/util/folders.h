// Emptying and removing folders on disk (location folders and scratch folders).
//
// A symbolic link is always removed as a link: neither helper ever follows one into the folder
// it points to, so a link inside a location folder cannot make them delete files elsewhere.
#pragma once

#include <string>

namespace vellumark {

// Deletes every entry of `folder` (a trailing "/" is optional). A sub-folder is removed with
// RemoveFolder when `recurse` is set and left alone otherwise. True when the folder does not
// exist; false when it could not be listed, or an entry could not be deleted (the other entries
// are still deleted).
bool ClearFolder(const std::string& folder, bool recurse);

// True when `folder` does not exist; otherwise ClearFolder with recursion, then the folder
// itself is removed; true when all of that succeeded.
bool RemoveFolder(const std::string& folder);

}  // namespace vellumark
