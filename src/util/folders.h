// Emptying and removing folders on disk (location folders and scratch folders).
//
// Neither helper ever follows a symbolic link. A link is removed as a link, never the folder or
// file it names: a location folder that the user moved elsewhere and replaced by a link loses
// only the link, and a link inside a folder cannot make them delete files elsewhere.
#pragma once

#include <string>

namespace vellumark {

// Deletes every entry of `folder` (a trailing "/" is optional). A sub-folder is removed with
// RemoveFolder when `recurse` is set and left alone otherwise. True when the folder does not
// exist; false when it could not be listed (a `folder` that is a link is not listed), or an
// entry could not be deleted (the other entries are still deleted).
bool ClearFolder(const std::string& folder, bool recurse);

// True when `folder` does not exist. A `folder` that is a link: the link is removed. Otherwise
// ClearFolder with recursion, then the folder itself is removed; true when all of that
// succeeded.
bool RemoveFolder(const std::string& folder);

}  // namespace vellumark
