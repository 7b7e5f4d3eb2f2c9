// vellumark-cli locations [--tsv]: one line per location, its page loader last.
#include <algorithm>
#include <array>
#include <iostream>
#include <memory>

#include "cli/command.h"
#include "indexer/loader_settings.h"
#include "store/data_module.h"
#include "store/records.h"

namespace vellumark::cli {

namespace {

// Number, URL, description, date, start and end time of the last run, indexed pages, page
// loader (last, so that readers of the older seven columns keep working).
constexpr std::size_t kColumnCount = 8;

// A field value on one line: tabs and line breaks would break the row.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

void AddLocationsCommand(CLI::App& app, CliSession& session) {
  auto tsv = std::make_shared<bool>(false);
  CLI::App* sub = app.add_subcommand(
      "locations",
      "List the locations: number, URL, description, date, start and end time of "
      "the last run, indexed pages, page loader");
  sub->add_flag("--tsv", *tsv, "Tab-separated, without a heading line");
  OnChosen(sub, session, [tsv, &session] {
    TdmKiv& dm = session.DataModule();
    std::vector<std::array<std::string, kColumnCount>> rows;
    TTable& tasks = dm.tbTasks;
    if (!tasks.IsEmpty()) {
      tasks.First();
      while (!tasks.Eof()) {
        TTaskFields task(tasks);
        std::array<std::string, kColumnCount> row;
        std::size_t i = 0;
        for (TField* field : {&task.TaskNo(), &task.TaskURL(), &task.TaskDescription(),
                              &task.Date(), &task.TimeStart(), &task.TimeEnd(), &task.Files()}) {
          row[i++] = OneLine(field->AsString());
        }
        const int task_no = static_cast<int>(task.TaskNo().AsInteger());
        row[i] = LoaderKindName(ReadLoaderSettings(*session.Context().settings, task_no).kind);
        rows.push_back(row);
        tasks.Next();
      }
    }
    if (*tsv) {
      for (const auto& row : rows) {
        for (std::size_t i = 0; i < kColumnCount; ++i) {
          std::cout << (i ? "\t" : "") << row[i];
        }
        std::cout << '\n';
      }
      return 0;
    }
    const char* headings[] = {"No",    "URL", "Description", "Date",
                              "Start", "End", "Indexed",     "Loader"};
    std::array<std::size_t, kColumnCount> width{};
    for (std::size_t i = 0; i < kColumnCount; ++i) width[i] = std::string(headings[i]).size();
    for (const auto& row : rows) {
      for (std::size_t i = 0; i < kColumnCount; ++i) width[i] = std::max(width[i], row[i].size());
    }
    auto print = [&](const auto& cells) {
      std::string line;
      for (std::size_t i = 0; i < kColumnCount; ++i) {
        std::string cell = cells[i];
        if (i + 1 < kColumnCount) cell.resize(width[i] + 2, ' ');
        line += cell;
      }
      std::cout << line << '\n';
    };
    print(headings);
    for (const auto& row : rows) print(row);
    return 0;
  });
}

}  // namespace vellumark::cli
