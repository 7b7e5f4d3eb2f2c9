// The program-wide state, created once at start-up and passed by reference to whatever needs
// it: the folders, the settings file, the current location, the indexing state, the delimiter
// characters, the result page header lines, the find-in-page flag and whether a Find or an
// archive run is running. There are no globals.
#pragma once

#include <string>
#include <vector>

namespace vellumark {

class TPIniFile;

// The indexing state, read by the search bar and the location table.
enum IndexingState : int {
  kIndexingIdle = 0,
  kIndexingRunning = 1,
  kIndexingStopRequested = 2,
  kIndexingStopping = 3,
};

struct ProgramContext {
  std::string program_folder;     // ends with "/"; also the current directory
  std::string db_root_folder;     // ends with "/"
  TPIniFile* settings = nullptr;  // not owned; lives from unit start to unit end
  std::string shipped_folder;     // an installed program's share/vellumark/, else empty

  int CurrentLocationNumber = -1;  // Task_No of the current location, -1 when there is none
  int indexing_state = kIndexingIdle;

  std::u32string DelimiterChars;         // code points at which page text is split
  std::vector<std::string> HeaderLines;  // lines at the head of every result page
  bool FindActive = false;               // a find-in-page search is in progress
  bool find_running = false;             // a Find is running; no indexing run may start
  bool archive_running = false;          // an export or import is running; Find is refused
};

}  // namespace vellumark
