#include "store/page_address.h"

#include "store/records.h"
#include "store/table.h"
#include "util/utf8.h"

namespace vellumark {

TPageAddress SplitPageAddress(std::string_view relative_address) {
  std::string_view head = Utf8Prefix(relative_address, kF1Length);
  return {std::string(head), std::string(relative_address.substr(head.size()))};
}

bool FindPage(TTable& files, std::string_view relative_address) {
  const TPageAddress address = SplitPageAddress(relative_address);
  if (files.IndexName() != "I1") files.SetIndexName("I1");
  if (!files.FindNearest({address.head})) return false;
  TFileFields page(files);
  TField& f1 = page.F1();
  TField& rest = page.FileURLRest();
  while (f1.AsString() == address.head) {
    if (rest.AsString() == address.tail) return true;
    files.Next();
    if (files.Eof()) break;  // stays on the last record, already compared
  }
  return false;
}

}  // namespace vellumark
