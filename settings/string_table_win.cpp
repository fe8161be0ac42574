#include <windows.h>

#include "base/text_win.h"
#include "settings/string_table.h"

namespace kestrion {

namespace {

// The STRINGTABLE of the running program's own resources.
class ResourceStringTable final : public StringTable {
 public:
  std::string Load(unsigned id) const override {
    wchar_t buffer[1024];
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 1024);
    return length > 0 ? WideToUtf8(std::wstring_view(buffer, static_cast<std::size_t>(length)))
                      : std::string();
  }
};

}  // namespace

const StringTable& ProgramStringTable() {
  static const ResourceStringTable table;
  return table;
}

}  // namespace kestrion
