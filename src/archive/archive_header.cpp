#include "archive/archive_header.h"

namespace vellumark {

namespace {

void AppendText(std::string& out, const std::string& text) {
  for (char c : text) out.push_back(c == '\0' ? ' ' : c);
  out.push_back('\0');
}

bool IsDigits(const std::string& s, std::size_t pos, std::size_t n) {
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

}  // namespace

std::string ArchiveDateText(const std::string& stored) {
  if (stored.size() == 10 && stored[4] == '-' && stored[7] == '-' && IsDigits(stored, 0, 4) &&
      IsDigits(stored, 5, 2) && IsDigits(stored, 8, 2)) {
    return stored.substr(5, 2) + "/" + stored.substr(8, 2) + "/" + stored.substr(0, 4);
  }
  return stored;
}

std::string BuildArchiveHeader(const TArchiveTask& task) {
  std::string out;
  AppendText(out, kArchiveTitle);
  AppendText(out, kArchiveMakerLine);
  AppendText(out, task.task_url);
  AppendText(out, task.task_description);
  AppendText(out, ArchiveDateText(task.date));
  AppendText(out, task.time_start);
  AppendText(out, task.time_end);
  AppendText(out, task.files);
  AppendText(out, task.search_delimiters);
  return out;
}

std::string ReadHeaderText(TBufferedReader& in, std::size_t max_bytes) {
  std::string text;
  for (;;) {
    int b = in.Next();
    if (b < 0) throw EArchiveHeaderError("Archive head cut short");
    if (b == 0) return text;
    if (text.size() >= max_bytes) throw EArchiveHeaderError("Archive head text too long");
    text.push_back(static_cast<char>(b));
  }
}

void ReadArchiveTitle(TBufferedReader& in) {
  std::string title = ReadHeaderText(in);
  if (title.rfind(kArchiveTitleStart, 0) != 0 || title.find(kArchiveVersion) == std::string::npos) {
    throw EArchiveHeaderError("Not an index archive of this version");
  }
  std::string maker = ReadHeaderText(in);
  if (maker.find(kArchiveMakerTag) == std::string::npos) {
    throw EArchiveHeaderError("Archive maker line without its tag");
  }
}

TArchiveTask ReadArchiveTask(TBufferedReader& in) {
  TArchiveTask task;
  task.task_url = ReadHeaderText(in);
  task.task_description = ReadHeaderText(in);
  task.date = ReadHeaderText(in);
  task.time_start = ReadHeaderText(in);
  task.time_end = ReadHeaderText(in);
  task.files = ReadHeaderText(in);
  task.search_delimiters = ReadHeaderText(in);
  return task;
}

}  // namespace vellumark
